#!/usr/bin/env bash
# cmake --install puts the tools, the manual page, the completion, the udev rules and the
# documentation where they belong; every relative link of the README and the docs resolves,
# in the source tree and where they are installed.
# Usage: install-test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$1
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
# shellcheck source=links.sh
source "$(dirname "$0")/links.sh"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in "${installed_files[@]}" share/doc/pmc10/docs/{ftdi.md,cable-db25-din5.svg}; do
    [ -f "$prefix/$file" ] || { echo "missing after install: $file"; exit 1; }
done
[ -x "$prefix/bin/pmc10" ] || { echo "bin/pmc10 is not executable"; exit 1; }
version=$("$prefix/bin/pmc10-sim" --version)
[[ $version =~ ^pmc10\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "bad version line: $version"; exit 1; }
check "links in the source tree resolve" "$(broken_links "$2"/README.md "$2"/docs/*.md)" ""
doc=$prefix/share/doc/pmc10
check "links in the installed README resolve" "$(broken_links "$doc"/README.md "$doc"/docs/*.md)" ""
checks_done "installed: $(cd "$prefix" && find . -type f | sort | tr '\n' ' ')"
