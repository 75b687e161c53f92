// libedit's stand-ins (see platform/linux/LazyLibrary.h).
//
// el_set(), el_get() and history() take their arguments by operation; each operation's
// arguments are read with their own types and passed on. Function pointers pass as
// void*, which POSIX makes interchangeable with them (dlsym relies on it too).
#include <histedit.h>

#include <cstdarg>
#include <cstddef>
#include <string_view>

#include "platform/linux/LazyLibrary.h"

// clang-format off
#define PMC10_EDIT_FUNCTIONS(F)                                                          \
    F(el_init) F(el_end) F(el_gets) F(el_insertstr) F(el_line) F(el_set) F(el_get)       \
    F(history_init) F(history_end) F(history)
// clang-format on

namespace {

struct Edit {
    PMC10_EDIT_FUNCTIONS(PMC10_LAZY_POINTER)
    void resolveAll(void* library) { PMC10_EDIT_FUNCTIONS(PMC10_LAZY_RESOLVE) }
};

const Edit& edit() {
    return lazy_library::loaded<Edit>("libedit.so.2");
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
