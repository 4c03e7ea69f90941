#!/usr/bin/env bash
# Builds the program and its tests with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-sanitize/ and runs the whole suite there; any report fails the run. Extra arguments go
# to CTest (e.g. -R AviFile). Leak checking is off: Qt keeps some allocations until exit.
# FFmpeg, libjpeg and Qt are not instrumented, so a write that happens inside them is not seen;
# scripts/valgrind-test.sh covers those.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="$root/build-sanitize"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  generator=()
  command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEXA_SANITIZE=ON
fi
cmake --build "$build" --parallel "$(nproc)"
cd "$build"
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --output-on-failure --parallel "$(nproc)" "$@"
