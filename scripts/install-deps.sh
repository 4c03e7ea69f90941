#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, only those missing.
set -euo pipefail

packages=(
  # building
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs
  libwmf-dev libemf2svg-dev
  libgtest-dev libgmock-dev
  # drawing the icon's PNGs from its SVG at build time; CPack's dependency scan of the binaries
  # for the Debian package (dpkg-shlibdeps, with file)
  librsvg2-bin dpkg-dev file
  # running: the fonts libwmf draws metafile text with (without them it opens no WMF at all),
  # and the French texts of Qt's standard dialogs
  fonts-urw-base35 qt6-translations-l10n
  # testing the real program: a virtual X server and input, and assistive access over AT-SPI
  xvfb xauth xdotool x11-apps fonts-dejavu-core fonts-liberation
  dbus-daemon at-spi2-core python3-pyatspi
  # checking the installed desktop entry and AppStream metadata
  desktop-file-utils appstream
)

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
