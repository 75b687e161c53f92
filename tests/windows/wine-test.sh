#!/usr/bin/env bash
# Cross-builds pmc10.exe with MinGW-w64 and runs it under Wine: its screens must be the
# same bytes as the Linux build's; without the WinIo library, or when the library fails,
# the command-sequence path must end with the error line and status 1 without a write;
# with a stand-in library, its SetPortVal calls must be the writes of the Linux
# simulation, with every key held and every gap kept at least 15 ms. The same for an FTDI
# adapter through a stand-in ftd2xx.dll in the system folder, and its absence: status 1
# and the reason.
#
# Usage: wine-test.sh SOURCE-DIR WORK-DIR LINUX-PMC10-SIM
# Exits 77 (skipped) where MinGW-w64 or Wine is not installed, except under CI (CI=true),
# where it fails.
set -euo pipefail
src=$(realpath "$1")
work=$(realpath -m "$2")
sim=$(realpath "$3")
# shellcheck source=windows-lib.sh
source "$(dirname "$0")/windows-lib.sh"
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
have_windows_tools || skip_unless_ci "g++-mingw-w64-x86-64 and wine64"
windows_build "$(dirname "$work")" "$src"
bare=$work/bare with=$work/with-library planted=$work/planted
rm -rf "$bare" "$with" "$planted"
mkdir -p "$bare" "$with" "$planted/elsewhere"
for dir in "$bare" "$with" "$planted"; do cp "$winbuild/pmc10.exe" "$dir/"; done
cp "$winbuild/tests/WinIo64.dll" "$with/"
cp "$winbuild/tests/WinIo64.dll" "$planted/elsewhere/"

# run DIR ARGS...: sets status; $work/out and $work/err keep the exact bytes.
run() {
    status=0
    (cd "$1" && wine64 ./pmc10.exe "${@:2}" >"$work/out" 2>"$work/err" </dev/null) || status=$?
}

# check_writes WHAT WRITES: WRITES, lines "MICROSECONDS BYTE", one per write, are the writes
# of the Linux simulation of the same words ($work/linux-err), and no code, nor the idle
# value after a code, stays on the port less than 15 ms.
check_writes() {
    check "$1: the writes of the Linux simulation" "$(cut -d' ' -f2 <<<"$2" | xargs)" \
        "$(awk '$2 == "out" { print $4 }' "$work/linux-err" | xargs)"
    check "$1: no key held or released for less than 15 ms" "$(spans 0xff <<<"$2" | awk '$2 < 15000' | wc -l)" 0
}

# The screens: byte for byte the Linux ones (the usage screen but for the program name).
for verb in cable commands; do
    run "$bare" "$verb"
    "$sim" "$verb" >"$work/linux-out" 2>/dev/null
    check "$verb: status" "$status" 0
    check "$verb: same bytes as on Linux" "$(cmp -s "$work/out" "$work/linux-out" && echo same)" same
    check "$verb: nothing on standard error" "$(cat "$work/err")" ""
done
run "$bare"
"$sim" >"$work/linux-out" 2>/dev/null || true
check "usage: status" "$status" 2
check "usage: same bytes as on Linux but for line 2" "$(sed 2d "$work/out" | md5sum)" "$(sed 2d "$work/linux-out" | md5sum)"
check "usage: line 2" "$(sed -n 2p "$work/out" | sed 's/Usage: .*pmc10.exe (/Usage: NAME (/')" \
    "  Usage: NAME ( [r] { <PMC 10 command> } | cable | commands ) "
check "no carriage returns" "$(tr -dc '\r' <"$work/out" | wc -c)" 0

# Without the library, and with one in another folder only: not initialised.
for dir in "$bare" "$planted"; do
    run "$dir" rd editbankname
    check "$(basename "$dir"): status" "$status" 1
    check "$(basename "$dir"): error line" "$(sed -n 1p "$work/err")" "Error during initialization of WinIo."
    check "$(basename "$dir"): reason names the library" \
        "$(sed -n 2p "$work/err" | grep -c 'pmc10: cannot load .*WinIo64.dll')" 1
    check "$(basename "$dir"): nothing on standard output" "$(cat "$work/out")" ""
done

# With the stand-in library: its calls are the Linux simulation's writes.
export PMC10_WINIO_LOG=$work/winio.log
for words in "rd editbankname" "pmcchannel 12" "0x1f3"; do
    rm -f "$PMC10_WINIO_LOG"
    # shellcheck disable=SC2086
    run "$with" $words
    # shellcheck disable=SC2086
    "$sim" $words >"$work/linux-out" 2>"$work/linux-err"
    check "$words: status" "$status" 0
    check "$words: standard output as on Linux" "$(cat "$work/out")" "$(cat "$work/linux-out")"
    check "$words: initialised once" "$(grep -c '^InitializeWinIo ok' "$PMC10_WINIO_LOG")" 1
    check "$words: every write is SetPortVal(0x378, value, 1)" \
        "$(grep '^SetPortVal' "$PMC10_WINIO_LOG" | awk '$2 != "0x378" || $4 != 1' | wc -l)" 0
    check_writes "$words" "$(awk '/^SetPortVal/ { print $6, $5 }' "$PMC10_WINIO_LOG")"
