#include "front/Options.h"

namespace {

// One row per option. The build reads these rows for the Windows README.txt as well, so
// each keeps this shape: long name, short name or 0, placeholder or nullptr, help text.
const std::vector<OptionEntry> kOptionTable{
    {"--port", 'p', "PORT", "the port to use (PORT below; else $PMC10_PORT)", nullptr,
     &Options::port},
    {"--list-ports", 'l', nullptr, "list this machine's ports; which one is used",
     &Options::listPorts, nullptr},
    {"--file", 'f', "FILE", "run the lines of FILE (- for standard input)", nullptr,
     &Options::file},
    {"--dry-run", 'n', nullptr, "list what would be stroked; open no port", &Options::dryRun,
     nullptr},
    {"--interactive", 'i', nullptr, "a prompt that runs each line typed", &Options::interactive,
     nullptr},
    {"--strict", 0, nullptr, "check every word first; refuse on a problem", &Options::strict,
     nullptr},
    {"--help", 'h', nullptr, "this screen", &Options::help, nullptr},
    {"--version", 0, nullptr, "the version", &Options::version, nullptr},
};

const OptionEntry* findLong(const std::string& name) {
    for (const OptionEntry& option : kOptionTable) {
        if (name == option.longName) {
            return &option;
        }
    }
    return nullptr;
}

const OptionEntry* findShort(char name) {
    for (const OptionEntry& option : kOptionTable) {
        if (name != 0 && name == option.shortName) {
            return &option;
        }
    }
    return nullptr;
}

/// Reads one option word (and the next one when it holds the option's value) into
/// `options`. Returns false, with the problem in `error`, for a word that is no option.
class OptionReader {
  public:
    OptionReader(const std::vector<std::string>& args, Options& options)
        : args_(args), options_(options) {}

    /// Reads args[i], which starts with "-" and is longer than one character; moves `i`
    /// past a value taken from the next word.
    bool read(std::size_t& i, std::string& error) {
        const std::string& word = args_[i];
        if (word.compare(0, 2, "--") == 0) {
            const std::size_t equals = word.find('=');
            const OptionEntry* option = findLong(word.substr(0, equals));
            if (option == nullptr) {
                error = "unknown option '" + word.substr(0, equals) + "'";
                return false;
            }
            if (equals == std::string::npos) {
                return set(*option, word, i, error);
            }
            if (option->argument == nullptr) {
                error = std::string(option->longName) + " takes no value";
                return false;
            }
            return fill(*option, word, word.substr(equals + 1), error);
        }
        // Short options combine: "-nf FILE", "-pPORT".
        for (std::size_t at = 1; at < word.size(); ++at) {
            const OptionEntry* option = findShort(word[at]);
            if (option == nullptr) {
                error = "unknown option '-" + word.substr(at, 1) + "'";
                return false;
            }
            if (option->argument != nullptr && at + 1 < word.size()) {
                return fill(*option, word, word.substr(at + 1), error);
            }
            if (!set(*option, std::string{'-', word[at]}, i, error)) {
                return false;
            }
        }
        return true;
    }

  private:
    bool set(const OptionEntry& option, const std::string& word, std::size_t& i,
             std::string& error) {
        if (option.flag != nullptr) {
            options_.*option.flag = true;
            return true;
        }
        if (i + 1 >= args_.size()) {
            error = word + " needs a value";
            return false;
        }
        return fill(option, word, args_[++i], error);
    }
    bool fill(const OptionEntry& option, const std::string& word, const std::string& value,
              std::string& error) {
        if (value.empty()) {
            error = word + " needs a value";
            return false;
        }
        options_.*option.value = value;
        return true;
    }

    const std::vector<std::string>& args_;
    Options& options_;
};

bool looksLikeOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-' && word != "--";
}

}  // namespace

const std::vector<OptionEntry>& optionTable() {
    return kOptionTable;
}

Options parseOptions(const std::vector<std::string>& args) {
    Options options;
    OptionReader reader(args, options);
    std::size_t i = 0;
    for (; i < args.size() && looksLikeOption(args[i]); ++i) {
        if (!reader.read(i, options.error)) {
            options.error += " (pmc10 --help)";
            return options;
        }
    }
    const bool ended = i < args.size() && args[i] == "--";
    options.words.assign(args.begin() + static_cast<long>(ended ? i + 1 : i), args.end());
    if (ended) {
        return options;
    }
    // An option among the command words would be taken for a word and stroked: refused.
    // Words that only look like options ("-3", "-") stay words.
    for (const std::string& word : options.words) {
        Options scratch;
        std::string ignored;
        std::size_t at = 0;
        if (looksLikeOption(word) && OptionReader({word, "VALUE"}, scratch).read(at, ignored)) {
            options.error = "option '" + word + "' after the command word '" + options.words[0] +
                            "': options come before the first word (pmc10 --help)";
            return options;
        }
    }
    return options;
}
