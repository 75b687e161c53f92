#!/usr/bin/env bash
# Boots Debian's own kernel on an emulated PC (QEMU) with two USB MCP2221As, each a configfs
# HID gadget on a bus of dummy_hcd's: the kernel's hid-mcp2221 driver binds to the first
# and offers its four GP pins as a gpiochip, the generic HID driver gives the second a
# hidraw node, and mcp2221-gadget.c answers each chip's commands and logs every change of
# its pins with its time. First a small uAPI client (gpio-lines.c) shows that the chip
# works; then the real pmc10 drives it with --port gpio:... (the kernel's gpiochip, which
# sets one pin per USB command) and the second with --port mcp2221 (the chip's own
# command, all four pins at once, through hidraw), and is refused a watchdog as a GPIO
# chip.
#
# Usage: gpio-test.sh PMC10|- WORK-DIR [CACHE-DIR]     ("-": the chip checks only)
# Needs qemu-system-x86_64, busybox (static), a C compiler with static libc, apt-get
# download and dpkg -x for the kernel; exits 77 (skipped) without the first two, unless
# CI=true, where a missing tool is a failure. The kernel package is kept in CACHE-DIR.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
pmc10=$1
[ "$pmc10" = - ] || pmc10=$(realpath "$pmc10")
# shellcheck source=kernel-lib.sh
source "$here/kernel-lib.sh"
guest_setup "$(realpath -m "$2")" "$(realpath -m "${3:-$2/cache}")"

