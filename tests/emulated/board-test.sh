#!/usr/bin/env bash
# The real pmc10 driving the board's real firmware, run by simavr at 16 MHz (board-sim) with
# its serial line on a pseudo-terminal: the pins' changes, logged to the CPU cycle, must
# follow the plan that pmc10-sim prints, with every hold and gap 15.000 ms; a killed pmc10,
# a line closed in the middle of a frame, and garbled or cut frames leave the pins idle.
# With a Windows build and Wine, pmc10.exe on COM1 (the same pseudo-terminal) does the same.
#
#   board-test.sh PMC10 PMC10_SIM BOARD_SIM FIRMWARE_ELF WORKDIR BUILD-DIR
#
# The Windows build is the one the Wine test shares (made here if it is not there yet).
# Exit 77 (skipped) when the firmware or the simulator was not built, except under CI.
set -euo pipefail

pmc10=$1 sim=$2 board_sim=$3 elf=$4 work=$5 build=$6
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
# shellcheck source=../windows/windows-lib.sh
source "$(dirname "$0")/../windows/windows-lib.sh"
[ -x "$board_sim" ] || skip_unless_ci "the board simulator (install libsimavr-dev)"
[ -f "$elf" ] || skip_unless_ci "the board firmware (install gcc-avr and avr-libc)"

rm -rf "$work"
mkdir -p "$work"
pins=$work/pins.log

board_pid=
start_board() {
    rm -f "$work/pty"
    # Paced to the wall clock, the board falls behind it when starved of the CPU, and then
    # the host's waits look short at the board: it runs at real-time priority where allowed.
    local rt=()
    if chrt -f 10 true 2>/dev/null; then rt=(chrt -f 10); fi
    "${rt[@]}" "$board_sim" "$elf" "$pins" "$work/pty" 2>>"$work/board-sim.err" &
    board_pid=$!
    for _ in $(seq 100); do if [ -s "$work/pty" ]; then break; fi; sleep 0.05; done
    pty=$(cat "$work/pty")
}
stop_board() {
    if [ -n "$board_pid" ]; then
        kill "$board_pid" 2>/dev/null || true
        wait "$board_pid" 2>/dev/null || true
        board_pid=
    fi
}
trap stop_board EXIT

# Pin log lines from line $1 on (1-based): "cycle lines".
since() { tail -n +"$1" "$pins"; }
mark() { echo $(($(wc -l <"$pins") + 1)); }
# The codes the lines carried (idle left out), as low nibbles.
codes_since() { since "$1" | awk '$2 != "f" { printf "%s%s", sep, $2; sep = " " }'; }
# pmc10-sim's trace of the same words.
sim_trace() { "$sim" "$@" 2>&1 >/dev/null; }
# The codes a trace writes, as low nibbles.
plan_of() {
    awk '$2 == "out" && $4 != "0xff" { printf "%s%s", sep, substr($4, 4, 1); sep = " " }' <<<"$1"
}
plan() { plan_of "$(sim_trace "$@")"; }
# Which idle spans of a trace are pauses before a way back, by their place among the spans
# between codes.
pause_places_of() {
    awk '$2 == "out" && $4 != "0xff" { n++ } $2 == "sleep" && $3 > 15 { printf "%s%d", sep, n; sep = " " }' <<<"$1"
}
# How many holds from line $1 on are not 15.000 ms (240000 cycles, the timer ticks every 64).
holds_off() {
    since "$1" | awk 'prev != "" && prev != "f" && ($1 - at < 240000 - 64 || $1 - at > 240000 + 64) { bad++ }
        { prev = $2; at = $1 } END { print bad + 0 }'
}
# Waits until the lines carry a code after line $1 of the log.
await_code() {  # up to 30 s: a loaded host slows the emulated board and pmc10's opening
    for _ in $(seq 3000); do if [ -n "$(codes_since "$1")" ]; then return 0; fi; sleep 0.01; done
    return 1
}
# Waits for the board to finish whatever it has (no change for 200 ms of its time).
settle() { sleep 0.3; }
last_lines() { tail -n 1 "$pins" | awk '{ print $2 }'; }  # the state the lines end in
long_run=$(repeat 36 menu)  # long enough to be caught in the middle on a loaded host
# Starts pmc10 on a long run (victim), with standard error to FILE, and waits for its first
# code after line $from of the log.
start_long_run() {  # FILE
    from=$(mark)
    # shellcheck disable=SC2086
    "$pmc10" --port "board:$pty" $long_run 2>"$1" &
    victim=$!
    await_code "$from" || true
}
end_long_run() { status=0; wait "$victim" || status=$?; }  # sets its status

