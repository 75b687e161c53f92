#!/usr/bin/env bash
# CPack builds a .deb that lintian finds neither error nor warning in, that holds the
# tools, the manual pages, the completion, the udev rules and the documentation, and whose
# Depends dpkg-shlibdeps worked out from the binaries; every relative link of its README and
# docs resolves inside it, and its copyright file gives the MIT license.
# Usage: package-test.sh BUILD-DIR SOURCE-DIR
# Exits 77 (skipped) without lintian, or from a static or sanitizer build; without lintian
# it fails when CI=true.
set -euo pipefail
build=$(realpath "$1")
if grep -qxE 'PMC10_(STATIC|SANITIZE):BOOL=ON' "$build/CMakeCache.txt"; then
    echo "skipped: the .deb is made from a plain, dynamically linked build"
    exit 77
fi
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
command -v lintian >/dev/null || skip_unless_ci lintian
# shellcheck source=links.sh
source "$(dirname "$0")/links.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(ls "$out"/*.deb)

listing=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for file in "${installed_files[@]/#/./usr/}"; do
    check "holds $file" "$(grep -cx -- "$file" <<<"$listing")" 1
done
if [ -f "$build/pmc10-board.hex" ]; then
    check "holds the board's firmware" \
        "$(grep -cx -- ./usr/share/pmc10/firmware/pmc10-board.hex <<<"$listing")" 1
fi
for rules in "$2"/dist/60-pmc10-*.rules; do
    check "holds $(basename "$rules")" "$(grep -c "/rules.d/$(basename "$rules")\$" <<<"$listing")" 1
done

dpkg-deb -x "$deb" "$out/root"
doc=$out/root/usr/share/doc/pmc10
check "links in the .deb's README resolve" "$(broken_links "$doc"/README.md "$doc"/docs/*.md)" ""
check "copyright: the MIT license" "$(grep -cE '^License: Expat$|^ MIT License$' "$doc/copyright")" 3

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
check "Depends: libc6 with at least version" "$(grep -cE '(^|, )libc6 \(>= [0-9.]+\)' <<<"$depends")" 1
check "Depends: libstdc++6 (linked dynamically)" "$(grep -cE '(^|, )libstdc\+\+6( |,|$)' <<<"$depends")" 1

report=$(lintian --fail-on none "$deb" 2>&1 | grep -v '^running with root privileges' || true)
check "lintian: no error or warning" "$(grep -E '^[EW]: ' <<<"$report" || true)" ""

checks_done "$(basename "$deb"): $(grep -c . <<<"$listing") entries, lintian: ${report:-nothing}"
