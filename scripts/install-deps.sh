#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the Debian packages a task needs, only those missing:
#   install-deps.sh programs   building and running the programs (./run.sh)
#   install-deps.sh package    building the Debian package and checking it (scripts/make-deb.sh)
#   install-deps.sh checks     the source checks of .ci/run (scripts/check-format.sh, check-shell.sh)
#   install-deps.sh [all]      all of the programs' and everything the tests and checks need
#                              (./test.sh)
set -euo pipefail

building=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libjpeg62-turbo-dev libwebp-dev
  libwmf-dev libemf2svg-dev
  # drawing the icon's PNGs from its SVG at build time
  librsvg2-bin
)
running=(
  # the fonts libwmf draws metafile text with, the program's font, and the French texts of Qt's
  # standard dialogs
  fonts-urw-base35 fonts-liberation qt6-translations-l10n
)
testing=(
  libgtest-dev libgmock-dev
  # cjpeg and djpeg, which the JPEG files are compared with, and dwebp, which the WebP files are
  libjpeg-turbo-progs webp
  # testing the real program: a virtual X server and input, and assistive access over AT-SPI
  xvfb xauth xdotool x11-apps fonts-dejavu-core
  dbus-daemon at-spi2-core python3-pyatspi
  # checking the installed desktop entry, AppStream metadata, manual pages and completion
  desktop-file-utils appstream groff-base bash-completion
  # a one-node Slurm cluster the cluster script is tried on (no program depends on them)
  slurm-wlm munge
)
checking=(
  # the layout of the C++ sources (.clang-format) and the shell scripts' lint
  clang-format shellcheck
)
packaging=(
  # CPack's dependency scan of the binaries (dpkg-shlibdeps, with file), Debian's build flags,
  # and the package's checks (lintian, hardening-check)
  dpkg-dev file lintian devscripts
)

case "${1:-all}" in
  programs) packages=("${building[@]}" "${running[@]}") ;;
  package) packages=("${building[@]}" "${packaging[@]}") ;;
  checks) packages=("${checking[@]}") ;;
  all) packages=("${building[@]}" "${running[@]}" "${testing[@]}" "${checking[@]}") ;;
  *) echo "usage: $0 [programs|package|checks|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  sudo_cmd=()
elif command -v sudo >/dev/null 2>&1; then
  sudo_cmd=(sudo)
else
  echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