start_board
echo "board on $pty"
timing_rows=$work/timing.txt
: >"$timing_rows"

# 1. The plan, to the pin; every hold and gap timed from the log's cycle counts.
for words in "rd editbankname" "pmcchannel 12"; do
    # shellcheck disable=SC2086  # the words are meant to split
    trace=$(sim_trace $words)
    expected=$(plan_of "$trace")
    from=$(mark)
    status=0
    # shellcheck disable=SC2086
    "$pmc10" --port "board:$pty" $words >"$work/out" 2>"$work/err" || status=$?
    settle
    check "$words: status" "$status" 0
    check "$words: the lines carry the plan" "$(codes_since "$from")" "$expected"
    # Holds and gaps in cycles, but for the last; the idle spans where the plan pauses are
    # pauses, whatever their length (a loaded host can stretch a gap past 100 ms).
    places=$(pause_places_of "$trace")
    since "$from" | spans f | sed '$d' | awk -v places="$places" '
        BEGIN { split(places, p, " "); for (i in p) pause[p[i]] = 1 }
        $1 == "gap" && pause[++gaps] { $1 = "pause" } { print $1, $2 }' >"$work/spans"
    check "$words: the pauses where the plan has them" "$(grep -c '^pause' "$work/spans" || true)" \
        "$(wc -w <<<"$places")"
    check "$words: every pause before a way back at least 500 ms" \
        "$(awk '$1 == "pause" && $2 < 8000000' "$work/spans" | wc -l)" 0
    awk '{ printf "%s %d\n", $1, ($2 + 8) / 16 }' "$work/spans" >>"$timing_rows"
    sed -i '/^pause/d' "$work/spans"
    # 15 ms is 240000 cycles at 16 MHz; the timer ticks every 64 cycles.
    check "$words: every hold is 15.000 ms within 4 us" "$(holds_off "$from")" 0
    check "$words: no gap under 15.000 ms" \
        "$(awk '$1 == "gap" && $2 < 240000 - 64' "$work/spans" | wc -l)" 0
    awk -v w="$words" '$1 == "gap" { n++; if ($2 <= 240000 + 64) exact++ }
        END { printf "%s: %d of %d gaps exactly 15.000 ms (others: the host was late)\n", w, exact, n }' \
        "$work/spans"
done

# 2. Killed mid-hold: the board's timer releases the key; at most the one stroke already
# handed over follows, whole.
start_long_run /dev/null
sleep 0.004
kill -KILL "$victim"
wait "$victim" 2>/dev/null || true
killed_at=$(since "$from" | awk '$2 != "f" { at = $1 } END { print at }')
settle
check "SIGKILL mid-hold: the lines end idle" "$(last_lines)" f
check "SIGKILL mid-hold: every hold still 15.000 ms" "$(holds_off "$from")" 0
check "SIGKILL mid-hold: the lines idle within 15 ms of the last code" \
    "$(since "$from" | awk -v k="$killed_at" '!done && $1 > k && $2 == "f" { print ($1 - k <= 240000 + 64); done = 1 }')" 1

# 3. An ending signal: the key in hand finishes, nothing after it starts.
start_long_run "$work/term.err"
sleep 0.004
kill -TERM "$victim"
# Marked once the signal is sent: on a loaded host the script itself can lag a stroke or
# two behind, so a mark taken before it would count strokes made before the signal.
at_kill=$(mark)
end_long_run
settle
check "SIGTERM: dies by the signal" "$status" 143
# The one stroke handed over behind the key in hand may have begun before the signal was
# taken; nothing after it.
check "SIGTERM: at most one stroke begins after the signal" \
    "$(codes_since "$at_kill" | wc -w | awk '{ print ($1 <= 1) }')" 1
check "SIGTERM: every hold still 15.000 ms" "$(holds_off "$from")" 0
check "SIGTERM: the lines end idle" "$(last_lines)" f

# 3b. A second run while the first strokes: refused at once, and the first one undisturbed.
start_long_run /dev/null
status=0
"$pmc10" --port "board:$pty" enter 2>"$work/second.err" || status=$?
wait "$victim"
settle
check "second run: refused" "$status" 1
check "second run: says the port is in use" "$(grep -c 'is in use by another' "$work/second.err")" 1
# shellcheck disable=SC2086
check "second run: the first plays its plan, whole" "$(codes_since "$from")" "$(plan $long_run)"

