#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Puts the licence's SPDX line at the head of every tracked source file that lacks it: C++
# sources and headers, shell, Python and awk scripts, CMake files and the bash completion (after
# a "#!" line where there is one). Running it again changes nothing.
#   scripts/add-spdx-headers.sh           add the missing lines
#   scripts/add-spdx-headers.sh --check   change nothing; fail, naming them, if any file lacks it
set -euo pipefail
cd "$(dirname "$0")/.."
licence="SPDX-License-Identifier: GPL-2.0-or-later"
check=false
[[ "${1:-}" == --check ]] && check=true

missing=()
while IFS= read -r -d '' file; do
  case "$file" in
    *.cpp | *.h) comment="// $licence" ;;
    *.sh | *.py | *.awk | *.cmake | */CMakeLists.txt | CMakeLists.txt | .ci/run | data/completion/*) comment="# $licence" ;;
    *) continue ;;
  esac
  # The line counts where it stands: among a file's first three lines.
  head -n 3 "$file" | grep -qF "$licence" && continue
  missing+=("$file")
  $check && continue
  if head -n 1 "$file" | grep -q '^#!'; then
    { head -n 1 "$file"; echo "$comment"; tail -n +2 "$file"; } > "$file.spdx"
  else
    { echo "$comment"; cat "$file"; } > "$file.spdx"
  fi
  chmod --reference="$file" "$file.spdx"
  mv "$file.spdx" "$file"
done < <(git ls-files -z)

if $check && [[ ${#missing[@]} -gt 0 ]]; then
  echo "Files without the line \"$licence\" at their head (scripts/add-spdx-headers.sh adds it):" >&2
  printf '  %s\n' "${missing[@]}" >&2
  exit 1
fi
$check || echo "Added the SPDX line to ${#missing[@]} files."
