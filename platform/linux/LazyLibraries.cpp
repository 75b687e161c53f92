// libftdi1 (with libusb and libudev behind it) and libedit (with libtinfo and libbsd) are
// loaded when a run first calls into them, not when every run starts: a run on a parallel
// port or GPIO lines, a listing or a dry run then starts in a fraction of the time and
// memory. The functions below stand in for those the tool calls; each library is opened
// by its SONAME and all of its functions are looked up at once, on first use, so that
// the crash handler's write to an adapter finds them already resolved. Where a library
// is not installed, its functions fail as they do when the device is absent: ftdi_new()
// and el_init() return null, and the tool says so or falls back to a plain prompt.
//
// el_set(), el_get() and history() take their arguments by operation; each operation's
// arguments are read with their own types and passed on. Function pointers pass as
// void*, which POSIX makes interchangeable with them (dlsym relies on it too).
#include <dlfcn.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string_view>

#ifdef PMC10_HAVE_LIBFTDI
#include <ftdi.h>
#include <libusb.h>
#endif
#ifdef PMC10_HAVE_LIBEDIT
#include <histedit.h>
#endif

namespace {

/// Looks `name` up in `library`, opened once; null when either is missing.
void* symbol(void* library, const char* name) {
    return library != nullptr ? dlsym(library, name) : nullptr;
}

template <typename Function>
void resolve(void* library, const char* name, Function*& into) {
    into = reinterpret_cast<Function*>(symbol(library, name));
}

}  // namespace

#ifdef PMC10_HAVE_LIBFTDI

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
// NOLINTNEXTLINE(bugprone-macro-parentheses): the name is declared, not used in an expression
#define PMC10_POINTER(name) decltype(::name)* name = nullptr;
    PMC10_FTDI_FUNCTIONS(PMC10_POINTER)
#undef PMC10_POINTER
};

