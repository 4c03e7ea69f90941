#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs every test program (but the real-program tests, whose program runs outside the test
# process) under valgrind's memcheck: it sees invalid reads and writes inside the libraries
# too, which the sanitizers cannot. Uses the normal build; prints one line per program and
# fails when valgrind reported an error. Slow: about twenty minutes on two cores.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
command -v valgrind >/dev/null 2>&1 || { echo "valgrind is not installed (apt-get install valgrind)" >&2; exit 1; }
logs=$(mktemp -d)
# Regular expressions compiled to machine code at run time look uninitialised to valgrind.
export QT_ENABLE_REGEXP_JIT=0
status=0
for program in "$root"/build/tests/test_*; do
  [[ -x "$program" && -f "$program" ]] || continue
  name=$(basename "$program")
  [[ "$name" == test_e2e ]] && continue
  if valgrind -q --error-exitcode=9 --suppressions="$root/scripts/valgrind.supp" --log-file="$logs/$name.log" "$program" >"$logs/$name.out" 2>&1; then
    echo "$name: clean"
  else
    echo "$name: FAILED (valgrind report: $logs/$name.log, output: $logs/$name.out)"
    status=1
  fi
done
exit $status
