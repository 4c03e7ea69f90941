#!/usr/bin/env bash
# Builds the Debian package orvexa_VERSION-1_amd64.deb into the project folder: a release build
# of its own (build-deb/, without the tests), packed by CPack, whose dependencies come from the
# binaries (dpkg-shlibdeps) and the run-time data packages named in cmake/debian_package.cmake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ORVEXA_DEB_BUILD_DIR:-$root/build-deb}"
ORVEXA_BUILD_DIR="$build" "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release -DORVEXA_TESTS=OFF
rm -f "$build"/orvexa_*.deb
(cd "$build" && cpack -G DEB)
package=$(ls "$build"/orvexa_*.deb)
cp "$package" "$root/"
echo "Built $root/$(basename "$package")"
