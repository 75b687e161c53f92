# USB devices made in an emulated PC: the kernel's dummy_hcd joins a USB device controller
# (the gadget side) to a USB host controller (the host side) inside the same kernel, and a
# gadget assembled in configfs plugs into it. The host side then sees an ordinary USB
# device that a program in the guest (FunctionFS) or a kernel function (hid, acm, ...)
# plays. For busybox sh in the guest's initramfs; source it from /init.
#
#   gadget_init MODULE-DIR [dummy_hcd parameters...]
#   gadget_create NAME VID PID BCD MANUFACTURER PRODUCT SERIAL
#   gadget_add_function NAME FUNCTION [ATTRIBUTE=VALUE | ATTRIBUTE<FILE ...]
#   gadget_mount_ffs INSTANCE DIR          (for a FunctionFS function "ffs.INSTANCE")
#   gadget_bind NAME [UDC]    gadget_unbind NAME    gadget_remove NAME
#   gadget_wait_host VID PID [SECONDS]     prints the host-side device's sysfs directory
#
# Every function returns non-zero, with a line on standard error, when a step fails.

GADGET_CONFIGFS=/sys/kernel/config/usb_gadget

gadget_fail() {
    echo "gadget: $*" >&2
    return 1
}

# Loads the modules that make the gadget side and the host side from MODULE-DIR, which
# holds them flat (usb-common.ko, usbcore.ko, ...); a module missing there is taken as
# built into the kernel. Parameters after the directory go to dummy_hcd, e.g.
# is_high_speed=0 for a full-speed-only bus.
gadget_init() {
    moddir=$1
    shift
    for module in usb-common usbcore udc-core dummy_hcd configfs libcomposite; do
        [ -f "$moddir/$module.ko" ] || continue
        if [ "$module" = dummy_hcd ]; then
            insmod "$moddir/$module.ko" "$@" || return 1
        else
            insmod "$moddir/$module.ko" || return 1
        fi
    done
    grep -q configfs /proc/mounts || mount -t configfs none /sys/kernel/config ||
        gadget_fail "cannot mount configfs" || return 1
    [ -d "$GADGET_CONFIGFS" ] || gadget_fail "no usb_gadget in configfs (libcomposite?)"
}

# Loads further modules from the same kind of directory: gadget_load MODULE-DIR NAME...
gadget_load() {
    moddir=$1
    shift
    for module; do
        [ -f "$moddir/$module.ko" ] || continue
        insmod "$moddir/$module.ko" || return 1
    done
}

gadget_create() {
    [ $# -eq 7 ] || gadget_fail "usage: gadget_create NAME VID PID BCD MANUFACTURER PRODUCT SERIAL" || return 1
    dir=$GADGET_CONFIGFS/$1
    mkdir "$dir" || gadget_fail "cannot create gadget $1" || return 1
    echo "$2" >"$dir/idVendor"
    echo "$3" >"$dir/idProduct"
    echo "$4" >"$dir/bcdDevice"
    echo 0x0200 >"$dir/bcdUSB"
    mkdir "$dir/strings/0x409"
    echo "$5" >"$dir/strings/0x409/manufacturer"
    echo "$6" >"$dir/strings/0x409/product"
    echo "$7" >"$dir/strings/0x409/serialnumber"
    mkdir "$dir/configs/c.1"
    echo 90 >"$dir/configs/c.1/MaxPower"
    echo 0x80 >"$dir/configs/c.1/bmAttributes"
}

# Creates functions/FUNCTION (e.g. ffs.ftdi, hid.usb0), writes its attributes, then links
# it into the configuration (some functions take attributes only before that).
gadget_add_function() {
    dir=$GADGET_CONFIGFS/$1
    function=$2
    shift 2
    mkdir "$dir/functions/$function" || gadget_fail "cannot create function $function" || return 1
    for setting; do
        case $setting in
        *=*) printf '%s' "${setting#*=}" >"$dir/functions/$function/${setting%%=*}" ;;
        *\<*) cat "${setting#*<}" >"$dir/functions/$function/${setting%%<*}" ;;
        *) gadget_fail "bad attribute setting '$setting'" || return 1 ;;
        esac || gadget_fail "cannot set $setting on $function" || return 1
    done
    ln -s "$dir/functions/$function" "$dir/configs/c.1/" ||
        gadget_fail "cannot link $function into the configuration"
}

# Mounts the FunctionFS of function ffs.INSTANCE on DIR: the program that plays the
# function opens DIR/ep0 and writes its descriptors before the gadget can be bound.
gadget_mount_ffs() {
    mkdir -p "$2"
    mount -t functionfs "$1" "$2" || gadget_fail "cannot mount functionfs $1 on $2"
}

# Plugs the gadget in: binds it to UDC, or to the first (dummy_udc.0).
gadget_bind() {
    udc=${2:-$(ls /sys/class/udc | head -n 1)}
    [ -n "$udc" ] || gadget_fail "no USB device controller (dummy_hcd loaded?)" || return 1
    echo "$udc" >"$GADGET_CONFIGFS/$1/UDC" || gadget_fail "cannot bind $1 to $udc"
}

# Unplugs it: the host side sees the device disconnect.
gadget_unbind() {
    echo "" >"$GADGET_CONFIGFS/$1/UDC" 2>/dev/null || true
}

gadget_remove() {
    dir=$GADGET_CONFIGFS/$1
    gadget_unbind "$1"
    for link in "$dir"/configs/c.1/*; do
        [ -L "$link" ] && rm "$link"
    done
    rmdir "$dir/configs/c.1/strings/0x409" 2>/dev/null
    rmdir "$dir/configs/c.1" "$dir"/functions/* "$dir/strings/0x409" "$dir"
}

# Waits until the host side has enumerated a device VID:PID (hex, no 0x) and prints its
# sysfs directory, e.g. /sys/bus/usb/devices/1-1.
gadget_wait_host() {
    tries=$((${3:-10} * 20))
    while [ "$tries" -gt 0 ]; do
        for device in /sys/bus/usb/devices/*; do
            [ -f "$device/idVendor" ] || continue
            if [ "$(cat "$device/idVendor")" = "$1" ] && [ "$(cat "$device/idProduct")" = "$2" ]; then
                echo "$device"
                return 0
            fi
        done
        usleep 50000
        tries=$((tries - 1))
    done
    gadget_fail "no host-side device $1:$2"
}
