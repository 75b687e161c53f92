#!/usr/bin/env bash
# Boots Debian's own kernel on an emulated PC (QEMU) with a USB MCP2221A made of a configfs
# HID gadget on dummy_hcd: the kernel's hid-mcp2221 driver binds to it and offers its four
# GP pins as a gpiochip, and mcp2221-gadget.c answers the driver's commands and logs every
# change of the pins with its time. First a small uAPI client (gpio-lines.c) shows that the
# chip works; then the real pmc10 drives it with --port gpio:...
#
# Usage: gpio-test.sh PMC10|- WORK-DIR [CACHE-DIR]     ("-": the chip checks only)
# Needs qemu-system-x86_64, busybox (static), a C compiler with static libc, apt-get
# download and dpkg -x for the kernel; exits 77 (skipped) without the first two, unless
# CI=true, where a missing tool is a failure. The kernel package is kept in CACHE-DIR.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
pmc10=$1
[ "$pmc10" = - ] || pmc10=$(realpath "$pmc10")
work=$(realpath -m "$2")
cache=$(realpath -m "${3:-$work/cache}")
busybox=/bin/busybox
mkdir -p "$work" "$cache"

static() { [ -f "$1" ] && ! readelf -l "$1" 2>/dev/null | grep -q INTERP; }
if ! command -v qemu-system-x86_64 >/dev/null || ! static "$busybox"; then
    if [ "${CI:-}" = true ]; then
        echo "FAILED: CI needs qemu-system-x86 and busybox-static for the GPIO test"
        exit 1
    fi
    echo "skipped: needs qemu-system-x86 and busybox-static"
    exit 77
fi

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

