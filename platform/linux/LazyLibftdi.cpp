// libftdi1's stand-ins, with the libusb functions that come through it (see
// platform/linux/LazyLibrary.h).
#include <ftdi.h>
#include <libusb.h>

#include <cstdint>

#include "platform/linux/LazyLibrary.h"

// clang-format off
#define PMC10_FTDI_FUNCTIONS(F)                                                          \
    F(ftdi_new) F(ftdi_free) F(ftdi_get_error_string) F(ftdi_set_bitmode)                \
    F(ftdi_setflowctrl) F(ftdi_usb_close) F(ftdi_usb_open_dev) F(ftdi_write_data)        \
    F(libusb_bulk_transfer) F(libusb_error_name) F(libusb_free_device_list)              \
    F(libusb_get_bus_number) F(libusb_get_device_address) F(libusb_get_device_list)      \
    F(libusb_ref_device) F(libusb_unref_device) F(ftdi_set_baudrate) F(ftdi_set_interface)   \
    F(ftdi_set_usbdev) F(ftdi_usb_reset) F(libusb_claim_interface) F(libusb_close)        \
    F(libusb_get_device) F(libusb_get_device_descriptor)                                  \
    F(libusb_set_auto_detach_kernel_driver) F(libusb_wrap_sys_device)
// clang-format on

namespace {

struct Ftdi {
    PMC10_FTDI_FUNCTIONS(PMC10_LAZY_POINTER)
    void resolveAll(void* library) { PMC10_FTDI_FUNCTIONS(PMC10_LAZY_RESOLVE) }
};

const Ftdi& ftdi() {
    // libusb comes with it, and its functions through the same handle.
    return lazy_library::loaded<Ftdi>("libftdi1.so.2");
}

}  // namespace

extern "C" {

ftdi_context* ftdi_new() {
    return ftdi().ftdi_new != nullptr ? ftdi().ftdi_new() : nullptr;
}
void ftdi_free(ftdi_context* context) {
    if (ftdi().ftdi_free != nullptr) {
        ftdi().ftdi_free(context);
    }
}
const char* ftdi_get_error_string(ftdi_context* context) {
    return ftdi().ftdi_get_error_string != nullptr ? ftdi().ftdi_get_error_string(context)
                                                   : "libftdi1.so.2 is not installed";
}
int ftdi_set_bitmode(ftdi_context* context, unsigned char mask, unsigned char mode) {
    return ftdi().ftdi_set_bitmode != nullptr ? ftdi().ftdi_set_bitmode(context, mask, mode) : -1;
}
int ftdi_setflowctrl(ftdi_context* context, int flow) {
    return ftdi().ftdi_setflowctrl != nullptr ? ftdi().ftdi_setflowctrl(context, flow) : -1;
}
int ftdi_usb_close(ftdi_context* context) {
    return ftdi().ftdi_usb_close != nullptr ? ftdi().ftdi_usb_close(context) : -1;
}
int ftdi_usb_open_dev(ftdi_context* context, libusb_device* device) {
    return ftdi().ftdi_usb_open_dev != nullptr ? ftdi().ftdi_usb_open_dev(context, device) : -1;
}
int ftdi_write_data(ftdi_context* context, const unsigned char* data, int size) {
    return ftdi().ftdi_write_data != nullptr ? ftdi().ftdi_write_data(context, data, size) : -1;
}
int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                         int length, int* transferred, unsigned int timeout) {
    return ftdi().libusb_bulk_transfer != nullptr
               ? ftdi().libusb_bulk_transfer(handle, endpoint, data, length, transferred, timeout)
               : LIBUSB_ERROR_NOT_SUPPORTED;
}
const char* libusb_error_name(int code) {
    return ftdi().libusb_error_name != nullptr ? ftdi().libusb_error_name(code)
                                               : "LIBUSB_ERROR_NOT_SUPPORTED";
}
void libusb_free_device_list(libusb_device** list, int unreference) {
    if (ftdi().libusb_free_device_list != nullptr) {
        ftdi().libusb_free_device_list(list, unreference);
    }
}
std::uint8_t libusb_get_bus_number(libusb_device* device) {
    return ftdi().libusb_get_bus_number != nullptr ? ftdi().libusb_get_bus_number(device) : 0;
}
std::uint8_t libusb_get_device_address(libusb_device* device) {
    return ftdi().libusb_get_device_address != nullptr ? ftdi().libusb_get_device_address(device)
                                                       : 0;
}
ssize_t libusb_get_device_list(libusb_context* context, libusb_device*** list) {
    return ftdi().libusb_get_device_list != nullptr ? ftdi().libusb_get_device_list(context, list)
                                                    : ssize_t{LIBUSB_ERROR_NOT_SUPPORTED};
}
libusb_device* libusb_ref_device(libusb_device* device) {
    return ftdi().libusb_ref_device != nullptr ? ftdi().libusb_ref_device(device) : device;
}
void libusb_unref_device(libusb_device* device) {
    if (ftdi().libusb_unref_device != nullptr) {
        ftdi().libusb_unref_device(device);
    }
}

int ftdi_set_baudrate(ftdi_context* context, int baudrate) {
    return ftdi().ftdi_set_baudrate != nullptr ? ftdi().ftdi_set_baudrate(context, baudrate) : -1;
}
int ftdi_set_interface(ftdi_context* context, ftdi_interface interface) {
    return ftdi().ftdi_set_interface != nullptr ? ftdi().ftdi_set_interface(context, interface)
                                                : -1;
}
void ftdi_set_usbdev(ftdi_context* context, libusb_device_handle* handle) {
    if (ftdi().ftdi_set_usbdev != nullptr) {
        ftdi().ftdi_set_usbdev(context, handle);
    }
}
int ftdi_usb_reset(ftdi_context* context) {
    return ftdi().ftdi_usb_reset != nullptr ? ftdi().ftdi_usb_reset(context) : -1;
}
int libusb_claim_interface(libusb_device_handle* handle, int interface) {
    return ftdi().libusb_claim_interface != nullptr
               ? ftdi().libusb_claim_interface(handle, interface)
               : LIBUSB_ERROR_NOT_SUPPORTED;
}
void libusb_close(libusb_device_handle* handle) {
    if (ftdi().libusb_close != nullptr) {
        ftdi().libusb_close(handle);
    }
}
libusb_device* libusb_get_device(libusb_device_handle* handle) {
    return ftdi().libusb_get_device != nullptr ? ftdi().libusb_get_device(handle) : nullptr;
}
int libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor) {
    return ftdi().libusb_get_device_descriptor != nullptr
               ? ftdi().libusb_get_device_descriptor(device, descriptor)
               : LIBUSB_ERROR_NOT_SUPPORTED;
}
int libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable) {
    return ftdi().libusb_set_auto_detach_kernel_driver != nullptr
               ? ftdi().libusb_set_auto_detach_kernel_driver(handle, enable)
               : LIBUSB_ERROR_NOT_SUPPORTED;
}
int libusb_wrap_sys_device(libusb_context* context, intptr_t fd, libusb_device_handle** handle) {
    return ftdi().libusb_wrap_sys_device != nullptr
               ? ftdi().libusb_wrap_sys_device(context, fd, handle)
               : LIBUSB_ERROR_NOT_SUPPORTED;
}

}  // extern "C"
