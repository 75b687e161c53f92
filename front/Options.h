// The options that come before the first command word. Only words this tool knows as
// options are taken: any other word, "-" (the key of that name) included, is the first
// command word, so every command line without options means what it always meant.
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
    /// A misused option: one "pmc10: " line saying what is wrong.
    std::string error;
};

/// Splits `arguments` into options and command words; "--" ends the options.
Options parseOptions(const std::vector<std::string>& arguments);
