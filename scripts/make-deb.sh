#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the Debian package orvexa_VERSION-1_amd64.deb into the project folder: a release build
# of its own (build-deb/, without the tests) with Debian's compiler and linker flags, every
# hardening option on, packed by CPack, whose dependencies come from the binaries
# (dpkg-shlibdeps) and the run-time data packages named in cmake/debian_package.cmake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ORVEXA_DEB_BUILD_DIR:-$root/build-deb}"
"$root/scripts/install-deps.sh" package
flags() { (cd "$root" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"); }
# CMake reads no CPPFLAGS: the preprocessor's flags (_FORTIFY_SOURCE) go with the compiler's.
ORVEXA_BUILD_DIR="$build" "$root/scripts/build.sh" --package -DCMAKE_BUILD_TYPE=Release -DORVEXA_TESTS=OFF \
  "-DCMAKE_CXX_FLAGS=$(flags CPPFLAGS) $(flags CXXFLAGS)" "-DCMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)"
rm -f "$build"/orvexa_*.deb
(cd "$build" && cpack -G DEB)
package=$(ls "$build"/orvexa_*.deb)
cp "$package" "$root/"
echo "Built $root/$(basename "$package")"
