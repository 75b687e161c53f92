#!/usr/bin/env bash
# CPack builds a .deb that holds the tools, the manual page and the completion.
# Usage: package-test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(ls "$out"/*.deb)
listing=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for file in ./usr/bin/pmc10 ./usr/bin/pmc10-sim ./usr/share/man/man1/pmc10.1 \
    ./usr/share/bash-completion/completions/pmc10; do
    grep -qx -- "$file" <<<"$listing" || { echo "$(basename "$deb") lacks $file"; echo "$listing"; exit 1; }
done
echo "$(basename "$deb"): $(grep -c . <<<"$listing") entries"
