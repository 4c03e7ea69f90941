#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what is missing, configures and builds; a second call rebuilds only what changed.
#   build.sh [CMAKE_ARGUMENTS...]              everything, tests included (./test.sh)
#   build.sh --programs [CMAKE_ARGUMENTS...]   only orvexa, orvexa-batch and the metafile helper
#                                              (./run.sh): neither the tests' packages nor their build
#   build.sh --package [CMAKE_ARGUMENTS...]    everything the arguments configure, with the
#                                              packaging tools (scripts/make-deb.sh)
# ORVEXA_BUILD_DIR names another build folder. Arguments go to CMake, which configures again
# when some are given. Both ./run.sh and ./test.sh build in ./build: a folder first configured by
# ./run.sh has its tests turned on when ./test.sh comes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=all
case "${1:-}" in
  --programs | --package) mode=${1#--}; shift ;;
esac
"$root/scripts/install-deps.sh" "$mode"
build="${ORVEXA_BUILD_DIR:-$root/build}"
arguments=("$@")
targets=()
cache="$build/CMakeCache.txt"
case $mode in
  programs)
    [[ -f "$cache" ]] || arguments+=(-DORVEXA_TESTS=OFF)
    targets=(--target orvexa orvexa-batch orvexa-metafile-helper)
    ;;
  all)
    if [[ -f "$cache" ]] && grep -q '^ORVEXA_TESTS:BOOL=OFF$' "$cache"; then arguments+=(-DORVEXA_TESTS=ON); fi
    ;;
esac
if [[ ! -f "$cache" ]]; then
  generator=()
  command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${arguments[@]}"
elif [[ ${#arguments[@]} -gt 0 ]]; then
  cmake -S "$root" -B "$build" "${arguments[@]}"
fi
cmake --build "$build" --parallel "$(nproc)" "${targets[@]}"
