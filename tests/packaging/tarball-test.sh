#!/usr/bin/env bash
# Builds the Linux tarball for systems without Debian's packages: a static build of its
# own, packed by cpack -G TGZ, must hold the stripped static tools, which run, the manual
# page and the README. The tarball is left in BUILD-DIR/tarball.
# Usage: tarball-test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
work=$(realpath -m "$1/tarball")
src=$(realpath "$2")
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

cmake -S "$src" -B "$work/build" -DPMC10_STATIC=ON -DPMC10_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" -j2 >/dev/null
rm -f "$work"/*.tar.gz
(cd "$work" && cpack -G TGZ --config "$work/build/CPackConfig.cmake" >/dev/null)
tarball=$(ls "$work"/pmc10-*-static.tar.gz)
top=$(basename "$tarball" .tar.gz)

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
tar -xzf "$tarball" -C "$unpacked"
board_hex=
if [ -f "$work/build/pmc10-board.hex" ]; then board_hex=share/pmc10/firmware/pmc10-board.hex; fi
for file in bin/pmc10 bin/pmc10-sim share/man/man1/pmc10.1.gz share/doc/pmc10/README.md \
    share/doc/pmc10/docs/gpio.md share/doc/pmc10/docs/wiring-pi.svg $board_hex; do
    check "holds $top/$file" "$([ -f "$unpacked/$top/$file" ] && echo yes)" yes
done
for tool in pmc10 pmc10-sim; do
    binary=$unpacked/$top/bin/$tool
    [ -f "$binary" ] || continue
    check "$tool: no dynamic loader" "$(readelf -lW "$binary" | grep -c INTERP || true)" 0
    check "$tool: stripped" "$(readelf -SW "$binary" | grep -c '\.symtab' || true)" 0
done
check "pmc10-sim runs" "$("$unpacked/$top/bin/pmc10-sim" --version 2>&1)" "pmc10 $(cut -d- -f2 <<<"$top")"
# A static Release build of its own, it says and strokes the same as the build beside it.
for words in commands "-n rd editbankname" "-n pmcchannel 12"; do
    # shellcheck disable=SC2086
    check "pmc10-sim $words: as the build's" "$("$unpacked/$top/bin/pmc10-sim" $words 2>&1)" \
        "$("$1/pmc10-sim" $words 2>&1)"
done

checks_done "$tarball: $(tar -tzf "$tarball" | grep -vc '/$') files"
