#include "front/Options.h"

namespace {

/// The value of an option that takes one: "--port=X", "-pX" or the next argument.
bool takeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& longName,
               char shortName, std::string& value, std::string& error) {
    const std::string& arg = args[i];
    if (arg.rfind(longName + "=", 0) == 0) {
        value = arg.substr(longName.size() + 1);
    } else if (arg.size() > 2 && arg[0] == '-' && arg[1] == shortName) {
        value = arg.substr(2);
    } else if (i + 1 < args.size()) {
        value = args[++i];
    } else {
        error = "pmc10: " + arg + " needs a value (pmc10 --help)";
        return false;
    }
    if (value.empty()) {
        error = "pmc10: " + arg + " needs a value (pmc10 --help)";
        return false;
    }
    return true;
}

bool isOption(const std::string& arg, const std::string& longName, char shortName,
              bool takesValue) {
    if (arg == longName || arg == std::string{'-', shortName}) {
        return true;
    }
    return takesValue &&
           (arg.rfind(longName + "=", 0) == 0 ||
            (arg.size() > 2 && arg[0] == '-' && arg[1] == shortName && arg[1] != '-'));
}

}  // namespace

Options parseOptions(const std::vector<std::string>& args) {
    Options options;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (isOption(arg, "--port", 'p', true)) {
            if (!takeValue(args, i, "--port", 'p', options.port, options.error)) {
                return options;
            }
        } else if (arg == "--list-ports" || arg == "-l") {
            options.listPorts = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--strict") {
            options.strict = true;
        } else if (isOption(arg, "--file", 'f', true)) {
            if (!takeValue(args, i, "--file", 'f', options.file, options.error)) {
                return options;
            }
        } else if (arg == "--dry-run" || arg == "-n") {
            options.dryRun = true;
        } else if (arg == "--interactive" || arg == "-i") {
            options.interactive = true;
        } else if (arg == "--version") {
            options.version = true;
        } else {
            break;
        }
    }
    options.words.assign(args.begin() + static_cast<long>(i), args.end());
    return options;
}
