#!/usr/bin/env bash
# Boots a real Linux kernel on an emulated PC (QEMU, software emulation) whose USB bus has
# an FT232R on it: dummy_hcd joins the kernel's USB host side to a gadget made in
# configfs, and tests/emulated/usb/ft232r-gadget plays the chip through FunctionFS,
# logging every control request and every byte that reaches the pins, stamped at its
# arrival. pmc10 (dynamically linked, with libftdi) runs in the guest with --port ftdi...
# and the test shows: the exact pin bytes of a menu walk and of a channel procedure, for
# each form of the port text; the order of requests at opening, with no data line ever
# low before the first idle byte; every key held and every gap kept at least 15 ms as the
# device sees them; the kernel's ftdi_sio driver given back after the run; two runs
# started together never interleave (the second says it waits); the pins idle, and the
# adapter back with ftdi_sio, after SIGINT and after each crash signal in the middle of a
# key hold; an adapter that stops taking bytes for 1.5 s or 3 s during a hold gets the
# idle value once it recovers, and the run ends with status 1 and the reason; an adapter
# unplugged in the middle of a run ends it with status 1 and one clear line at once; the
# root hub, another device's IDs and a release number no FTDI chip has are refused with
# every driver left bound; no adapter, and no permission, give status 1 and their reason
# without a byte sent. It prints the hold and gap overshoot measured at the device.
#
# Usage: ftdi-test.sh PMC10 WORK-DIR [CACHE-DIR]
# Needs qemu-system-x86_64, busybox (static), a C compiler with static glibc, libftdi1-dev
# (for the emulator's own check client), apt-get download and dpkg -x for the kernel;
# exits 77 (skipped) without them, except under CI (CI=true), where it fails.
set -euo pipefail

pmc10=$(realpath "$1")
usb=$(dirname "$(realpath "$0")")/usb
# shellcheck source=kernel-lib.sh
source "$(dirname "$(realpath "$0")")/kernel-lib.sh"
guest_setup "$(realpath -m "$2")" "$(realpath -m "${3:-$2/cache}")" "a C compiler and libftdi1-dev" \
    sh -c 'command -v cc && pkg-config --exists libftdi1'
grep -qa 'libftdi1\.so' "$pmc10" || { echo "$pmc10 is not built with libftdi1"; exit 1; }
[ -f "$modules/drivers/usb/gadget/udc/dummy_hcd.ko" ] ||
    { echo "the kernel $(basename "$vmlinuz") has no dummy_hcd module"; exit 1; }

# The guest: busybox, pmc10 and the check client with their shared libraries, the static
# gadget program, the USB modules, and the script below.
guest_applets usleep ls ln mkdir rmdir printf su kill pidof timeout head cut env
cc -O2 -Wall -Wextra -static -pthread -o "$work/ft232r-gadget" "$usb/ft232r-gadget.c"
# shellcheck disable=SC2046
cc -O2 -Wall -Wextra $(pkg-config --cflags libftdi1) -o "$work/ftdi-client" \
    "$usb/ftdi-client.c" $(pkg-config --libs libftdi1)
guest_program "$work/ft232r-gadget"
guest_program "$work/ftdi-client"
guest_program "$pmc10" pmc10
cp "$usb/gadget-lib.sh" "$root/lib/"
for module in common/usb-common core/usbcore gadget/udc/udc-core gadget/udc/dummy_hcd \
    gadget/libcomposite gadget/function/usb_f_fs serial/usbserial serial/ftdi_sio; do
    cp "$modules/drivers/usb/$module.ko" "$root/lib/modules/"
done
cp "$modules/fs/configfs/configfs.ko" "$root/lib/modules/"
printf 'root:x:0:\nplugdev:x:46:\nplayer:x:1000:\n' >"$root/etc/group"

cat >"$root/init" <<'INIT'
#!/bin/sh
. /lib/guest.sh
log=/tmp/gadget.log
. /lib/gadget-lib.sh

