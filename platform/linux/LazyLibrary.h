// libftdi1 (with libusb and libudev behind it) and libedit (with libtinfo and libbsd) are
// loaded when a run first calls into them, not when every run starts: a run on a parallel
// port or GPIO lines, a listing or a dry run then starts in a fraction of the time and
// memory. The functions of platform/linux/LazyLibftdi.cpp and LazyLibedit.cpp stand in
// for those the tool calls, through the loader here; each library is opened by its SONAME
// and all of its functions are looked up at once, on first use, so that the crash
// handler's write to an adapter finds them already resolved. Where a library is not
// installed, its functions fail as they do when the device is absent: ftdi_new() and
// el_init() return null, and the tool says so or falls back to a plain prompt.
#pragma once

#include <dlfcn.h>

namespace lazy_library {

/// Looks `name` up in `library`, opened once; null when either is missing.
inline void* symbol(void* library, const char* name) {
    return library != nullptr ? dlsym(library, name) : nullptr;
}

template <typename Function>
void resolve(void* library, const char* name, Function*& into) {
    into = reinterpret_cast<Function*>(symbol(library, name));
}

/// The functions of `Functions`, looked up in the library `soname` on the first call:
/// `Functions::resolveAll(library)` sets its pointers, each null where the library or the
/// function is missing.
template <typename Functions>
const Functions& loaded(const char* soname) {
    static const Functions functions = [soname] {
        Functions found;
        found.resolveAll(dlopen(soname, RTLD_NOW | RTLD_LOCAL));
        return found;
    }();
    return functions;
}

}  // namespace lazy_library

// For a list of functions: a member pointer for each, and the statement that resolves it.
// NOLINTNEXTLINE(bugprone-macro-parentheses): the name is declared, not used in an expression
#define PMC10_LAZY_POINTER(name) decltype(::name)* name = nullptr;
#define PMC10_LAZY_RESOLVE(name) lazy_library::resolve(library, #name, name);
