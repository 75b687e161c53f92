# Shared by the emulated-PC tests: the decision to skip, and Debian's own kernel,
# unpacked once into the work folder. Source it after `set -euo pipefail`.

# is_static FILE: true when FILE is a statically linked executable (busybox for the guest).
is_static() { [ -f "$1" ] && ! readelf -l "$1" 2>/dev/null | grep -q INTERP; }

# skip_unless_ci WHAT: says what is missing and exits 77 (skipped), or 1 under CI, where
# a missing tool is a failure.
skip_unless_ci() {
    if [ "${CI:-}" = true ]; then
        echo "FAILED: CI needs $1"
        exit 1
    fi
    echo "skipped: needs $1"
    exit 77
}

# unpack_kernel CACHE WORK: the kernel that Debian's linux-image-amd64 points to, its
# package kept in CACHE and unpacked (not installed) in WORK/kernel; sets vmlinuz and
# modules (the folder of its modules).
unpack_kernel() {
    local cache=$1 work=$2 package deb
    package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ { print $2; exit }')
    deb=$(ls "$cache/${package}"_*.deb 2>/dev/null | head -1 || true)
    if [ -z "$deb" ]; then
        (cd "$cache" && apt-get download "$package" >/dev/null 2>&1)
        deb=$(ls "$cache/${package}"_*.deb | head -1)
    fi
    if [ ! -d "$work/kernel/boot" ]; then
        dpkg -x "$deb" "$work/kernel"
    fi
    vmlinuz=$(ls "$work"/kernel/boot/vmlinuz-*)
    modules=$(ls -d "$work"/kernel/lib/modules/*/kernel)
}