# The guest: busybox, the modules in load order (each after those it depends on, read
# from its .modinfo), the emulated chip and the uAPI client (statically linked), pmc10,
# and the script below.
declare -A module_path=() loaded=()
while read -r name file; do
    name=${name%.ko}
    module_path[${name//-/_}]=$file
done < <(find "$modules" -name '*.ko' -printf '%f %p\n')
add_module() {
    local name=${1//-/_} dep
    if [ -n "${loaded[$name]:-}" ]; then return; fi
    [ -n "${module_path[$name]:-}" ] || { echo "Debian's kernel has no module $1"; exit 1; }
    for dep in $(strings -a "${module_path[$name]}" | sed -n 's/^depends=//p' | tr , ' '); do
        add_module "$dep"
    done
    loaded[$name]=1
    cp "${module_path[$name]}" "$root/lib/modules/"
    echo "${module_path[$name]##*/}" >>"$root/lib/modules/order"
}
for module in dummy_hcd libcomposite usb_f_hid hid usbhid hid-generic hid-mcp2221 softdog; do add_module "$module"; done
for program in mcp2221-gadget gpio-lines; do
    cc -std=c11 -D_GNU_SOURCE -O2 -Wall -Wextra -static -o "$work/$program" "$here/usb/$program.c"
    guest_program "$work/$program"
done
guest_applets ls kill seq dmesg tail rmmod
cp "$here/usb/gadget-lib.sh" "$root/lib/"
[ "$pmc10" = - ] || guest_program "$pmc10" pmc10

cat >"$root/init" <<'INIT'
#!/bin/sh
. /lib/guest.sh
# Two USB buses, one chip on each: the kernel's hid-mcp2221 driver takes the first, the
# generic HID driver the second (hidraw).
for module in $(cat /lib/modules/order); do
    if [ "$module" = dummy_hcd.ko ]; then set -- num=2; else set --; fi
    insmod /lib/modules/$module "$@" || echo "insmod $module failed" >$results
done

# The MCP2221A: VID:PID 04d8:00dd, one HID interface with 64-byte vendor reports. Each
# chip logs its pins to a file of its own, where mark notes each case's start.
. /lib/gadget-lib.sh
descriptor='\006\000\377\011\001\241\001\031\001\051\100\025\000\046\377\000\165\010'
descriptor="$descriptor"'\225\100\201\002\031\001\051\100\221\002\300'
plug() {  # NAME FUNCTION UDC HIDG
    gadget_create "$1" 0x04d8 0x00dd "Microchip Technology Inc." \
        "MCP2221 USB-I2C/UART Combo" 0001234567 &&
        gadget_add_function "$1" "$2" protocol=0 subclass=0 report_length=64 \
            "report_desc=$descriptor" &&
        gadget_bind "$1" "$3" || echo "gadget $1 set-up failed" >$results
    echo "case $1-plugged" >"/tmp/pins-$1.log"
    MCP2221_TRACE=1 /bin/mcp2221-gadget "$4" "/tmp/pins-$1.log" 2>>/tmp/gadget.err &
}
mark() { echo "case $1" >>$pins; }
# SIGINT while the first key is held: the emulated chip sends it the moment it sees the
# key on its pins.
interrupted() { sh -c 'echo $$ >/tmp/interrupt-pid; exec pmc10 --port "$0" r 0xf1 0xf2 0xf3' "$1"; }
# The adapter unplugged during a run: the next write fails, and says so.
unplug() {  # name port gadget
    mark "$1"
    /bin/pmc10 --port "$2" r 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 >/tmp/out 2>/tmp/err &
    runner=$!
    until [ "$(tail -n 1 $pins)" != "case $1" ]; do sleep 0.05; done
    gadget_unbind "$3"
    wait $runner
    report "$1" $?
}

# The hidraw chip first, while hid-mcp2221 is told to leave chips to the generic driver.
echo 1 >/sys/module/hid/parameters/ignore_special_drivers
plug hidraw hid.usb0 dummy_udc.1 /dev/hidg0
for i in $(seq 1 100); do [ -e /dev/hidraw0 ] && break; sleep 0.1; done
echo 0 >/sys/module/hid/parameters/ignore_special_drivers
# Then the driver's chip. The driver's probe waits some 24 s for answers that the HID core
# holds back until the probe ends, and the kernel keeps the chip's sysfs entries until
# then: meanwhile the cases that name their port run; those that look for it wait.
plug mcp2221 hid.usb1 dummy_udc.0 /dev/hidg1
pins=/tmp/pins-hidraw.log
if [ -x /bin/pmc10 ]; then
    run hid-channel pmc10 --port mcp2221:/dev/hidraw0 pmcchannel 12
    run hid-interrupt interrupted mcp2221:/dev/hidraw0
    run missing pmc10 --port gpio:gpiochip9:0,1,2,3 rd editbankname
    # A watchdog named as a GPIO chip: refused before it is opened, so it never arms.
    run watchdog pmc10 --port gpio:/dev/watchdog:0,1,2,3 rd editbankname
    echo "watchdog $(cat /sys/class/watchdog/watchdog0/state)" >$results
fi
for i in $(seq 1 300); do chip=$(gpio-lines find mcp2221_gpio) && break; sleep 0.1; done
echo "chip $chip at $(cat /proc/uptime)" >$results
chip=${chip%% *}
name=${chip#/dev/}
if [ -x /bin/pmc10 ]; then
    run list-hidraw pmc10 --list-ports
    # The chip through hidraw is chosen, the one its driver holds passed over.
    run hid-walk pmc10 --port mcp2221 rd editbankname
    unplug hid-unplug mcp2221 hidraw
    run hid-held pmc10 --port mcp2221 rd editbankname
fi

pins=/tmp/pins-mcp2221.log
# The chip alone: idle, then two codes and back, 20 ms apart.
run chip gpio-lines walk "$chip" 20 ff fa ff f0 ff

if [ -x /bin/pmc10 ]; then
    port=gpio:$name:0,1,2,3
    run walk pmc10 --port "$port" rd editbankname
    run channel pmc10 --port "$port" pmcchannel 12
    run interrupt interrupted "$port"
    run label pmc10 --port "gpio:mcp2221_gpio:0,1,2,3" r 0xf5
    run active-low pmc10 --port "$port;active-low" rd editbankname
    mark restore
    gpio-lines walk "$chip" 0 ff ff
    # Lines held by another program.
    gpio-lines hold "$chip" other-app >/tmp/held &
    holder=$!
    while ! grep -q held /tmp/held; do sleep 0.05; done
    run busy pmc10 --port "$port" rd editbankname
    kill $holder; wait $holder
    # Two runs started together: the second waits for the first's lines.
    together concurrent "pmc10 --port '$port' r 0xf1 0xf1" "pmc10 --port '$port' r 0xf2 0xf2"
    run too-few pmc10 --port "gpio:$name:0,1,2,4" rd editbankname
    run list pmc10 --list-ports
    unplug unplug "$port" mcp2221
fi

mark end
sleep 0.2
relay pin </tmp/pins-hidraw.log
relay pin </tmp/pins-mcp2221.log
relay gadget </tmp/gadget.err
dmesg | relay kernel
finish
INIT
guest_boot 600 512

# The pins' log, cut by case: "case NAME START" (the state when the case began), then the
# changes during the case as "MICROSECONDS STATE".
segments=$work/segments.txt
awk '$1 == "pin" && $2 == "case" { print "case", $3, state; next }
     $1 == "pin" { state = $3; print $2, $3 }' "$results" >"$segments"
during() { awk -v c="$1" -v f="$2" '$1 == "case" { on = ($2 == c); next } on { print $f }' "$segments"; }
changes() { during "$1" 2 | xargs; }  # name: the states the pins went through during the case
start_of() { awk -v c="$1" '$1 == "case" && $2 == c { print $3 }' "$segments"; }

# What the pins go through when bytes are written to lines 0-3, each write setting its
# changed lines one after the other in line order, as the driver does: one line per pin
# change, "WRITE STATE". WRITE 0 is the request's initial (idle) value. MODE 1: active-low;
# MODE all: the four lines set in one step, as the chip's own command does.
model() {  # START MODE BYTE...
    local state=$((16#$1 & 15)) write=0 byte target mask masks=(1 2 4 8) flip=0
    if [ "$2" = all ]; then masks=(15); fi
    if [ "$2" = 1 ]; then flip=15; fi
    shift 2
    for byte in ff "$@"; do
        target=$(((16#$byte & 15) ^ flip))
        for mask in "${masks[@]}"; do
            if (((state ^ target) & mask)); then
                state=$(((state & ~mask) | (target & mask)))
                printf '%d %x\n' "$write" "$((state | 0xf0))"
            fi
        done
        write=$((write + 1))
    done
}
model_states() { model "$@" | awk '{ print $2 }' | xargs; }

check "the emulated MCP2221A appears as a 4-line gpiochip" \
    "$(awk '$1 == "chip" { print $3 }' "$results")" 4
check "uAPI client: status" "$(status_of chip)" 0
check "uAPI client: pin states, line by line" "$(changes chip)" \
    "$(model_states "$(start_of chip)" 0 fa ff f0 ff)"

rm -f "$work"/timing-*.txt
touch "$work"/timing-{gpiochip,hidraw}.txt
# Holds and gaps at the device for a case that matched its model: from the last pin change
# of a write to the first change of the next write that changes anything; and "skew", how
# long the pins showed other codes during a write that changed lines one by one.
timings() {  # name mode bytes...
    local name=$1
    paste -d' ' <(model "$(start_of "$name")" "$2" "${@:3}") \
        <(during "$name" 1) |
        awk -v idle="$([ "$2" = 1 ] && echo f0 || echo ff)" '
            n == 0 || $1 != write {
                # Write 0 is the opening: what follows it is the first key, not a gap.
                if (n && write != 0) print (state == idle ? "gap" : "hold"), $3 - last
                if (changes > 1) print "skew", last - first
                write = $1; first = $3; changes = 0
            }
            { last = $3; state = $2; n++; changes++ }
            END { if (changes > 1) print "skew", last - first }' \
        >>"$work/timing-$([ "$2" = all ] && echo hidraw || echo gpiochip).txt"
}

if [ "$pmc10" != - ]; then
    while read -r case invert codes; do  # CASE MODE (for model) KEYS
        codes="${codes}_codes[@]"
        read -ra bytes <<<"$(stroke "${!codes}")"
        check "$case: status" "$(status_of "$case")" 0
        # Idle at the start and the exact sequence after it: no key before the first idle.
        check "$case: pins idle when pmc10 starts" "$(start_of "$case")" ff
        expected=$(model_states ff "$invert" "${bytes[@]}")
        check "$case: the exact sequence of pin states" "$(changes "$case")" "$expected"
        if [ "$(changes "$case")" = "$expected" ]; then timings "$case" "$invert" "${bytes[@]}"; fi
    done <<'CASES'
walk 0 walk
channel 0 channel
active-low 1 walk
hid-walk all walk
hid-channel all channel
CASES
    for case in interrupt:0 hid-interrupt:all; do
        check "${case%:*}: killed by SIGINT" "$(status_of ${case%:*})" 130
        check "${case%:*}: the held key released, then nothing" "$(changes ${case%:*})" \
            "$(model_states ff ${case#*:} ff f1 ff)"
    done
    check "gpiochip: the first line says the chip sets one line at a time" \
        "$(lines_of walk err | sed -n 1p | grep -c "^pmc10: note: GPIO gpiochip[0-9]* 'mcp2221_gpio' sets one line at a time")" 1
    check "hidraw: no such note" "$(lines_of hid-walk err | grep -c 'one line at a time')" 0
    check "watchdog: never armed" "$(awk '$1 == "watchdog" { print $2 }' "$results")" inactive
    check "label: pin states" "$(changes label)" "$(model_states ff 0 $(stroke f5 f3))"
    for case in busy too-few hid-held; do check "$case: pins untouched" "$(changes $case)" ""; done
    check_cases <<'CASES'
label 0
watchdog 1 ^pmc10: /dev/watchdog is not a GPIO chip$
busy 1 in use by 'other-app'
missing 1 ^pmc10: no GPIO chip /dev/gpiochip9 (pmc10 --list-ports shows those present)$
too-few 1
hid-held 1
unplug 1 the chip is gone
hid-unplug 1 the chip is gone
CASES
    check "list: the chip, ready, named as the MCP2221A" \
        "$(lines_of list out | grep -c "^gpio:.*label 'mcp2221_gpio', 4 lines *ready (MCP2221A.*one line at a time")" 1
    check "list: the chip held by hid-mcp2221, not usable through hidraw" \
        "$(lines_of list out | grep -c "^mcp2221 .*04d8:00dd serial 0001234567 .*modprobe -r hid_mcp2221")" 1
    check "list: the chip through hidraw, ready" \
        "$(lines_of list-hidraw out | grep -c "^mcp2221:/dev/hidraw0 .*04d8:00dd serial 0001234567 *ready")" 1
    check_either "two runs started together play one after the other" "$(changes concurrent)" \
        "$(model_states ff 0 $(stroke f1 f1 f3))" "$(model_states ff 0 $(stroke f2 f2 f3))"
    check "concurrent: both runs succeed" "$(status_of concurrent)" "0 0"

    # Overshoot over 15.000 ms at the device, in microseconds, per path.
    for path in gpiochip hidraw; do
        rows=$work/timing-$path.txt
        check "$path: every hold and gap at least 15.000 ms at the device" \
            "$(awk '$1 != "skew" && $2 < 15000' "$rows" | wc -l)" 0
        for kind in "hold overshoot" "gap overshoot" "skew (other codes shown while one write changes the lines)"; do
            spread=$(awk -v k="${kind%% *}" '$1 == k { print $2 - (k == "skew" ? 0 : 15000) }' "$rows" | figures)
            [ -z "$spread" ] || echo "GPIO MCP2221A $path (emulated) $kind, us: $spread"
        done
    done
fi

checks_done "GPIO on the emulated MCP2221A: all checks passed" "results: $results"