done

# A library whose InitializeWinIo fails.
rm -f "$PMC10_WINIO_LOG"
PMC10_WINIO_FAIL=1 run "$with" menu
check "failing InitializeWinIo: status" "$status" 1
check "failing InitializeWinIo: error line" "$(sed -n 1p "$work/err")" "Error during initialization of WinIo."
check "failing InitializeWinIo: no write" "$(grep -c '^SetPortVal' "$PMC10_WINIO_LOG" || true)" 0

# Two runs at one address: the second waits for the first, says so, and its strokes follow.
# The first lasts 5 s: on a loaded host Wine took over 2 s to start the second.
rm -f "$PMC10_WINIO_LOG"
(cd "$with" && wine64 ./pmc10.exe r $(repeat 160 0xf1) >/dev/null 2>&1) &
until grep -qs '^SetPortVal' "$PMC10_WINIO_LOG"; do sleep 0.1; done
run "$with" r 0xf2
wait
check "two runs: the second says it waits" "$(grep -c 'in use by another run; waiting for it' "$work/err")" 1
check "two runs: one after the other" \
    "$(awk '/^SetPortVal/ && $5 != "0xff" && $5 != last { printf "%s ", $5; last = $5 }' "$PMC10_WINIO_LOG")" \
    "0xf1 0xf3 0xf2 0xf3 "

# FTDI adapters through D2XX: ftd2xx.dll from the Windows system folder only.
system32=$WINEPREFIX/drive_c/windows/system32
rm -f "$system32/ftd2xx.dll" "$work/d2xx.log"
export PMC10_D2XX_LOG=$work/d2xx.log
run "$with" --port ftdi rd editbankname
check "D2XX missing: status" "$status" 1
check "D2XX missing: the reason" \
    "$(grep -ic '^pmc10: cannot load .*system32.ftd2xx.dll (FTDI.s D2XX driver' "$work/err")" 1
check "D2XX missing: no call" "$(cat "$work/d2xx.log" 2>/dev/null)" ""
cp "$winbuild/tests/ftd2xx.dll" "$system32/"
PMC10_D2XX_NONE=1 run "$bare" --port ftdi rd editbankname
check "no adapter: status" "$status" 1
check "no adapter: the reason" "$(grep -c '^pmc10: no FTDI adapter is plugged in' "$work/err")" 1
check "no adapter: no write" "$(grep -c '^FT_Write' "$work/d2xx.log" || true)" 0
for port in ftdi ftdi:s:0403:6001:PMC10FT1 ftdi:i:0403:6001:0; do
    for words in "rd editbankname" "pmcchannel 12"; do
        rm -f "$PMC10_D2XX_LOG"
        # shellcheck disable=SC2086
        run "$bare" --port "$port" $words
        # shellcheck disable=SC2086
        "$sim" $words >/dev/null 2>"$work/linux-err"
        check "$port $words: status" "$status" 0
        # Opened, 0xff into the latch with no output, then D0-D3 as outputs: the first byte
        # they carry is the idle value.
        check "$port $words: opening" \
            "$(awk '!/^FT_CreateDeviceInfoList/ && n++ < 6 { print /^FT_Write/ ? $1 " " $2 : $0 }' \
                "$PMC10_D2XX_LOG" | tr '\n' ' ')" \
            "FT_OpenEx serial FT_SetTimeouts 1000 1000 FT_SetBitMode 0x00 0x01 FT_Write 0xff FT_SetBitMode 0x0f 0x01 FT_Write 0xff "
        check_writes "$port $words" \
            "$(awk '/^FT_SetBitMode 0x0f/ { on = 1 } on && /^FT_Write/ { print $3, $2 }' "$PMC10_D2XX_LOG")"
        check "$port $words: closed at the end" "$(tail -1 "$PMC10_D2XX_LOG")" "FT_Close"
    done
done
run "$bare" --port ftdi:d:001/002 rd editbankname
check "ftdi:d: on Windows: status" "$status" 2
check "ftdi:d: on Windows: the reason" "$(grep -c 'names a USB bus and device on Linux' "$work/err")" 1
rm -f "$system32/ftd2xx.dll"

checks_done "Windows build under Wine: all checks passed"
