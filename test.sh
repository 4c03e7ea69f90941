#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Sets up and builds Orvexa, then runs every test under CTest.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure --parallel "$(nproc)" "$@"
