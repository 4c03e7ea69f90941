#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the program and its tests with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-sanitize/ and runs the whole suite there; any report fails the run. Extra arguments go
# to CTest (e.g. -R AviFile). Leak checking is off: Qt keeps some allocations until exit.
# FFmpeg, libjpeg and Qt are not instrumented, so a write that happens inside them is not seen;
# scripts/valgrind-test.sh covers those.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-sanitize"
ORVEXA_BUILD_DIR="$build" "$root/scripts/build.sh" -DORVEXA_SANITIZE=ON
cd "$build"
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --output-on-failure --parallel "$(nproc)" "$@"
