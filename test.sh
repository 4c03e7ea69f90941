#!/usr/bin/env bash
# Sets up and builds Orvexa, then runs every test under CTest.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure --parallel "$(nproc)" "$@"
