#!/bin/sh
# USB gadgets through configfs, for the guest of the emulated tests (busybox sh). Source
# it after loading libcomposite and a UDC driver (dummy_hcd); each function returns non-zero
# and says why on standard error when the kernel refuses a step.
#
#   gadget_create NAME VID PID MANUFACTURER PRODUCT SERIAL
#   gadget_add_function NAME TYPE.INSTANCE [ATTRIBUTE=VALUE ...]
#   gadget_bind NAME [UDC]        (default: the first UDC present)
#   gadget_unbind NAME
#   gadget_init MODULE-DIR [dummy_hcd parameters...]   loads the modules, mounts configfs
#   gadget_load MODULE-DIR MODULE...                     further modules (usb_f_fs, ...)
#   gadget_set NAME ATTRIBUTE VALUE                      e.g. bcdDevice 0x0600
#   gadget_mount_ffs INSTANCE DIR      for a FunctionFS function ffs.INSTANCE
#   gadget_wait_host VID PID [SECONDS] prints the host side's sysfs directory of the device
#
# Attribute values pass through printf %b, so a binary attribute (a HID report
# descriptor) is written with octal escapes: report_desc='\006\000\377...'.

gadget_root=/sys/kernel/config/usb_gadget

gadget_fail() { echo "gadget: $*" >&2; return 1; }

gadget_create() {  # NAME VID PID MANUFACTURER PRODUCT SERIAL
    [ -d "$gadget_root" ] || mount -t configfs none /sys/kernel/config 2>/dev/null
    [ -d "$gadget_root" ] || gadget_fail "no $gadget_root (libcomposite not loaded?)" || return 1
    g=$gadget_root/$1
    mkdir "$g" || gadget_fail "cannot create gadget $1" || return 1
    echo "$2" >"$g/idVendor" && echo "$3" >"$g/idProduct" &&
        echo 0x0200 >"$g/bcdUSB" && echo 0x0100 >"$g/bcdDevice" &&
        mkdir "$g/strings/0x409" &&
        echo "$4" >"$g/strings/0x409/manufacturer" &&
        echo "$5" >"$g/strings/0x409/product" &&
        echo "$6" >"$g/strings/0x409/serialnumber" &&
        mkdir -p "$g/configs/c.1/strings/0x409" &&
        echo 100 >"$g/configs/c.1/MaxPower" ||
        gadget_fail "cannot set up gadget $1"
}

gadget_add_function() {  # NAME TYPE.INSTANCE [ATTRIBUTE=VALUE ...]
    g=$gadget_root/$1
    f=$g/functions/$2
    mkdir "$f" || gadget_fail "cannot create function $2 (its module loaded?)" || return 1
    shift 2
    for setting in "$@"; do
        printf '%b' "${setting#*=}" >"$f/${setting%%=*}" ||
            gadget_fail "cannot set ${setting%%=*} of ${f##*/}" || return 1
    done
    ln -s "$f" "$g/configs/c.1/" || gadget_fail "cannot add ${f##*/} to the configuration"
}

gadget_bind() {  # NAME [UDC]
    udc=${2:-$(ls /sys/class/udc 2>/dev/null | head -1)}
    [ -n "$udc" ] || gadget_fail "no USB device controller (dummy_hcd not loaded?)" || return 1
    echo "$udc" >"$gadget_root/$1/UDC" || gadget_fail "cannot bind $1 to $udc"
}

gadget_unbind() {  # NAME
    echo "" >"$gadget_root/$1/UDC" || gadget_fail "cannot unbind $1"
}

# Loads the modules that make the gadget side and the host side from MODULE-DIR, which
# holds them flat (usb-common.ko, usbcore.ko, ...); a module missing there is taken as
# built into the kernel. Parameters after the directory go to dummy_hcd, e.g.
# is_high_speed=0 for a full-speed-only bus.
gadget_init() {
    dir=$1
    shift
    gadget_load "$dir" usb-common usbcore udc-core || return 1
    [ ! -f "$dir/dummy_hcd.ko" ] || insmod "$dir/dummy_hcd.ko" "$@" || return 1
    gadget_load "$dir" configfs libcomposite || return 1
    grep -q configfs /proc/mounts || mount -t configfs none /sys/kernel/config ||
        gadget_fail "cannot mount configfs"
}

gadget_load() {  # MODULE-DIR MODULE...
    moddir=$1
    shift
    for module; do
        [ ! -f "$moddir/$module.ko" ] || insmod "$moddir/$module.ko" || return 1
    done
}

gadget_set() {  # NAME ATTRIBUTE VALUE
    echo "$3" >"$gadget_root/$1/$2" || gadget_fail "cannot set $2 of $1"
}

# The program that plays the function opens DIR/ep0 and writes its descriptors before the
# gadget can be bound.
gadget_mount_ffs() {  # INSTANCE DIR
    mkdir -p "$2"
    mount -t functionfs "$1" "$2" || gadget_fail "cannot mount functionfs $1 on $2"
}

gadget_wait_host() {  # VID PID [SECONDS]: VID and PID in hex, no 0x
    tries=$((${3:-10} * 20))
    while [ "$tries" -gt 0 ]; do
        for device in /sys/bus/usb/devices/*; do
            [ -f "$device/idVendor" ] || continue
            read -r vid <"$device/idVendor"
            read -r pid <"$device/idProduct"
            if [ "$vid:$pid" = "$1:$2" ]; then echo "$device"; return 0; fi
        done
        usleep 50000
        tries=$((tries - 1))
    done
    gadget_fail "no host-side device $1:$2"
}
