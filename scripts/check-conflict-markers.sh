#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Fails when a file of the source tree still holds a merge-conflict marker left by an unfinished
# merge: the tracked files in a Git checkout, every file but the build folders otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
pattern='^(<{7}|>{7})( |$)|^={7}$'
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  markers=$(git grep -nI -E "$pattern" || true)
else
  markers=$(grep -rnI -E "$pattern" --exclude-dir='build*' --exclude-dir=.git . || true)
fi
if [[ -n "$markers" ]]; then
  echo "Merge-conflict markers left in files:" >&2
  echo "$markers" >&2
  exit 1
fi
