// Fills the manual page and the bash completion from the tool's own tables at build time:
// the options, the verbs, the PORT forms of the backends this build has, the keys and the
// compound commands. Each line of the template that reads "<marker> pmc10: NAME" is
// replaced by the block NAME; every other line is copied as it is.
// Usage: pmc10_generate_docs TEMPLATE OUTPUT
#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "commands/CompoundCommands.h"
#include "commands/Verbs.h"
#include "front/HelpScreens.h"
#include "front/Options.h"
#include "keypad/KeyCodes.h"
#include "keypad/Red10.h"

namespace {

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

/// Text for roff: backslashes and minus signs escaped, no line starting as a request.
std::string roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '\\' ? "\\e" : c == '-' ? "\\-" : std::string(1, c);
    }
    return !out.empty() && (out[0] == '.' || out[0] == '\'') ? "\\&" + out : out;
}

std::string range(const Verb& verb) {
    return std::to_string(verb.min) + "-" + std::to_string(verb.max);
}

/// "-p, --port PORT" in roff's fonts.
std::string optionTerm(const OptionEntry& option) {
    std::string term;
    if (option.shortName != 0) {
        term = "\\fB" + roff(std::string{'-', option.shortName}) + "\\fR, ";
    }
    term += "\\fB" + roff(option.longName) + "\\fR";
    if (option.argument != nullptr) {
        term += std::string(" \\fI") + option.argument + "\\fR";
    }
    return term;
}

void synopsis(std::ostream& out) {
    out << ".B pmc10\n";
    for (const OptionEntry& option : optionTable()) {
        out << ".RB [ ";
        if (option.shortName != 0) {
            out << roff(std::string{'-', option.shortName}) << " | ";
        }
        out << roff(option.longName);
        if (option.argument != nullptr) {
            out << "\n.IR " << option.argument << " ]\n";
        } else {
            out << " ]\n";
        }
    }
    out << ".RB [ r | rd ]\n.RI [ word ...]\n";
    for (const Verb& verb : verbTable()) {
        out << ".br\n.B pmc10\n.RI [ options ]\n.B " << lower(verb.name) << "\n";
        if (verb.takesNumber()) {
            out << ".I " << roff(range(verb)) << "\n";
        }
    }
}

void options(std::ostream& out) {
    for (const OptionEntry& option : optionTable()) {
        out << ".TP\n" << optionTerm(option) << "\n" << roff(option.help) << "\n";
    }
}

void verbs(std::ostream& out) {
    for (const Verb& verb : verbTable()) {
        out << ".TP\n\\fB" << lower(verb.name) << "\\fR";
        if (verb.takesNumber()) {
            out << " \\fI" << roff(range(verb)) << "\\fR";
        }
        out << "\n" << roff(verb.help) << "\n";
    }
}

void ports(std::ostream& out) {
    for (const PortForm& form : portForms()) {
        out << ".TP\n.B " << roff(form.text) << "\n" << roff(form.help) << "\n";
    }
}

/// The part of a PORT form before its first placeholder: "ftdi:s:" of
/// "ftdi:s:VID:PID:SERIAL", all of "sim".
std::string literalPart(const std::string& form) {
    const auto placeholder = std::find_if(form.begin(), form.end(), [](char c) {
        return std::isupper(static_cast<unsigned char>(c)) != 0;
    });
    return std::string(form.begin(), placeholder);
}

std::string joined(const std::set<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

void completion(std::ostream& out) {
    // The keys, then the compound commands, each in name order.
    std::set<std::string> keys, compounds;
    for (const auto& entry : keyCodes) {
        keys.insert(lower(entry.first));
    }
    for (const auto& entry : compoundCommands) {
        compounds.insert(lower(entry.first));
    }
    out << "_pmc10_names=\"" << joined(keys) << " " << joined(compounds) << "\"\n";
    // All options, then for each placeholder (PORT, FILE) the options that take it.
    std::string options;
    std::map<std::string, std::string> valued;
    for (const OptionEntry& option : optionTable()) {
        std::string forms = option.longName;
        if (option.shortName != 0) {
            forms += std::string(" -") + option.shortName;
        }
        options += (options.empty() ? "" : " ") + forms;
        if (option.argument != nullptr) {
            std::string& list = valued[lower(option.argument)];
            list += (list.empty() ? "" : " ") + forms;
        }
    }
    out << "_pmc10_options=\"" << options << "\"\n";
    for (const auto& [argument, list] : valued) {
        out << "_pmc10_" << argument << "_options=\"" << list << "\"\n";
    }
    std::string verbNames, numbers;
    for (const Verb& verb : verbTable()) {
        verbNames += (verbNames.empty() ? "" : " ") + lower(verb.name);
        if (verb.takesNumber()) {
            numbers += "        " + lower(verb.name) + ") echo \"";
            for (int n = verb.min; n <= verb.max; ++n) {
                numbers += (n == verb.min ? "" : " ") + std::to_string(n);
            }
            numbers += "\" ;;\n";
        }
    }
    out << "_pmc10_verbs=\"" << verbNames << "\"\n";
    out << "_pmc10_numbers() {  # VERB: the numbers it takes, counting up\n    case $1 in\n"
        << numbers << "    esac\n}\n";
    std::set<std::string> words, prefixes;
    for (const PortForm& form : portForms()) {
        const std::string literal = literalPart(form.text);
        (literal == form.text ? words : prefixes).insert(literal);
    }
    out << "_pmc10_port_words=\"" << joined(words) << "\"\n";
    out << "_pmc10_port_prefixes=\"" << joined(prefixes) << "\"\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: pmc10_generate_docs TEMPLATE OUTPUT" << std::endl;
        return 2;
    }
    instance();  // fills the key and compound tables
    std::ifstream in(argv[1]);
    std::ostringstream text;
    const std::pair<const char*, void (*)(std::ostream&)> blocks[] = {
        {"synopsis", synopsis}, {"options", options},       {"verbs", verbs},
        {"ports", ports},       {"completion", completion},
    };
    std::set<std::string> used;
    for (std::string line; std::getline(in, line);) {
        const std::size_t marker = line.find(" pmc10: ");
        bool replaced = false;
        for (const auto& [name, write] : blocks) {
            if (marker != std::string::npos && marker <= 3 && line.substr(marker + 8) == name) {
                write(text);
                used.insert(name);
                replaced = true;
            }
        }
        if (!replaced) {
            text << line << '\n';
        }
    }
    if (!in.eof() || used.empty()) {
        std::cerr << argv[1] << ": cannot be read, or has no block to fill" << std::endl;
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << text.str();
    out.close();
    return out ? 0 : 1;
}
