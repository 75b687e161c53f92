#!/usr/bin/env bash
# Shared by the emulated-PC tests: the decision to skip, Debian's own kernel unpacked once
# into a cache that tests running at the same time share, the guest's initramfs, and the
# boot. Source it after `set -euo pipefail`; it brings ../support/checks.sh along.
#
#   guest_setup WORK CACHE [WHAT-ELSE COMMAND...]   skips without QEMU and busybox (and
#                                           unless COMMAND succeeds); sets work, vmlinuz
#                                           (the kernel to boot: the uncompressed one where
#                                           it can be had), modules and root (the
#                                           initramfs folder, with busybox, the usual
#                                           folders, /etc files and /lib/guest.sh for
#                                           the guest's /init)
#   guest_applets APPLET...                 busybox applets in the guest's /bin
#   guest_program FILE [NAME]               FILE in the guest's /bin, with the shared
#                                           libraries and loader it needs
#   guest_boot SECONDS MEMORY [QEMU-ARGS...] packs the initramfs, boots it, and leaves what
#                                           the guest wrote to its second serial port in
#                                           $results; fails unless the last line is "end"
#   status_of CASE, lines_of CASE out|err   a case's status and output lines in $results
#   check_cases <<<"CASE STATUS [PATTERN]"  each CASE's status, and one line of its standard
#                                           error that matches PATTERN
#
# The guest's /init sources /lib/guest.sh, defines mark CASE (how a case's start shows in
# what the test records), runs its cases with run CASE COMMAND... (or together CASE FIRST
# SECOND for two runs started at once), writes its results to $results (/dev/ttyS1), and
# calls finish (a line "end", then power off).

# shellcheck source=../support/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

# is_static FILE: true when FILE is a statically linked executable (busybox for the guest).
is_static() {
    local headers
    [ -f "$1" ] && headers=$(readelf -l "$1" 2>/dev/null) && [[ $headers != *INTERP* ]]
}

