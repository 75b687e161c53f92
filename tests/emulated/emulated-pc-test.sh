#!/usr/bin/env bash
# Boots a real Linux kernel on an emulated PC (QEMU, software emulation) with two parallel
# ports, at 0x378 and 0x278, runs pmc10 inside it, and reads every write to the ports'
# registers from QEMU's own trace. It shows that pmc10 puts exactly the expected bytes on
# the data register of the port chosen (--port, PMC10_PORT, the default), through ppdev
# (also when the port the kernel runs is named by its address) and through direct I/O;
# that it writes nothing without port access, with no port at the address, at an address
# where no port starts, without its lock or with a linked one, or behind the kernel's
# driver; that a port left in input mode gets the idle latch before its lines drive; that
# two runs started together never interleave their strokes and the second says it waits;
# that closed standard descriptors put no text on the port; and what --list-ports says to
# whom.
#
# Usage: emulated-pc-test.sh PMC10 WORK-DIR [CACHE-DIR]
# Needs qemu-system-x86_64, busybox (static), apt-get download and dpkg -x for the kernel;
# exits 77 (skipped) without the first two, except under CI (CI=true), where it fails.
# The kernel package is kept in CACHE-DIR.
set -euo pipefail

pmc10=$(realpath "$1")
# shellcheck source=kernel-lib.sh
source "$(dirname "$(realpath "$0")")/kernel-lib.sh"
guest_setup "$(realpath -m "$2")" "$(realpath -m "${3:-$2/cache}")"
work=$guest_work

# The guest: busybox, pmc10, the three parallel-port modules and the script below.
guest_applets umount rmmod dd printf su chgrp chmod mkdir ln
guest_program "$pmc10" pmc10
cp "$modules/drivers/parport/parport.ko" "$modules/drivers/parport/parport_pc.ko" \
    "$modules/drivers/char/ppdev.ko" "$root/lib/modules/"
printf 'root:x:0:0::/:/bin/sh\nplayer:x:1000:1000::/tmp:/bin/sh\nprinter:x:1001:1001::/tmp:/bin/sh\n' >"$root/etc/passwd"
printf 'root:x:0:\nlp:x:7:printer\nplayer:x:1000:\nprinter:x:1001:\n' >"$root/etc/group"

cat >"$root/init" <<'INIT'
#!/bin/sh
. /lib/guest.sh
insmod /lib/modules/parport.ko
insmod /lib/modules/parport_pc.ko io=0x378,0x278 irq=none,none
insmod /lib/modules/ppdev.ko
chgrp lp /dev/parport0 /dev/parport1
chmod 660 /dev/parport0 /dev/parport1

# A write of 0xd7 to the first port's control register starts the next case; then the
# register gets its usual value back, which direct I/O's probe restores after its test.
mark() {
    printf '\327' | dd of=/dev/port bs=1 seek=890 count=1 conv=notrunc 2>/dev/null
    printf '\014' | dd of=/dev/port bs=1 seek=890 count=1 conv=notrunc 2>/dev/null
}
run() {  # name words...
    name=$1; shift
    mark
    /bin/pmc10 "$@" >/tmp/out 2>/tmp/err
    report "$name" $?
}
concurrent() {  # name [options]: two long runs, the second started while the first runs
    name=$1; shift
    mark
    /bin/pmc10 "$@" r 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 >/dev/null 2>&1 &
    sleep 0.2
    /bin/pmc10 "$@" r 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 >/tmp/out 2>/tmp/err
    wait
    report "$name" 0
}

