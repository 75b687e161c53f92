#!/usr/bin/env bash
# Boots a real Linux kernel on an emulated PC (QEMU, software emulation) with a parallel
# port at 0x378, runs the statically linked pmc10 inside it, and reads every write to the
# port's registers from QEMU's own trace. It shows that pmc10 puts exactly the expected
# bytes on the data register through ppdev and through direct I/O, that it writes nothing
# without port access, and that two runs started together never interleave their strokes.
#
# Usage: emulated-pc-test.sh PMC10 WORK-DIR [CACHE-DIR]
# Needs qemu-system-x86_64, busybox (static), apt-get download and dpkg -x for the kernel;
# exits 77 (skipped) without the first two. The kernel package is kept in CACHE-DIR.
set -euo pipefail

pmc10=$(realpath "$1")
work=$(realpath -m "$2")
cache=$(realpath -m "${3:-$work/cache}")
busybox=/bin/busybox
mkdir -p "$work" "$cache"

static() { [ -f "$1" ] && ! readelf -l "$1" 2>/dev/null | grep -q INTERP; }
if ! command -v qemu-system-x86_64 >/dev/null || ! static "$busybox"; then
    echo "skipped: needs qemu-system-x86 and busybox-static"
    exit 77
fi
static "$pmc10" || { echo "$pmc10 is not statically linked"; exit 1; }

# The kernel that Debian's linux-image-amd64 points to, unpacked, not installed.
package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ { print $2; exit }')
deb=$(ls "$cache/${package}"_*.deb 2>/dev/null | head -1 || true)
if [ -z "$deb" ]; then
    (cd "$cache" && apt-get download "$package" >/dev/null 2>&1)
    deb=$(ls "$cache/${package}"_*.deb | head -1)
fi
kernel=$work/kernel
if [ ! -d "$kernel/boot" ]; then
    dpkg -x "$deb" "$kernel"