# unpack_kernel CACHE: the kernel that Debian's linux-image-amd64 points to, its package
# downloaded and unpacked (not installed) once into CACHE, under a lock, so that tests
# started together share it; sets vmlinuz and modules (the folder of its modules).
unpack_kernel() {
    local cache=$1 package debs tree
    package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ && !p { print $2; p = 1 }')
    [ -n "$package" ] || { echo "apt-cache names no linux-image package"; exit 1; }
    tree=$cache/$package
    (
        flock 9
        if [ ! -d "$tree/boot" ]; then
            shopt -s nullglob
            debs=("$cache/${package}"_*.deb)
            if [ ${#debs[@]} -eq 0 ]; then
                (cd "$cache" && apt-get download "$package" >/dev/null 2>&1) ||
                    { echo "cannot download $package"; exit 1; }
                debs=("$cache/${package}"_*.deb)
            fi
            rm -rf "$tree.partial"
            dpkg -x "${debs[0]}" "$tree.partial"
            mv "$tree.partial" "$tree"
        fi
        if [ ! -e "$tree/vmlinux" ]; then extract_vmlinux "$tree"/boot/vmlinuz-* "$tree/vmlinux"; fi
    ) 9>"$cache/.lock"
    vmlinuz=$(echo "$tree"/boot/vmlinuz-*)
    modules=$(echo "$tree"/lib/modules/*/kernel)
    [ -f "$vmlinuz" ] && [ -d "$modules" ] || { echo "no kernel in $tree"; exit 1; }
    # The uncompressed kernel boots straight into its PVH entry: under software emulation
    # that is 4 to 5 s sooner than the compressed one, which unpacks itself first.
    if [ -s "$tree/vmlinux" ]; then vmlinuz=$tree/vmlinux; fi
}

# extract_vmlinux BZIMAGE OUT: the ELF kernel inside BZIMAGE (Debian's are xz-compressed)
# into OUT, when it has a PVH entry to boot from; nothing otherwise.
extract_vmlinux() {
    local offset notes
    offset=$(LC_ALL=C grep -abo $'\xfd7zXZ' "$1" | awk -F: 'NR == 1 { print $1 }') || true
    [ -n "$offset" ] || return 0
    tail -c +$((offset + 1)) "$1" | xz -dc --single-stream >"$2.tmp" 2>/dev/null || true
    notes=$(readelf -n "$2.tmp" 2>/dev/null) || true
    if grep -qE '^ *Xen .*(0x00000012|PHYS32)' <<<"$notes"; then
        mv "$2.tmp" "$2"
    else
        rm -f "$2.tmp"
    fi
}

busybox=/bin/busybox

guest_setup() {  # WORK CACHE [WHAT-ELSE COMMAND...]
    if ! command -v qemu-system-x86_64 >/dev/null || ! is_static "$busybox" ||
        { [ $# -gt 3 ] && ! "${@:4}" >/dev/null 2>&1; }; then
        skip_unless_ci "qemu-system-x86, busybox-static${3:+, $3}"
    fi
    work=$1
    mkdir -p "$1" "$2"
    unpack_kernel "$2"
    root=$work/initramfs
    rm -rf "$root"
    mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc,run/lock,lib/modules}
    cp "$busybox" "$root/bin/busybox"
    chmod 1777 "$root/tmp" "$root/run/lock"
    printf 'root:x:0:0::/:/bin/sh\nplayer:x:1000:1000::/tmp:/bin/sh\n' >"$root/etc/passwd"
    printf 'root:x:0:\nplayer:x:1000:\n' >"$root/etc/group"
    guest_applets sh mount insmod cat rm sleep poweroff echo grep
    # What every guest's /init sources first: the file systems, where the results go, and
    # the report of a case (its status, then what it wrote to /tmp/out and /tmp/err).
    cat >"$root/lib/guest.sh" <<'GUEST'
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
results=/dev/ttyS1
relay() { while read -r line; do echo "$1 $line" >$results; done; }  # PREFIX <lines
report() {  # name status
    echo "case $1 status $2" >$results
    relay out </tmp/out
    relay err </tmp/err
}
run() {  # name command...
    local case_=$1
    shift
    mark "$case_"
    "$@" >/tmp/out 2>/tmp/err
    report "$case_" $?
}
# Two runs started together, each a command line for sh: the status is "FIRST SECOND",
# and the standard error of both is the case's.
together() {  # name first second
    mark "$1"
    sh -c "$2" >/dev/null 2>/tmp/err1 &
    first=$!
    sh -c "$3" >/dev/null 2>/tmp/err2
    second=$?
    wait $first
    first=$?
    cat /tmp/err1 /tmp/err2 >/tmp/err
    : >/tmp/out
    report "$1" "$first $second"
}
finish() { echo end >$results; poweroff -f; }
codes() { n=$1; while [ "$n" -gt 0 ]; do printf '%s ' "$2"; n=$((n - 1)); done; }  # N CODE
GUEST
}

status_of() { grep "^case $1 status" "$results" | cut -d' ' -f4-; }
lines_of() {
    awk -v c="$1" -v k="$2" '$1 == "case" { on = ($2 == c) } on && $1 == k { print substr($0, length(k) + 2) }' \
        "$results"
}
check_cases() {
    local name status pattern
    while read -r name status pattern; do
        check "$name: status" "$(status_of "$name")" "$status"
        [ -z "$pattern" ] || check "$name: says why" "$(lines_of "$name" err | grep -c -- "$pattern")" 1
    done
}

guest_applets() { local applet; for applet; do ln -sf busybox "$root/bin/$applet"; done; }

# The libraries FILE needs: those it is linked with, and those it opens by their SONAME
# when first used (named in its text), each with those it needs in turn.
libraries_of() {  # FILE
    local soname path
    ldd "$1" | grep -o '/[^ ]*'
    for soname in $(strings -a "$1" | grep -oE 'lib[a-z0-9_+-]+\.so\.[0-9]+' | sort -u); do
        path=$(ldconfig -p | awk -v s="$soname" '$1 == s && /x86-64/ { p = $NF } END { print p }')
        [ -n "$path" ] || continue
        echo "$path"
        ldd "$path" | grep -o '/[^ ]*'
    done
}

guest_program() {  # FILE [NAME]
    local library libraries
    cp "$1" "$root/bin/${2:-$(basename "$1")}"
    if is_static "$1"; then return; fi
    libraries=$(libraries_of "$1" | sort -u)
    for library in $libraries; do
        mkdir -p "$root$(dirname "$library")"
        cp -L "$library" "$root$library"
    done
}

# Software emulation: the same on every host (KVM inside a virtual machine can hang). On
# a busy host the emulated timer can fall behind the kernel's check of it at boot, which
# then panics: no_timer_check skips that check, as for any virtual machine.
guest_boot() {  # SECONDS MEMORY [QEMU-ARGS...]
    local seconds=$1 memory=$2
    shift 2
    chmod +x "$root/init"
    (cd "$root" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initramfs.gz"
    results=$work/results.txt
    rm -f "$results"
    timeout "$seconds" qemu-system-x86_64 -M pc -accel tcg -m "$memory" -smp 1 -nographic \
        -no-reboot -kernel "$vmlinuz" -initrd "$work/initramfs.gz" \
        -append "console=ttyS0 quiet panic=-1 rdinit=/init no_timer_check" \
        -serial "file:$work/console.log" -serial "file:$results" \
        -monitor none "$@" >/dev/null 2>&1 </dev/null || true
    touch "$results"
    sed -i 's/\r//g' "$results"
    if ! grep -qx end "$results"; then
        echo "the emulated PC did not finish:"
        tail -n 20 "$work/console.log"
        tail -n 20 "$results"
        exit 1
    fi
}
