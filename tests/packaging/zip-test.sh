#!/usr/bin/env bash
# Builds the Windows zip: a MinGW-w64 cross build of its own (static, so that no MinGW DLL
# is needed), packed by cpack -G ZIP, must hold pmc10.exe and pmc10-sim.exe, which run
# under Wine, the README with its docs, and a README.txt with CR LF line ends that tells
# where WinIo comes from, how to undo test-signing, and has every section that the
# messages of pmc10.exe name. The zip is left in BUILD-DIR/zip.
# Usage: zip-test.sh BUILD-DIR SOURCE-DIR
# Exits 77 (skipped) without MinGW-w64 or Wine, but fails without them when CI=true.
set -euo pipefail
work=$(realpath -m "$1/zip")
src=$(realpath "$2")
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
# shellcheck source=../windows/windows-lib.sh
source "$(dirname "$0")/../windows/windows-lib.sh"
have_windows_tools || skip_unless_ci "g++-mingw-w64-x86-64 and wine64"
windows_build "$1" "$src"
mkdir -p "$work"
rm -f "$work"/*.zip
(cd "$work" && cpack -G ZIP --config "$winbuild/CPackConfig.cmake" >/dev/null)
zip=$(ls "$work"/pmc10-*-windows-x86_64.zip)
top=$(basename "$zip" .zip)
version=$(cut -d- -f2 <<<"$top")

unpacked=$work/unpacked
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
docs=$(cd "$src" && find docs -type f \( -name '*.md' -o -name '*.svg' \) | sed 's|^|./|')
# The board's firmware comes along where avr-gcc built it.
firmware=
if [ -f "$winbuild/pmc10-board.hex" ]; then firmware=./firmware/pmc10-board.hex; fi
check "files" "$(cd "$unpacked/$top" && find . -type f | LC_ALL=C sort | tr '\n' ' ')" \
    "$( (echo ./LICENSE ./README.md ./README.txt ./pmc10-sim.exe ./pmc10.exe $firmware; echo "$docs") | tr ' ' '\n' | LC_ALL=C sort | tr '\n' ' ')"

readme=$unpacked/$top/README.txt
check "README.txt: every line ends in CR LF" "$(grep -c $'\r$' "$readme")" "$(wc -l <"$readme")"
check "README.txt: ends with a line end" "$(tail -c 2 "$readme" | od -An -c | tr -d ' ')" '\r\n'
for phrase in "WinIo, by Yariv Kaplan" "bcdedit /set testsigning on" "bcdedit /set testsigning off" \
    "--port ftdi" "Needs neither WinIo nor test-signing" "pmc10 $version for Windows"; do
    check "README.txt: says \"$phrase\"" "$(grep -cF -- "$phrase" "$readme")" 1
done

# Each section the program's messages name (the "Windows" section of the pmc10 README, ...)
# is a heading of README.txt: a line of its own, underlined.
named=$(strings "$unpacked/$top/pmc10.exe" | grep 'README' | grep -oE '"[^"]+"' | tr -d '"' | sort -u)
check "messages name sections" "$(wc -l <<<"$named")" 3
while read -r section; do
    check "README.txt: has the section \"$section\"" \
        "$(tr -d '\r' <"$readme" | grep -A1 -xF -- "$section" | grep -c '^---')" 1
done <<<"$named"

for exe in pmc10.exe pmc10-sim.exe; do
    [ -f "$unpacked/$top/$exe" ] || continue
    # Only Windows' own DLLs: the MinGW runtime is linked in.
    check "$exe: imports no MinGW runtime DLL" \
        "$(x86_64-w64-mingw32-objdump -p "$unpacked/$top/$exe" | grep -iE 'DLL Name: (libstdc|libgcc|libwinpthread)' || true)" ""
    check "$exe --version under Wine" \
        "$(cd "$unpacked/$top" && wine64 "./$exe" --version 2>&1 </dev/null)" "pmc10 $version"
done

checks_done "$zip: $(cd "$unpacked/$top" && echo *)"
