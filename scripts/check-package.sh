#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the Debian package (scripts/make-deb.sh) and checks it as a distribution would: lintian
# --pedantic with no error and no warning (a tag it shows but does not fail on is printed), every
# binary hardened (stack protector, fortified functions, read-only relocations, immediate
# binding), and the licence, changelog, manual pages and completion in it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/make-deb.sh"
version=$(sed -n 's/^project(Orvexa VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
package="$root/orvexa_${version}-1_amd64.deb"

status=0
lintian --pedantic --display-info --fail-on error,warning "$package" || { echo "lintian: errors or warnings" >&2; status=1; }

contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$package" "$contents"
for file in usr/share/doc/orvexa/copyright usr/share/doc/orvexa/changelog.Debian.gz \
            usr/share/man/man1/orvexa.1.gz usr/share/man/man1/orvexa-batch.1.gz \
            usr/share/bash-completion/completions/orvexa-batch; do
  [[ -s "$contents/$file" ]] || { echo "missing from the package: /$file" >&2; status=1; }
done

for binary in usr/bin/orvexa usr/bin/orvexa-batch usr/libexec/orvexa/orvexa-metafile-helper; do
  report=$(hardening-check "$contents/$binary" || true)
  for protection in "Stack protected" "Fortify Source functions" "Read-only relocations" "Immediate binding"; do
    if ! grep -q "^ $protection: yes" <<<"$report"; then
      echo "/$binary is not hardened:" >&2
      echo "$report" >&2
      status=1
      break
    fi
  done
done
[[ $status -eq 0 ]] && echo "The package $(basename "$package") is clean."
exit $status