# A full-speed bus, as an FT232R's; ftdi_sio binds the device first, as on a desktop.
gadget_init /lib/modules is_high_speed=0 && gadget_load /lib/modules usb_f_fs usbserial ftdi_sio &&
    gadget_create ftdi 0x0403 0x6001 FTDI "FT232R USB UART" PMC10FT1 &&
    gadget_set ftdi bcdDevice 0x0600 &&
    gadget_add_function ftdi ffs.ftdi && gadget_mount_ffs ftdi /dev/ffs-ftdi ||
    { echo "gadget set-up failed" >$results; poweroff -f; }
trigger=/tmp/trigger
ft232r-gadget /dev/ffs-ftdi $log $trigger 2>/tmp/gadget.err &
while [ ! -e /dev/ffs-ftdi/ep1 ]; do usleep 10000; done
plug() {
    gadget_bind ftdi && host=$(gadget_wait_host 0403 6001) &&
        while [ ! -e /sys/bus/usb/drivers/ftdi_sio/${host##*/}:1.0 ]; do usleep 10000; done
}
plug || { echo "the host side did not see the gadget" >$results; poweroff -f; }
busdev=$(printf '%03d/%03d' "$(cat "$host/busnum")" "$(cat "$host/devnum")")

# Each case starts with a line of its own in the device's log.
mark() { echo "case $1" >>$log; }
bound() { echo "ftdi_sio bound after $1: $(ls /sys/bus/usb/drivers/ftdi_sio | grep -c ':1\.0$')" >$results; }
replug() { mark replug; gadget_unbind ftdi && gadget_set ftdi bcdDevice "$1" && plug; }

run selfcheck ftdi-client i:0x0403:0x6001 0xff 0xf3 0xff
run walk pmc10 --port ftdi rd editbankname
bound "the run"
run channel pmc10 --port ftdi:s:0403:6001:PMC10FT1 pmcchannel 12
run busdev pmc10 --port "ftdi:d:$busdev" 0x1f3
run index env PMC10_PORT=ftdi:i:0403:6001:0 pmc10 0x1f3
run list pmc10 --list-ports

# Refused before anything is claimed or taken from its driver: the root hub by bus and
# device, another device's IDs, and the adapter once it reports a release number that no
# FTDI chip has (as a microcontroller that borrows the IDs would).
drivers() { for link in /sys/bus/usb/drivers/*/*:*; do printf '%s ' "${link#/sys/bus/usb/drivers/}"; done; }
echo "drivers before $(drivers)" >$results
run roothub pmc10 --port "ftdi:d:${busdev%/*}/001" 0x1f3
run foreign pmc10 --port ftdi:i:1d6b:0002 0x1f3
replug 0x0610
run borrowed pmc10 --port ftdi:i:0403:6001 0x1f3
run borrowed-list pmc10 --list-ports
echo "drivers after $(drivers)" >$results
replug 0x0600

# Two runs started together: the second waits for the first.
together concurrent "pmc10 --port ftdi r $(codes 12 0xf1)" "pmc10 --port ftdi r $(codes 12 0xf2)"

# A plain run of 40 strokes, for the timing figures.
run timing pmc10 --port ftdi r $(codes 40 0xf1)

# A signal while a key is held, SIGINT and each crash signal (ABRT SEGV BUS TRAP SYS FPE
# ILL): the device sends it as soon as it has the third code (pmc10 in the foreground, so
# that the signal is not ignored). ftdi_sio has the adapter back after each. Each signal
# is sent in two runs: on a loaded host the emulated device may be late enough to send it
# in the gap instead, and one of the two must land in a hold.
for number in 2 6 11 7 5 31 8 4; do
    for try in 1 2; do
        run "signal-$number-$try" sh -c 'echo "3 '$number' $$" >'$trigger'; exec pmc10 --port ftdi r "$@"' \
            sh $(codes 12 0xf1)
        bound "signal $number-$try"
    done
done

# The adapter stops taking bytes for 1.5 s, then 3 s, as the third code reaches the pins.
for ms in 1500 3000; do
    echo "3 stall $ms" >$trigger
    run "stall-$ms" pmc10 --port ftdi r $(codes 12 0xf1)
done

# The adapter unplugged in the middle of a run.
mark unplug
codes_seen() { grep -c "^[0-9]* out 0xf1 mode=bitbang mask=0x0f" $log; }
before=$(codes_seen)
(while [ "$(codes_seen)" -lt $((before + 5)) ]; do usleep 5000; done
    gadget_unbind ftdi; cut -d' ' -f1 /proc/uptime >/tmp/unplugged) &
timeout -s KILL 30 pmc10 --port ftdi r $(codes 30 0xf1) >/tmp/out 2>/tmp/err
status=$?
echo "unplug seconds $(cat /tmp/unplugged) $(cut -d' ' -f1 /proc/uptime)" >$results
report unplug $status
run none pmc10 --port ftdi rd editbankname

# Unplugged while pmc10 starts and opens it, at a few moments: status 1 and a reason.
for delay in 100000 150000 200000 250000; do
    plug
    (usleep $delay; gadget_unbind ftdi) &
    run unplug-opening timeout -s KILL 30 pmc10 --port ftdi r 0xf1 0xf1
done

# Plugged in again, for a user without access to /dev/bus/usb.
plug
run unprivileged su -s /bin/sh player -c 'pmc10 --port ftdi rd editbankname'

relay log <$log
relay gadget-err </tmp/gadget.err
finish
INIT
guest_boot 600 512
sed -n 's/^log //p' "$results" >"$work/gadget.log"

# The device's log lines of one case.
segment() { awk -v name="$1" '/^case / { on = ($2 == name); next } on' "$work/gadget.log"; }
# The bytes that reached the pins D0-D3 as outputs (bit-bang, mask 0x0f), with their times.
driven() { segment "$1" | awk '$2 == "out" && $4 == "mode=bitbang" && $5 == "mask=0x0f" { print $1, substr($3, 3) }'; }
bytes() { driven "$1" | cut -d' ' -f2 | tr '\n' ' ' | sed 's/ $//'; }

check "emulator: the client reads back the pins it wrote" "$(lines_of selfcheck out | tr '\n' ' ')" \
    "pins 0xff pins 0xf3 pins 0xff "
check "the kernel's ftdi_sio has the adapter back after a run" \
    "$(grep -c '^ftdi_sio bound after the run: 1$' "$results")" 1
check "--list-ports names the adapter by its serial number" \
    "$(lines_of list out | grep -c '^ftdi:s:0403:6001:PMC10FT1 .*FTDI 0403:6001')" 1

# Opening: the serial engine reset by libftdi, then bit-bang with no outputs, 0xff into the
# latch, then D0-D3 as outputs, and the first byte on them is the idle value. No serial
# byte is ever sent, and no modelled pin of D0-D3 is ever low before that first byte.
# Each form of the port text: ftdi, ftdi:s:..., ftdi:d:BUS/DEV, PMC10_PORT=ftdi:i:...
declare -A sent=([walk]=$(expect "${walk_codes[@]}") [channel]=$(expect "${channel_codes[@]}")
    [busdev]=$(expect f3) [index]=$(expect f3))
for name in walk channel busdev index; do
    check "$name: status" "$(status_of "$name")" 0
    check "$name: pin bytes" "$(bytes "$name")" "${sent[$name]}"
    # (awk reads to the end: a reader that quits early would fail the pipeline)
    opening=$(segment "$name" | awk '
        done || $2 == "ctrl" && $3 ~ /latency_timer|read_eeprom/ { next }   # ftdi_sio, given back
        $2 == "ctrl" { printf "%s(%s) ", $3, substr($4, 7) }
        $2 == "out" { printf "out(%s,%s) ", substr($3, 3), substr($5, 6) }
        $2 == "out" && $5 == "mask=0x0f" { done = 1 }')
    check "$name: requests at opening" "$opening" \
        "reset(0x0000) set_baudrate(0x4138) set_flow_ctrl(0x0000) set_bitmode(0x0100) out(ff,0x00) set_bitmode(0x010f) out(ff,0x0f) "
    early=$(segment "$name" | awk '
        done { next }
        $2 == "out" && $5 == "mask=0x0f" { done = 1; next }
        $2 == "out" && $4 == "mode=uart" { bad++ }
        $2 == "pins" && substr($3, 4, 1) != "f" { bad++ }
        END { print bad + 0 }')
    check "$name: no data line low and no serial byte before the first idle byte" "$early" 0
done

# Two runs together: one after the other, whole; one of them said that it waited.
check_either "two runs started together do not interleave" "$(bytes concurrent)" \
    "$(expect $(repeat 12 f1) f3)" "$(expect $(repeat 12 f2) f3)"
check "two runs together: both succeed" "$(status_of concurrent)" "0 0"
check "two runs together: the second says once that it waits" \
    "$(lines_of concurrent err | grep -c '^pmc10: the adapter FTDI 0403:6001 serial PMC10FT1 (USB [0-9/]*) is in use by another run; waiting for it$')" 1

# Holds and gaps as the device saw them: every code held at least 15 ms, and the idle
# value after a code kept at least 15 ms before the next code. The overshoot figures come
# from the 40 strokes of the plain run alone: procedures, and the last key of a run, have
# longer pauses of their own.
for name in walk channel busdev index concurrent timing; do
    driven "$name" | spans ff | sed "s/$/ $name/"
done >"$work/timing.txt"
short=$(awk '$2 < 15000' "$work/timing.txt" | wc -l)
check "every hold and gap at the device is at least 15.000 ms ($(wc -l <"$work/timing.txt") measured)" "$short" 0
for kind in hold gap; do
    echo "FTDI (emulated): $kind overshoot us: $(awk -v k=$kind '$1 == k && $4 == "timing" && $3 == "f1" {
        print $2 - 15000 }' "$work/timing.txt" | figures)"
done

# A signal during a hold: the process dies by it, the pins end idle, and ftdi_sio has the
# adapter back, after SIGINT as after each crash signal.
for number in 2 6 11 7 5 31 8 4; do
    sig=SIG$(kill -l "$number")
    in_hold=
    for try in 1 2; do
        name=signal-$number-$try
        check "$sig ($try): dies by the signal" "$(status_of "$name")" $((128 + number))
        check "$sig ($try): the last byte on the pins is the idle value" "$(bytes "$name" | awk '{ print $NF }')" ff
        check "$sig ($try): the pins end idle" \
            "$(segment "$name" | awk '$2 == "pins" { p = $3 } $2 == "out" { p = $6 } END { print p }')" "pins=0xff"
        check "$sig ($try): ftdi_sio has the adapter back" \
            "$(grep -c "^ftdi_sio bound after signal $number-$try: 1$" "$results")" 1
        signalled=$(segment "$name" | awk '$2 == "out" && $3 != "0xff" { code = $1 } $2 == "signal" { print $1 - code }')
        echo "$sig ($try): it came ${signalled:-?} us after the code"
        if [ "${signalled:-99999}" -lt 15000 ]; then in_hold=yes; fi
    done
    check "$sig: one of the two came during a hold" "$in_hold" yes
done
interrupted=$(driven signal-2-1 | awk 'code != "" { held = $1 - since; code = "" } $2 != "ff" { code = $2; since = $1 } END { print held }')
echo "SIGINT: the key was released ${interrupted} us after the code reached the pins"

# An adapter that stops taking bytes during a hold: the run offers it the idle value until
# it takes it, sends nothing else, and ends with status 1 and the reason.
for ms in 1500 3000; do
    name=stall-$ms
    check "stalled $ms ms: the one byte after the stall is the idle value, once it ends" \
        "$(segment "$name" | awk -v ms="$ms" '$2 == "stall" { since = $1; next }
            since && $2 == "out" { n++; byte = $3; late = $1 - since >= ms * 1000 }
            END { print n + 0, byte, late ? "after" : "before" }')" "1 0xff after"
    check "stalled $ms ms: the pins end idle" \
        "$(segment "$name" | awk '$2 == "out" { p = $6 } END { print p }')" "pins=0xff"
    echo "stalled $ms ms: $(lines_of "$name" err)"
done

# Runs that end with status 1 or 2 and the reason: a stalled adapter, one unplugged during
# the run, and those that stop before a byte: devices that are not an FTDI chip with a
# bit-bang mode (refused untouched), no adapter, no permission.
check_cases <<'CASES'
stall-1500 1 ^pmc10: the adapter FTDI 0403:6001 serial PMC10FT1 (USB [0-9/]*) took no byte for [0-9.]* s; its lines are idle again$
stall-3000 1 ^pmc10: the adapter FTDI 0403:6001 serial PMC10FT1 (USB [0-9/]*) took no byte for [0-9.]* s; its lines are idle again$
unplug 1 ^pmc10: the adapter FTDI 0403:6001 serial PMC10FT1 (USB [0-9/]*) was disconnected$
roothub 1 ^pmc10: USB [0-9]*/001 is 1d6b:0002 .*, not an FTDI chip with a bit-bang mode; pmc10 leaves it alone$
foreign 2 ^pmc10: cannot use port 'ftdi:i:1d6b:0002': 1d6b:0002 is not an FTDI adapter
borrowed 1 ^pmc10: USB [0-9/]* is 0403:6001 .* release 0610, not an FTDI chip
none 1 ^pmc10: no FTDI adapter is plugged in
unprivileged 1 ^pmc10: no permission to use the adapter .*60-pmc10-ftdi.rules.*plugdev
CASES
check "an adapter with another release number is listed as not usable, and why" \
    "$(lines_of borrowed-list out | grep -c '^ftdi:s:0403:6001:PMC10FT1 .* not usable: release 0610: a chip without a bit-bang mode$')" 1
check "runs that stop before a byte: no request to the adapter and no byte" \
    "$(for name in roothub foreign borrowed borrowed-list none unprivileged; do segment "$name"; done |
        grep -c ' ctrl reset\| out ')" 0
bound_before=$(sed -n 's/^drivers before //p' "$results")
check "refused devices: every interface keeps its driver ($bound_before)" \
    "$(sed -n 's/^drivers after //p' "$results")" "$bound_before"
check "refused devices: the hub and ftdi_sio were among them" \
    "$(grep -o 'hub/\|ftdi_sio/' <<<"$bound_before" | sort -u | tr '\n' ' ')" "ftdi_sio/ hub/ "

# Unplugged in the middle of a run: status 1 at once, one clear line, no hang.
check "unplugged: some strokes went out before" "$(bytes unplug | grep -c 'ff f1 ff')" 1
after=$(awk '/^unplug seconds/ { printf "%.0f", ($4 - $3) * 1000 }' "$results")
check "unplugged: the run ends within a second of the unplugging (${after} ms)" \
    "$([ "${after:-9999}" -le 1000 ] && echo yes)" yes

check "unplugged while opening: status 1 each time" "$(status_of unplug-opening | tr '\n' ' ')" "1 1 1 1 "
check "unplugged while opening: a reason each time" \
    "$(awk '/^case / { if (on && !said) bad++; on = ($2 == "unplug-opening"); said = 0 }
            on && /^err pmc10: / { said = 1 } END { print bad + 0 }' "$results")" 0
check "the device program reported no error" "$(grep -c '^gadget-err' "$results")" 0

checks_done "emulated FTDI adapter: all checks passed"
