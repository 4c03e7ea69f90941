#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs one fuzz target for a while: scripts/fuzz.sh TARGET SECONDS, TARGET one of video, picture,
# jpeg, metafile. Builds the targets with clang, libFuzzer and the sanitizers in build-fuzz/
# (installing clang first when it is missing), seeds the corpus from the fixture writers and
# the regression files, and fails when the target finds a crash, a hang or a memory blow-up;
# the input that did it is left in build-fuzz/findings/TARGET/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ $# -ne 2 || ! "$1" =~ ^(video|picture|jpeg|metafile)$ || ! "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 video|picture|jpeg|metafile SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2

"$root/scripts/install-deps.sh"
# The fuzz build's own tools: clang and the libFuzzer and sanitizer runtimes.
if ! command -v clang++ >/dev/null 2>&1 || ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang libclang-rt-dev
fi

build="$root/build-fuzz"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  generator=()
  command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEXA_FUZZ=ON
fi
cmake --build "$build" --parallel "$(nproc)" --target "fuzz_$target" make_seeds orvexa-metafile-helper picturebench

seeds="$build/seeds"
[[ -d "$seeds/$target" ]] || QT_QPA_PLATFORM=offscreen "$build/tests/fuzz/make_seeds" "$seeds"
corpus="$build/corpus/$target"
findings="$build/findings/$target"
mkdir -p "$corpus" "$findings"

# The regression files of the target's kind start its corpus too, in the target's input layout.
regressions=()
for file in "$root"/tests/data/hostile/*; do
  [[ -f "$file" ]] || continue
  extension=${file##*.}
  extension=${extension,,}
  case "$target:$extension" in
    video:avi|video:mp4|video:mov|video:mkv|video:webm|video:ts|video:mpg) regressions+=("$file") ;;
    jpeg:jpg) cat <(printf '\000') "$file" > "$seeds/jpeg/regression-${file##*/}"; regressions+=("$seeds/jpeg/regression-${file##*/}") ;;
    metafile:wmf) cat <(printf '\000') "$file" > "$seeds/metafile/regression-${file##*/}"; regressions+=("$seeds/metafile/regression-${file##*/}") ;;
    metafile:emf) cat <(printf '\001') "$file" > "$seeds/metafile/regression-${file##*/}"; regressions+=("$seeds/metafile/regression-${file##*/}") ;;
  esac
done
[[ ${#regressions[@]} -eq 0 ]] || cp "${regressions[@]}" "$corpus/"

# Leak reports are left off: Qt and the metafile libraries keep caches for the process's life.
# A single input over 10 s, 1.5 GB of memory or a single allocation over 600 MB is a finding.
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 QT_QPA_PLATFORM=offscreen
options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=1536 -malloc_limit_mb=600 -max_len=1048576
         -artifact_prefix="$findings/" -print_final_stats=1)
if [[ $target != metafile ]]; then
  exec "$build/tests/fuzz/fuzz_$target" "$corpus" "$seeds/$target" "${options[@]}"
fi

# The metafile libraries are not ours to mend: what breaks them in-process is collected, and
# the run fails only when the program itself, through its helper, does not survive a finding.
"$build/tests/fuzz/fuzz_metafile" "$corpus" "$seeds/metafile" "${options[@]}" \
  -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 || true
status=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for finding in "$findings"/*; do
  [[ -f "$finding" ]] || continue
  kind=wmf
  (( $(head -c1 "$finding" | od -An -tu1) & 1 )) && kind=emf
  tail -c +2 "$finding" > "$work/finding.$kind"
  result=0
  timeout 10 "$build/picturebench" "$work/finding.$kind" > /dev/null 2>&1 || result=$?
  if (( result > 1 )); then
    echo "the program did not survive $finding (status $result)" >&2
    status=1
  fi
done
exit $status
