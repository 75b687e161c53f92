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
# Every case is one mark and one report, in the same order.
poke() { printf "$2" | dd of=/dev/port bs=1 seek="$1" count=1 conv=notrunc 2>/dev/null; }
mark() { poke 890 '\327' && poke 890 '\014'; }

[ -c /dev/parport0 ] && [ -c /dev/parport1 ] && echo "has both ports" >$results
# Through ppdev: the default, --port, PMC10_PORT and --port over PMC10_PORT.
run ppdev-walk pmc10 rd editbankname
run ppdev-port1 pmc10 --port /dev/parport1 rd editbankname
PMC10_PORT=/dev/parport1 run ppdev-env-channel pmc10 pmcchannel 12
PMC10_PORT=/dev/parport1 run ppdev-override pmc10 -p parport0 0x1f3
# Two long runs, the second started while the first runs.
together ppdev-concurrent "pmc10 r $(codes 12 0xf1)" "sleep 0.2; pmc10 r $(codes 12 0xf2)"
run ppdev-closed sh -c 'exec pmc10 rd editbankname >&- 2>&- <&-'
run list-root pmc10 --list-ports
run list-lp su -s /bin/sh printer -c 'pmc10 --list-ports'
run list-other su -s /bin/sh player -c 'pmc10 --list-ports'
# A port the kernel runs, named by its address: through ppdev, for a member of lp.
run ppdev-by-address su -s /bin/sh printer -c 'pmc10 -p 0x278 rd editbankname'
# The kernel's driver runs the port, but ppdev is not loaded: no writing behind its back.
rmmod ppdev
rm -f /dev/parport0 /dev/parport1
run behind-driver pmc10 rd editbankname
# No kernel driver at all: direct I/O.
rmmod parport_pc
rmmod parport
run direct-walk pmc10 rd editbankname
run direct-port1 pmc10 --port 0x278 rd editbankname
run direct-hex pmc10 0x1f3
together direct-concurrent "pmc10 r $(codes 12 0xf1)" "sleep 0.2; pmc10 r $(codes 12 0xf2)"
run direct-no-port pmc10 --port 0x3bc menu
mount -t tmpfs -o ro tmpfs /run
run direct-no-lock pmc10 menu
umount /run
# Addresses inside the ports' registers, where no port starts.
for address in 0x276 0x279 0x27a; do run "inside-$address" pmc10 --port $address menu; done
# A lock that is a link elsewhere.
rm -f /run/pmc10-io-0x378.lock
ln -s /tmp/lock-target /run/pmc10-io-0x378.lock
run direct-symlink-lock pmc10 menu
[ -e /tmp/lock-target ] && echo "lock target created" >$results
rm /run/pmc10-io-0x378.lock
# A port left in input mode (control bit 5) with a key code in its data latch.
input_mode() { poke 888 '\363' && poke 890 '\054' && pmc10 r 0xf5; }
run direct-input-mode input_mode
run unprivileged su -s /bin/sh player -c 'pmc10 rd editbankname'
finish
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

walk=$(expect "${walk_codes[@]}")
hex=$(expect f3)
# The cases in the order they ran: each reported once, after its mark.
mapfile -t names < <(awk '$1 == "case" { print $2 }' "$results")
declare -A writes=()
for i in "${!names[@]}"; do writes[${names[i]}]=${segments[i]:-}; done
all_writes() { echo "${writes[$1]:-}"; }
segment() { local all; all=$(all_writes "$1"); echo "${all%|*}"; }  # the data writes
registers() { local all; all=$(all_writes "$1"); echo "${all##*|}"; }

check "both ports present in the first stage" "$(grep -c 'has both ports' "$results")" 1
check "every case ran" "${#segments[@]} ${#names[@]}" "23 23"
for access in ppdev direct; do
    check "$access: rd editbankname on the default port" "$(segment $access-walk)" "$walk|"
    check "$access: the second port chosen" "$(segment $access-port1)" "|$walk"
    check "$access: two runs started together do not interleave" "$(segment $access-concurrent)" \
        "$(expect $(repeat 12 f1) f3) $(expect $(repeat 12 f2) f3)|"
    check "$access: the second run says it waits" \
        "$(lines_of $access-concurrent err | grep -c 'in use by another run; waiting for it')" 1
done
check "PMC10_PORT chooses the port" "$(segment ppdev-env-channel)" "|$(expect "${channel_codes[@]}")"
check "the kernel's port by its address, as a member of lp: through ppdev" "$(segment ppdev-by-address)" "|$walk"
check "--port wins over PMC10_PORT" "$(segment ppdev-override)" "$hex|"
check "direct: 0x1f3 writes only its low byte" "$(segment direct-hex)" "$hex|"
check "closed descriptors: only strokes reach the port" "$(segment ppdev-closed)" "$walk|"
check "list as root: both ports, the first the default" \
    "$(lines_of list-root out | grep -cE '^/dev/parport0 .* 0x378 .*default, ready$|^/dev/parport1 .* 0x278 .* ready$')" 2
check "list in group lp: ready" "$(lines_of list-lp out | grep -c 'ready$')" 2
check "list outside lp: the hint" "$(lines_of list-other out | grep -c 'usermod -aG lp')" 2
for inside in 0x276 0x279 0x27a; do check "$inside: not one write on either port" "$(all_writes inside-$inside)" "||"; done
check "a linked lock: no lock target made" "$(grep -c 'lock target created' "$results")" 0
# Input mode: the code in the latch and bit 5, then pmc10: the idle latch before the lines
# drive, then only strokes.
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
    check "$refused: error line" "$(lines_of $refused err | sed -n 1p | cut -c1-7)" "pmc10: "
    check "$refused: no data-register write" "$(segment $refused)" "|"
done
check_cases <<'CASES'
ppdev-walk 0
direct-walk 0
ppdev-by-address 0
ppdev-closed 0
list-root 0
list-other 1
direct-input-mode 0
inside-0x276 2 not where a parallel port starts
inside-0x279 2 not where a parallel port starts
inside-0x27a 2 not where a parallel port starts
behind-driver 1 modprobe ppdev
direct-no-port 1 no parallel port at 0x3bc
direct-no-lock 1 cannot take the lock
direct-symlink-lock 1 cannot take the lock
unprivileged 1
CASES
checks_done "emulated PC: all checks passed"
