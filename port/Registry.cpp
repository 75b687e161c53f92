#include "port/Registry.h"

#include <sys/stat.h>

namespace port {

// The backends, in the order they are asked to claim a text. A new kind of port adds its
// declaration here and its line in the table below, under the build flag it needs.
extern const Backend simBackend;
#if defined(_WIN32)
extern const Backend winIoBackend;
#else
extern const Backend ppdevBackend;
#endif
#if defined(PMC10_HAVE_DIRECT_IO)
extern const Backend directIoBackend;
#endif
extern const Backend ftdiBackend;
#if defined(PMC10_HAVE_GPIO)
extern const Backend gpioBackend;
#endif
#if defined(PMC10_HAVE_HIDRAW)
extern const Backend mcp2221Backend;
#endif
#if defined(PMC10_HAVE_BOARD)
extern const Backend boardBackend;
#endif

namespace {

std::vector<const Backend*>& registered() {
    static std::vector<const Backend*> all {
        &simBackend,
#if defined(_WIN32)
            &winIoBackend,
#else
            &ppdevBackend,
#endif
#if defined(PMC10_HAVE_DIRECT_IO)
            &directIoBackend,
#endif
            &ftdiBackend,
#if defined(PMC10_HAVE_GPIO)
            &gpioBackend,
#endif
#if defined(PMC10_HAVE_HIDRAW)
            &mcp2221Backend,
#endif
#if defined(PMC10_HAVE_BOARD)
            &boardBackend,
#endif
    };
    return all;
}

std::string& defaultSetting() {
    static std::string text;
    return text;
}

std::string& choice() {
    static std::string text;
    return text;
}

#if !defined(_WIN32)
const char* const kFirstParport = "/dev/parport0";
#endif
const char* const kFirstDirectIo = "0x378";

/// The text of the platform's default port: /dev/parport0 where the node exists (or
/// where direct I/O is not built), else direct I/O at the first port's address.
std::string platformDefault() {
#if defined(_WIN32)
    return kFirstDirectIo;
#else
#if defined(PMC10_HAVE_DIRECT_IO)
    struct stat node {};
    if (lstat(kFirstParport, &node) != 0) {
        return kFirstDirectIo;
    }
#endif
    return kFirstParport;
#endif
}

std::string effective(const std::string& text) {
    if (!text.empty()) {
        return text;
    }
    return defaultSetting().empty() ? platformDefault() : defaultSetting();
}

}  // namespace

const std::vector<const Backend*>& backends() {
    return registered();
}

void addBackend(const Backend* backend) {
    registered().insert(registered().begin(), backend);
}

void setDefault(const std::string& text) {
    defaultSetting() = text;
}

const std::string& defaultText() {
    return defaultSetting();
}

void choose(const std::string& text) {
    choice() = text;
}

const std::string& chosen() {
    return choice();
}

const Backend* backendFor(const std::string& text) {
    for (const Backend* backend : registered()) {
        if (backend->claims(text)) {
            return backend;
        }
    }
    return nullptr;
}

std::string check(const std::string& given) {
    const std::string text = effective(given);
    const Backend* backend = backendFor(text);
    if (backend == nullptr) {
        return "not a port this tool knows (pmc10 --list-ports shows the ports here)";
    }
    return backend->check != nullptr ? backend->check(text) : std::string();
}

OpenResult open(const std::string& given) {
    const std::string text = effective(given);
    const Backend* backend = backendFor(text);
    if (backend == nullptr) {
        return OpenResult::badText(check(text));
    }
    if (backend->check != nullptr) {
        std::string problem = backend->check(text);
        if (!problem.empty()) {
            return OpenResult::badText(std::move(problem));
        }
    }
    return backend->open(text);
}

std::string plainRunPort() {
    return effective(chosen());
}

std::vector<PortInfo> list() {
    std::vector<PortInfo> out;
    for (const Backend* backend : registered()) {
        if (backend->list != nullptr) {
            backend->list(out);
        }
    }
    return out;
}

}  // namespace port
