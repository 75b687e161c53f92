// The options that come before the first command word. The option table below is the one
// list of them: the parser, --help, the manual page, the bash completion and the Windows
// README.txt are all made from it. A lone "-" is the key of that name and so the first
// command word; "--" ends the options.
#pragma once

#include <string>
#include <vector>

/// What the options of one command line ask for.
struct Options {
    /// The PORT of --port/-p, or empty.
    std::string port;
    bool listPorts = false;
    bool help = false;
    bool version = false;
    /// --strict: check every word before the port is opened; refuse the run on a problem.
    bool strict = false;
    /// The FILE of --file/-f ("-" for standard input), or empty.
    std::string file;
    /// --dry-run/-n: list what would be stroked, open no port, wait for nothing.
    bool dryRun = false;
    /// --interactive/-i: a prompt that runs each line typed.
    bool interactive = false;
    /// The command words after the options.
    std::vector<std::string> words;
    /// A misused option: what is wrong, one line (printed as a message).
    std::string error;
};

/// One option as a user writes it, and the field of Options it sets.
struct OptionEntry {
    /// "--port".
    const char* longName;
    /// 'p', or 0 when there is no short form.
    char shortName;
    /// The placeholder of its value ("PORT"), or nullptr for an option that takes none.
    const char* argument;
    /// What it does, in one line.
    const char* help;
    /// The flag it sets, or the value it fills (exactly one of the two).
    bool Options::*flag;
    std::string Options::*value;
};

/// Every option, in the order --help lists them.
const std::vector<OptionEntry>& optionTable();

/// Splits `arguments` into options and command words. A word before the first command
/// word that looks like an option but is none, and an option after the first command
/// word, set `error`.
Options parseOptions(const std::vector<std::string>& arguments);