# 3c. The board stalls in the middle of a run: pmc10 gives up with one line.
start_long_run "$work/stall.err"
kill -STOP "$board_pid"
end_long_run
kill -CONT "$board_pid"
settle
check "stalled board: pmc10 fails" "$status" 1
check "stalled board: one line says so" \
    "$(grep -c '^pmc10: the board on .* stopped answering' "$work/stall.err")" 1
check "stalled board: the lines end idle" "$(last_lines)" f

# 4. Frames cut short, garbled, or noise: never a key. The line is closed after each.
stty -F "$pty" raw -echo
# Someone reads the board's answers, as a serial driver would take them off the line.
cat "$pty" >"$work/answers" &
reader=$!
from=$(mark)
good='\xa5\x53\x04\x00\xfb\x0f\x0f\xcb\x10'  # a stroke of 0xfb, 15 ms and 15 ms
printf '\xa5\x53\x04\x00\xfb\x0f' >"$pty"                    # cut short, line closed
sleep 0.1
printf '\xa5\x53\x04\x00\xfa\x0f\x0f\xcb\x10' >"$pty"        # one bit off in the code
printf '\xa5\x53\x05\x00\xfb\x0f\x0f\xcb\x10\x00' >"$pty"    # wrong length
printf '\xa5\x53\x04\x00\xfb\x0f\x0f\xcb\x11' >"$pty"        # check off by one bit
for _ in 1 2 3 4 5; do                                       # noise, in bursts
    head -c 200 /dev/urandom >"$pty"
    sleep 0.1  # 200 bytes take 35 ms at 57600 baud
done
sleep 0.3
check "cut, garbled and noisy frames press no key" "$(codes_since "$from")" ""
printf "$good" >"$pty"
settle
check "a whole frame after them still strokes" "$(codes_since "$from")" b
kill "$reader"; wait "$reader" 2>/dev/null || true

# 5. The board vanishes (its line closes) during a run: pmc10 says so and fails.
start_long_run "$work/vanish.err"
stop_board
end_long_run
check "board gone: pmc10 fails" "$status" 1
check "board gone: one line says so" "$(grep -c '^pmc10: the board on .* failed' "$work/vanish.err")" 1

# 6. No board at the other end: one line with the avrdude command, within about 3 s.
start_board
kill -STOP "$board_pid"
status=0
started=$(date +%s%N)
"$pmc10" --port "board:$pty" menu 2>"$work/silent.err" || status=$?
took=$((($(date +%s%N) - started) / 1000000))
kill -CONT "$board_pid"
check "silent board: status" "$status" 1
check "silent board: the avrdude command for its port" \
    "$(grep -c "^pmc10: no pmc10 board answers on $pty .*avrdude -p atmega328p -c arduino -P $pty " \
        "$work/silent.err")" 1
check "silent board: gives up within 3.5 s" "$((took < 3500))" 1

# 7. Windows: pmc10.exe under Wine with COM1 on the same pseudo-terminal.
if have_windows_tools; then
    windows_build "$build" "$(dirname "$0")/../.."
    exe=$winbuild/pmc10.exe
    # A prefix of its own, copied from the shared one: Wine maps COM1 to /dev/ttyS0
    # whenever its mount manager starts, unless the Ports key names another device.
    cp -a "$WINEPREFIX" "$work/wine"
    export WINEPREFIX=$work/wine
    wine64 reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$pty" /f >/dev/null 2>&1 || true
    ln -sfn "$pty" "$WINEPREFIX/dosdevices/com1"
    from=$(mark)
    status=0
    wine64 "$exe" --port board:COM1 rd editbankname >"$work/wine.out" 2>"$work/wine.err" \
        </dev/null || status=$?
    settle
    check "Windows: status" "$status" 0
    check "Windows: the lines carry the plan" "$(codes_since "$from")" "$(plan rd editbankname)"
    check "Windows: every hold 15.000 ms" "$(holds_off "$from")" 0
    # Its Wine server would go on writing to the prefix, which the next run removes.
    wineserver -k 2>/dev/null || true
elif [ "${CI:-}" = true ]; then
    check "Windows: MinGW-w64 and Wine are installed" no yes
fi

awk '{ n[$1]++; over = $2 - ($1 == "pause" ? 500000 : 15000); if (over > m[$1]) m[$1] = over }
    END { for (k in n) printf "board (emulated) %s: n=%d, longest over its %s ms: %d us\n", k, n[k],
                               k == "pause" ? "500.000" : "15.000", m[k] }' "$timing_rows"
checks_done "the board on simavr: all checks passed" "pin log: $pins"