[ -c /dev/parport0 ] && [ -c /dev/parport1 ] && echo "has both ports" >$results
# Through ppdev: the default, --port, PMC10_PORT and --port over PMC10_PORT.
run ppdev-walk rd editbankname
run ppdev-port1 --port /dev/parport1 rd editbankname
PMC10_PORT=/dev/parport1 run ppdev-env-channel pmcchannel 12
PMC10_PORT=/dev/parport1 run ppdev-override -p parport0 0x1f3
concurrent ppdev-concurrent
mark
rm -f /tmp/out /tmp/err
touch /tmp/out /tmp/err
/bin/pmc10 rd editbankname >&- 2>&- <&-
report ppdev-closed $?
run list-root --list-ports
mark
su -s /bin/sh printer -c '/bin/pmc10 --list-ports' >/tmp/out 2>/tmp/err
report list-lp $?
mark
su -s /bin/sh player -c '/bin/pmc10 --list-ports' >/tmp/out 2>/tmp/err
report list-other $?
# A port the kernel runs, named by its address: through ppdev, for a member of lp.
mark
su -s /bin/sh printer -c '/bin/pmc10 -p 0x278 rd editbankname' >/tmp/out 2>/tmp/err
report ppdev-by-address $?
# The kernel's driver runs the port, but ppdev is not loaded: no writing behind its back.
rmmod ppdev
rm -f /dev/parport0 /dev/parport1
run behind-driver rd editbankname
# No kernel driver at all: direct I/O.
rmmod parport_pc
rmmod parport
run direct-walk rd editbankname
run direct-port1 --port 0x278 rd editbankname
run direct-hex 0x1f3
concurrent direct-concurrent
run direct-no-port --port 0x3bc menu
mount -t tmpfs -o ro tmpfs /run
run direct-no-lock menu
umount /run
# Addresses inside the ports' registers, where no port starts.
for address in 0x276 0x279 0x27a; do run "inside-$address" --port $address menu; done
# A lock that is a link elsewhere.
rm -f /run/pmc10-io-0x378.lock
ln -s /tmp/lock-target /run/pmc10-io-0x378.lock
run direct-symlink-lock menu
[ -e /tmp/lock-target ] && echo "lock target created" >$results
rm /run/pmc10-io-0x378.lock
# A port left in input mode (control bit 5) with a key code in its data latch.
mark
printf '\363' | dd of=/dev/port bs=1 seek=888 count=1 conv=notrunc 2>/dev/null
printf '\054' | dd of=/dev/port bs=1 seek=890 count=1 conv=notrunc 2>/dev/null
/bin/pmc10 r 0xf5 >/tmp/out 2>/tmp/err
report direct-input-mode $?
mark
su -s /bin/sh player -c '/bin/pmc10 rd editbankname' >/tmp/out 2>/tmp/err
report unprivileged $?
echo "end" >$results
poweroff -f
INIT
# Boot. QEMU writes every register write of the parallel port to its trace.
trace=$work/trace.log
rm -f "$trace"
guest_boot 300 256 \
    -chardev null,id=lpt1 -device isa-parallel,chardev=lpt1,iobase=0x378,index=0 \
    -chardev null,id=lpt2 -device isa-parallel,chardev=lpt2,iobase=0x278,index=1 \
    -D "$trace" -trace memory_region_ops_write

