#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Starts Orvexa: checks first that there is a display, then installs what building and running
# the programs need and builds only them (./test.sh builds the tests).
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  cat >&2 <<'TEXT'
Orvexa's window needs a display, and none is set (DISPLAY, WAYLAND_DISPLAY): nothing was built.
Start it from a desktop session, or run it in a virtual X server:
  apt-get install xvfb xauth     # once, as root (or with sudo)
  xvfb-run -a ./run.sh
orvexa-batch needs no display: scripts/build.sh --programs builds both programs, starting neither.
TEXT
  exit 1
fi
"$root/scripts/build.sh" --programs
exec "$root/build/orvexa" "$@"