const Ftdi& ftdi() {
    static const Ftdi functions = [] {
        Ftdi found;
        // libusb comes with it, and its functions through the same handle.
        void* const library = dlopen("libftdi1.so.2", RTLD_NOW | RTLD_LOCAL);
#define PMC10_RESOLVE(name) resolve(library, #name, found.name);
        PMC10_FTDI_FUNCTIONS(PMC10_RESOLVE)
#undef PMC10_RESOLVE
        return found;
    }();
    return functions;
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

#endif  // PMC10_HAVE_LIBFTDI

#ifdef PMC10_HAVE_LIBEDIT

// clang-format off
#define PMC10_EDIT_FUNCTIONS(F)                                                          \
    F(el_init) F(el_end) F(el_gets) F(el_insertstr) F(el_line) F(el_set) F(el_get)       \
    F(history_init) F(history_end) F(history)
// clang-format on

namespace {

struct Edit {
// NOLINTNEXTLINE(bugprone-macro-parentheses): the name is declared, not used in an expression
#define PMC10_POINTER(name) decltype(::name)* name = nullptr;
    PMC10_EDIT_FUNCTIONS(PMC10_POINTER)
#undef PMC10_POINTER
};

const Edit& edit() {
    static const Edit functions = [] {
        Edit found;
        void* const library = dlopen("libedit.so.2", RTLD_NOW | RTLD_LOCAL);
#define PMC10_RESOLVE(name) resolve(library, #name, found.name);
        PMC10_EDIT_FUNCTIONS(PMC10_RESOLVE)
#undef PMC10_RESOLVE
        return found;
    }();
    return functions;
}

/// The arguments after the operation: P a pointer, I an int, Z a size_t, L pointers up
/// to a null one (at most eight).
const char* elSetShape(int op) {
    switch (op) {
        case EL_SIGNAL:
        case EL_EDITMODE:
        case EL_UNBUFFERED:
        case EL_PREP_TERM:
        case EL_SAFEREAD:
            return "I";
        case EL_BIND:
        case EL_TELLTC:
        case EL_SETTC:
        case EL_ECHOTC:
        case EL_SETTY:
            return "L";
        case EL_ADDFN:
            return "PPP";
        case EL_HIST:
        case EL_RESIZE:
        case EL_ALIAS_TEXT:
            return "PP";
        case EL_SETFP:
            return "IP";
        case EL_REFRESH:
            return "";
        case EL_PROMPT_ESC:
        case EL_RPROMPT_ESC:
            return "PI";
        default:
            return "P";
    }
}

const char* elGetShape(int op) {
    switch (op) {
        case EL_GETTC:
            return "L";
        case EL_GETFP:
            return "IP";
        case EL_PROMPT_ESC:
        case EL_RPROMPT_ESC:
            return "PP";
        default:
            return "P";  // every other value is read through one pointer
    }
}

const char* historyShape(int op) {
    switch (op) {
        case H_SETSIZE:
        case H_SET:
        case H_NEXT_EVENT:
        case H_PREV_EVENT:
        case H_SETUNIQUE:
        case H_DEL:
            return "I";
        case H_ADD:
        case H_ENTER:
        case H_APPEND:
        case H_NEXT_STR:
        case H_PREV_STR:
        case H_LOAD:
        case H_SAVE:
        case H_SAVE_FP:
            return "P";
        case H_NEXT_EVDATA:
        case H_DELDATA:
            return "IP";
        case H_REPLACE:
            return "PP";
        case H_NSAVE_FP:
            return "ZP";
        default:
            return "";
    }
}

/// Reads the arguments of `shape` from `ap` and hands them to `call`. Every caller has
/// started `ap`; clang-tidy's analyzer loses track of that when it reads several files in
/// one run.
// NOLINTBEGIN(clang-analyzer-valist.Uninitialized)
template <typename Call>
int forward(const char* shape, va_list& ap, Call call) {
    const std::string_view kind(shape);
    if (kind == "I") {
        return call(va_arg(ap, int));
    }
    if (kind == "P") {
        return call(va_arg(ap, void*));
    }
    if (kind == "PP") {
        void* const first = va_arg(ap, void*);
        return call(first, va_arg(ap, void*));
    }
    if (kind == "PPP") {
        void* const first = va_arg(ap, void*);
        void* const second = va_arg(ap, void*);
        return call(first, second, va_arg(ap, void*));
    }
    if (kind == "IP") {
        const int first = va_arg(ap, int);
        return call(first, va_arg(ap, void*));
    }
    if (kind == "PI") {
        void* const first = va_arg(ap, void*);
        return call(first, va_arg(ap, int));
    }
    if (kind == "ZP") {
        const std::size_t first = va_arg(ap, std::size_t);
        return call(first, va_arg(ap, void*));
    }
    if (kind == "L") {
        void* list[9] = {};
        for (int i = 0; i < 8 && (list[i] = va_arg(ap, void*)) != nullptr; ++i) {
        }
        return call(list[0], list[1], list[2], list[3], list[4], list[5], list[6], list[7],
                    list[8]);
    }
    return call();
}
// NOLINTEND(clang-analyzer-valist.Uninitialized)

}  // namespace

extern "C" {

EditLine* el_init(const char* program, FILE* in, FILE* out, FILE* err) {
    return edit().el_init != nullptr ? edit().el_init(program, in, out, err) : nullptr;
}
void el_end(EditLine* line) {
    if (edit().el_end != nullptr) {
        edit().el_end(line);
    }
}
const char* el_gets(EditLine* line, int* count) {
    return edit().el_gets != nullptr ? edit().el_gets(line, count) : nullptr;
}
int el_insertstr(EditLine* line, const char* text) {
    return edit().el_insertstr != nullptr ? edit().el_insertstr(line, text) : -1;
}
const LineInfo* el_line(EditLine* line) {
    return edit().el_line != nullptr ? edit().el_line(line) : nullptr;
}
History* history_init() {
    return edit().history_init != nullptr ? edit().history_init() : nullptr;
}
void history_end(History* history) {
    if (edit().history_end != nullptr) {
        edit().history_end(history);
    }
}

int el_set(EditLine* line, int op, ...) {
    const auto function = edit().el_set;
    if (function == nullptr) {
        return -1;
    }
    va_list ap;
    va_start(ap, op);
    const int result = forward(elSetShape(op), ap,
                               [&](auto... arguments) { return function(line, op, arguments...); });
    va_end(ap);
    return result;
}

int el_get(EditLine* line, int op, ...) {
    const auto function = edit().el_get;
    if (function == nullptr) {
        return -1;
    }
    va_list ap;
    va_start(ap, op);
    const int result = forward(elGetShape(op), ap,
                               [&](auto... arguments) { return function(line, op, arguments...); });
    va_end(ap);
    return result;
}

int history(History* history, HistEvent* event, int op, ...) {
    const auto function = edit().history;
    if (function == nullptr) {
        return -1;
    }
    va_list ap;
    va_start(ap, op);
    const int result = forward(historyShape(op), ap, [&](auto... arguments) {
        return function(history, event, op, arguments...);
    });
    va_end(ap);
    return result;
}

}  // extern "C"

#endif  // PMC10_HAVE_LIBEDIT