# The writes of each case: "first-port data|second-port data|every register write of
# either port as ADDRESS:VALUE", in order (the mark's own writes left out).
mapfile -t segments < <(grep "name 'parallel'" "$trace" | awk '
    {
        match($0, /addr 0x[0-9a-f]+/); addr = substr($0, RSTART + 7, RLENGTH - 7)
        match($0, /value 0x[0-9a-f]+/); val = substr($0, RSTART + 8, RLENGTH - 8)
        if (length(val) == 1) val = "0" val
        if (addr == "37a" && val == "d7") {
            if (n++) print line[1] "|" line[2] "|" line[3]
            line[1] = ""; line[2] = ""; line[3] = ""; restore = 1; next
        }
        if (restore && addr == "37a" && val == "0c") { restore = 0; next }
        restore = 0
        p = addr == "378" ? 1 : addr == "278" ? 2 : 0
        if (n && p) line[p] = line[p] (line[p] == "" ? "" : " ") val
        if (n) line[3] = line[3] (line[3] == "" ? "" : " ") addr ":" val
    }
    END { if (n) print line[1] "|" line[2] "|" line[3] }')

# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
walk=$(expect "${walk_codes[@]}")
channel=$(expect "${channel_codes[@]}")
hex=$(expect f3)
first=$(expect f1 f1 f1 f1 f1 f1 f1 f1 f1 f1 f1 f1 f3)
second=$(expect f2 f2 f2 f2 f2 f2 f2 f2 f2 f2 f2 f2 f3)
names=(ppdev-walk ppdev-port1 ppdev-env-channel ppdev-override ppdev-concurrent ppdev-closed
       list-root list-lp list-other ppdev-by-address behind-driver direct-walk direct-port1
       direct-hex direct-concurrent direct-no-port direct-no-lock inside-0x276 inside-0x279
       inside-0x27a direct-symlink-lock direct-input-mode unprivileged)
all_writes() {  # all_writes CASE: its writes, as the segments list them
    local i
    for i in "${!names[@]}"; do [ "${names[i]}" = "$1" ] && { echo "${segments[i]}"; return; }; done
}
segment() { local all; all=$(all_writes "$1"); echo "${all%|*}"; }  # the data writes
registers() { local all; all=$(all_writes "$1"); echo "${all##*|}"; }

check "both ports present in the first stage" "$(grep -c 'has both ports' "$results")" 1
check "every case ran" "${#segments[@]}" "${#names[@]}"
for access in ppdev direct; do
    check "$access: rd editbankname on the default port" "$(segment $access-walk)" "$walk|"
    check "$access: rd editbankname status" "$(status_of $access-walk)" 0
    check "$access: the second port chosen" "$(segment $access-port1)" "|$walk"
    concurrent=$(segment $access-concurrent)
    if [ "$concurrent" = "$first $second|" ]; then
        echo "ok: $access: two runs started together do not interleave"
    else
        check "$access: two runs started together do not interleave" "$concurrent" "$first $second|"
    fi
    check "$access: the second run says it waits" \
        "$(lines_of $access-concurrent err | grep -c 'in use by another run; waiting for it')" 1
done
check "PMC10_PORT chooses the port" "$(segment ppdev-env-channel)" "|$channel"
check "the kernel's port by its address, as a member of lp: through ppdev" \
    "$(segment ppdev-by-address) $(status_of ppdev-by-address)" "|$walk 0"
check "--port wins over PMC10_PORT" "$(segment ppdev-override)" "$hex|"
check "direct: 0x1f3 writes only its low byte" "$(segment direct-hex)" "$hex|"
check "closed descriptors: only strokes reach the port" "$(segment ppdev-closed)" "$walk|"
check "closed descriptors: status" "$(status_of ppdev-closed)" 0
check "list as root: status" "$(status_of list-root)" 0
check "list as root: both ports, the first the default" \
    "$(lines_of list-root out | grep -cE '^/dev/parport0 .* 0x378 .*default, ready$|^/dev/parport1 .* 0x278 .* ready$')" 2
check "list in group lp: ready" "$(lines_of list-lp out | grep -c 'ready$')" 2
check "list outside lp: status" "$(status_of list-other)" 1
check "list outside lp: the hint" "$(lines_of list-other out | grep -c 'usermod -aG lp')" 2
for inside in 0x276 0x279 0x27a; do
    check "$inside: refused" "$(status_of inside-$inside)" 2
    check "$inside: says where ports start" \
        "$(lines_of inside-$inside err | grep -c 'not where a parallel port starts')" 1
    check "$inside: not one write on either port" "$(all_writes inside-$inside)" "||"
done
check "a linked lock: no lock target made" "$(grep -c 'lock target created' "$results")" 0
check "a linked lock: says so" "$(lines_of direct-symlink-lock err | grep -c 'cannot take the lock')" 1
# Input mode: the code in the latch and bit 5, then pmc10: the idle latch before the lines
# drive, then only strokes.
check "input mode: status" "$(status_of direct-input-mode)" 0
check "input mode: only idle and strokes reach the latch" "$(segment direct-input-mode)" \
    "f3 ff $(expect f5 f3)|"
check "input mode: idle latched before the lines drive" "$(registers direct-input-mode | awk '{
        for (i = 3; i <= NF; i++) {
            split($i, w, ":")
            if (w[1] == "378" && !latch) latch = i
            if (w[1] == "37a" && !drive && !index("2367abef", substr(w[2], 1, 1))) drive = i
        }
        print ((latch && drive && latch < drive) ? "latch first" : "lines drive first: " $0)
    }')" "latch first"
for refused in behind-driver direct-no-port direct-no-lock direct-symlink-lock unprivileged; do
    check "$refused: status" "$(status_of $refused)" 1
    check "$refused: error line" "$(lines_of $refused err | sed -n 1p | cut -c1-7)" "pmc10: "
    check "$refused: no data-register write" "$(segment $refused)" "|"
done
check "behind-driver: says to load ppdev" "$(lines_of behind-driver err | grep -c 'modprobe ppdev')" 1
check "direct-no-port: says so" "$(lines_of direct-no-port err | grep -c 'no parallel port at 0x3bc')" 1
check "direct-no-lock: says so" "$(lines_of direct-no-lock err | grep -c 'cannot take the lock')" 1
[ "$failures" -eq 0 ] || exit 1
echo "emulated PC: all checks passed"
