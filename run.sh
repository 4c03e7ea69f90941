#!/usr/bin/env bash
# Sets up and builds Orvexa, then starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/build.sh"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "Orvexa needs a display: none is set (DISPLAY, WAYLAND_DISPLAY); run it under a virtual X server with: xvfb-run -a ./run.sh" >&2
  exit 1
fi
exec "$root/build/orvexa" "$@"
