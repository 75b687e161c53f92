#!/usr/bin/env bash
# cmake --install puts the tools, the manual page, the completion, the udev rules and the
# documentation where they belong.
# Usage: install-test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/pmc10 bin/pmc10-sim share/man/man1/pmc10.1.gz share/man/man1/pmc10-sim.1.gz \
    share/bash-completion/completions/pmc10 share/bash-completion/completions/pmc10-sim \
    lib/udev/rules.d/60-pmc10-parport.rules share/doc/pmc10/README.md \
    share/doc/pmc10/copyright share/doc/pmc10/changelog.gz share/doc/pmc10/examples/live-rig.pmc10; do
    [ -f "$prefix/$file" ] || { echo "missing after install: $file"; exit 1; }
done
[ -x "$prefix/bin/pmc10" ] || { echo "bin/pmc10 is not executable"; exit 1; }
version=$("$prefix/bin/pmc10-sim" --version)
[[ $version =~ ^pmc10\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "bad version line: $version"; exit 1; }
echo "installed: $(cd "$prefix" && find . -type f | sort | tr '\n' ' ')"