fi
vmlinuz=$(ls "$kernel"/boot/vmlinuz-*)
modules=$(ls -d "$kernel"/lib/modules/*/kernel)

# The initramfs: busybox, pmc10, the three parallel-port modules and the script below.
root=$work/initramfs
rm -rf "$root" && mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc,run/lock,lib/modules}
cp "$busybox" "$root/bin/busybox"
for applet in sh mount insmod dd printf su cat rm sleep poweroff echo; do
    ln -s busybox "$root/bin/$applet"
done
cp "$pmc10" "$root/bin/pmc10"
cp "$modules/drivers/parport/parport.ko" "$modules/drivers/parport/parport_pc.ko" \
    "$modules/drivers/char/ppdev.ko" "$root/lib/modules/"
printf 'root:x:0:0::/:/bin/sh\nplayer:x:1000:1000::/tmp:/bin/sh\n' >"$root/etc/passwd"
printf 'root:x:0:\nlp:x:7:\nplayer:x:1000:\n' >"$root/etc/group"
chmod 1777 "$root/tmp" "$root/run/lock"

cat >"$root/init" <<'INIT'
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
insmod /lib/modules/parport.ko
insmod /lib/modules/parport_pc.ko io=0x378 irq=none
insmod /lib/modules/ppdev.ko
results=/dev/ttyS1

# A write of 0xc5 to the control register (0x37a), which pmc10 never touches, starts the
# next case in the trace.
mark() { printf '\305' | dd of=/dev/port bs=1 seek=890 count=1 conv=notrunc 2>/dev/null; }
report() {  # name status
    echo "case $1 status $2" >$results
    while read -r line; do echo "out $line" >$results; done </tmp/out
    while read -r line; do echo "err $line" >$results; done </tmp/err
}
run() {  # name words...
    name=$1; shift
    mark
    /bin/pmc10 "$@" >/tmp/out 2>/tmp/err
    report "$name" $?
}
concurrent() {  # name: two long runs started together, different keys
    mark
    /bin/pmc10 r 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 0xf1 >/dev/null 2>&1 &
    /bin/pmc10 r 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 0xf2 >/dev/null 2>&1 &
    wait
    echo "case $1 status 0" >$results
}
cases() {  # prefix
    run "$1-walk" rd editbankname
    run "$1-channel" pmcchannel 12
    run "$1-hex" 0x1f3
    concurrent "$1-concurrent"
}

[ -c /dev/parport0 ] && echo "has /dev/parport0" >$results
cases ppdev
rm /dev/parport0
cases direct
mark
su -s /bin/sh player -c '/bin/pmc10 rd editbankname' >/tmp/out 2>/tmp/err
report unprivileged $?
echo "end" >$results
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initramfs.gz"

# Boot. QEMU writes every register write of the parallel port to its trace.
trace=$work/trace.log results=$work/results.txt
rm -f "$trace" "$results"
timeout 300 qemu-system-x86_64 -M pc -accel tcg -m 256 -smp 1 -nographic -no-reboot \
    -kernel "$vmlinuz" -initrd "$work/initramfs.gz" \
    -append "console=ttyS0 quiet panic=-1 rdinit=/init" \
    -serial "file:$work/console.log" -serial "file:$results" \
    -chardev null,id=lpt -device isa-parallel,chardev=lpt,iobase=0x378 \
    -monitor none -D "$trace" -trace parallel_ioport_write >/dev/null 2>&1 </dev/null
tr -d '\r' <"$results" >"$results.clean" && mv "$results.clean" "$results"
grep -qx end "$results" || { echo "the emulated PC did not finish:"; tail -20 "$work/console.log"; exit 1; }

# The data-register writes of each case: the writes after its marker.
mapfile -t segments < <(awk '
    /parallel_ioport_write/ {
        match($0, /addr 0x[0-9a-f]+/); addr = substr($0, RSTART + 5, RLENGTH - 5)
        match($0, /val 0x[0-9a-f]+/); val = substr($0, RSTART + 6, RLENGTH - 6)
        if (addr + 0 == 2 && val == "c5") { if (n++) print line; line = "" ; next }
        if (n && addr + 0 == 0) line = line (line == "" ? "" : " ") val
    }
    END { if (n) print line }' "$trace")

# Expected writes, written out from the stroke pattern: idle, code, idle x4 (waits between).
stroke() { for code; do printf 'ff %s ff ff ff ff ' "$code"; done; }
expect() { stroke "$@" | sed 's/ $//'; }
walk=$(expect fb fb f3 fb f5 f5 f3 f5 f5 f3)
channel=$(expect fb fb fb fb f3 f3 fb fb f1 fe f5 f5 f5 f3 f5 f3 f5 f5 f5 f5 f3)
hex=$(expect f3)
first=$(expect f1 f1 f1 f1 f1 f1 f1 f1 f1 f1 f1 f1 f3)
second=$(expect f2 f2 f2 f2 f2 f2 f2 f2 f2 f2 f2 f2 f3)

# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"
status_of() { grep "^case $1 status" "$results" | awk '{ print $4 }'; }

check "/dev/parport0 present in the first boot stage" "$(grep -c 'has /dev/parport0' "$results")" 1
check "nine cases ran" "${#segments[@]}" 9
i=0
for access in ppdev direct; do
    check "$access: rd editbankname writes" "${segments[i]}" "$walk"
    check "$access: rd editbankname status" "$(status_of "$access-walk")" 0
    check "$access: pmcchannel 12 writes" "${segments[i + 1]}" "$channel"
    check "$access: 0x1f3 writes only its low byte" "${segments[i + 2]}" "$hex"
    concurrent=${segments[i + 3]}
    if [ "$concurrent" = "$first $second" ] || [ "$concurrent" = "$second $first" ]; then
        echo "ok: $access: two runs started together do not interleave"
    else
        check "$access: two runs started together do not interleave" "$concurrent" "$first $second"
    fi
    i=$((i + 4))
done
check "unprivileged: status" "$(status_of unprivileged)" 1
check "unprivileged: error line" "$(grep -m1 '^err ' "$results" | cut -c5-)" \
    "Error during initialization of WinIo."
check "unprivileged: no data-register write" "${segments[8]}" ""
[ "$failures" -eq 0 ] || exit 1
echo "emulated PC: all checks passed"
