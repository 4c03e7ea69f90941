#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs shellcheck over every tracked shell script: those that start with a shell's "#!" line
# (scripts/*.sh, .ci/run, test.sh, run.sh...) and the bash completion. Installs shellcheck when
# missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" checks
cd "$root"
scripts=()
while IFS= read -r file; do
  [[ -f "$file" ]] || continue
  if [[ "$file" == data/completion/* ]] || head -n 1 "$file" | grep -qE '^#!.*[/ ](ba|da)?sh( |$)'; then
    scripts+=("$file")
  fi
done < <(git ls-files)
shellcheck "${scripts[@]}"