# The modules in load order, each after those it depends on (read from its .modinfo).
declare -A module_path=() loaded=()
while read -r file; do
    name=$(basename "$file" .ko)
    module_path[${name//-/_}]=$file
done < <(find "$modules" -name '*.ko')
load_order=()
add_module() {
    local name=${1//-/_} dep
    [ -n "${loaded[$name]:-}" ] && return
    [ -n "${module_path[$name]:-}" ] || { echo "Debian's kernel has no module $1"; exit 1; }
    for dep in $(strings -a "${module_path[$name]}" | sed -n 's/^depends=//p' | tr , ' '); do
        add_module "$dep"
    done
    loaded[$name]=1
    load_order+=("${module_path[$name]}")
}
for module in dummy_hcd libcomposite usb_f_hid hid usbhid hid-mcp2221; do
    add_module "$module"
done

# The guest's programs: the emulated chip and the uAPI client, statically linked.
for program in mcp2221-gadget gpio-lines; do
    cc -std=c11 -D_GNU_SOURCE -O2 -Wall -Wextra -static -o "$work/$program" \
        "$here/usb/$program.c"
done

# The initramfs: busybox, the programs, the modules, and the script below.
root=$work/initramfs
rm -rf "$root" && mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc,lib/modules}
cp "$busybox" "$root/bin/busybox"
for applet in sh mount insmod cat rm sleep poweroff echo ls kill grep seq dmesg; do
    ln -s busybox "$root/bin/$applet"
done
cp "$work/mcp2221-gadget" "$work/gpio-lines" "$root/bin/"
cp "$here/usb/gadget-lib.sh" "$root/lib/"
for file in "${load_order[@]}"; do
    cp "$file" "$root/lib/modules/"
    basename "$file" >>"$root/lib/modules/order"
done
if [ "$pmc10" != - ]; then
    # A dynamically linked pmc10 brings its shared libraries and the loader along.
    cp "$pmc10" "$root/bin/pmc10"
    if ! static "$pmc10"; then
        for lib in $(ldd "$pmc10" | grep -o '/[^ ]*'); do
            mkdir -p "$root$(dirname "$lib")"
            cp -L "$lib" "$root$lib"
        done
    fi
fi
printf 'root:x:0:0::/:/bin/sh\nplayer:x:1000:1000::/tmp:/bin/sh\n' >"$root/etc/passwd"
printf 'root:x:0:\nplayer:x:1000:\n' >"$root/etc/group"
chmod 1777 "$root/tmp"

cat >"$root/init" <<'INIT'
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
results=/dev/ttyS1
for module in $(cat /lib/modules/order); do
    insmod /lib/modules/$module || echo "insmod $module failed" >$results
done

# The MCP2221A: VID:PID 04d8:00dd, one HID interface with 64-byte vendor reports.
. /lib/gadget-lib.sh
descriptor='\006\000\377\011\001\241\001\031\001\051\100\025\000\046\377\000\165\010'
descriptor="$descriptor"'\225\100\201\002\031\001\051\100\221\002\300'
gadget_create mcp2221 0x04d8 0x00dd "Microchip Technology Inc." \
    "MCP2221 USB-I2C/UART Combo" 0001234567 &&
    gadget_add_function mcp2221 hid.usb0 protocol=0 subclass=0 report_length=64 \
        "report_desc=$descriptor" &&
    gadget_bind mcp2221 || echo "gadget set-up failed" >$results
pins=/tmp/pins.log
MCP2221_TRACE=1 /bin/mcp2221-gadget /dev/hidg0 $pins 2>/tmp/gadget.err &

chip=
for i in $(seq 1 300); do
    chip=$(gpio-lines find mcp2221_gpio) && break
    sleep 0.1
done
echo "chip $chip at $(cat /proc/uptime)" >$results
chip=${chip%% *}
name=${chip#/dev/}

mark() { echo "case $1" >>$pins; }
report() {  # name status
    echo "case $1 status $2" >$results
    while read -r line; do echo "out $line" >$results; done </tmp/out
    while read -r line; do echo "err $line" >$results; done </tmp/err
}
run() {  # name port words...
    name_=$1 port=$2; shift 2
    mark "$name_"
    /bin/pmc10 --port "$port" "$@" >/tmp/out 2>/tmp/err
    report "$name_" $?
}

# The chip alone: idle, then two codes and back, 20 ms apart.
mark chip
gpio-lines walk "$chip" 20 ff fa ff f0 ff >/tmp/out 2>/tmp/err
report chip $?

if [ -x /bin/pmc10 ]; then
    port=gpio:$name:0,1,2,3
    run walk "$port" rd editbankname
    run channel "$port" pmcchannel 12
    # SIGINT while the first key is held: the emulated chip sends it the moment it sees
    # the key on its pins.
    mark interrupt
    sh -c 'echo $$ >/tmp/interrupt-pid; exec /bin/pmc10 --port "$0" r 0xf1 0xf2 0xf3' \
        "$port" >/tmp/out 2>/tmp/err
    report interrupt $?
    run label "gpio:mcp2221_gpio:0,1,2,3" r 0xf5
    run active-low "$port;active-low" rd editbankname
    mark restore
    gpio-lines walk "$chip" 0 ff ff
    # Lines held by another program.
    gpio-lines hold "$chip" other-app >/tmp/held &
    holder=$!
    while ! grep -q held /tmp/held; do sleep 0.05; done
    run busy "$port" rd editbankname
    kill $holder
    wait $holder
    run missing gpio:gpiochip9:0,1,2,3 rd editbankname
    run too-few "gpio:$name:0,1,2,4" rd editbankname
    run list - --list-ports
fi

mark end
sleep 0.2
while read -r line; do echo "pin $line" >$results; done <$pins
while read -r line; do echo "gadget $line" >$results; done </tmp/gadget.err
dmesg | while read -r line; do echo "kernel $line" >$results; done
echo "end" >$results
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initramfs.gz"

results=$work/results.txt
rm -f "$results"
timeout 600 qemu-system-x86_64 -M pc -accel tcg -m 512 -smp 1 -nographic -no-reboot \
    -kernel "$vmlinuz" -initrd "$work/initramfs.gz" \
    -append "console=ttyS0 quiet panic=-1 rdinit=/init" \
    -serial "file:$work/console.log" -serial "file:$results" \
    -monitor none >/dev/null 2>&1 </dev/null || true
tr -d '\r' <"$results" >"$results.clean" && mv "$results.clean" "$results"
grep -qx end "$results" || { echo "the emulated PC did not finish:"; tail -20 "$work/console.log"; exit 1; }
cat "$results"
