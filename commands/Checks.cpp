#include "commands/Checks.h"

#include <cctype>
#include <iostream>

#include "commands/CompoundCommands.h"
#include "commands/Suggestions.h"
#include "commands/Verbs.h"
#include "keypad/Red10.h"
#include "keypad/TextHelpers.h"
#include "platform/Message.h"

namespace {

const std::string kSuggestionStart = "did you mean";

class Collector {
  public:
    explicit Collector(const std::string& location)
        : prefix_("strict: " + (location.empty() ? "" : location + ": ")) {}

    void add(const std::string& problem) { lines_.push_back(prefix_ + problem); }
    void addUnknown(const std::string& word, const std::string& why) {
        add(why + " <" + word + ">");
        const std::string line = suggestionLine(word);
        if (!line.empty()) {
            lines_.push_back(line);
        }
    }
    std::vector<std::string> take() { return std::move(lines_); }

  private:
    std::string prefix_;
    std::vector<std::string> lines_;
};

/// True when `text` has digits (hex digits with `hex`) from `from` on, and nothing else.
bool allDigits(const std::string& text, std::size_t from, bool hex) {
    for (std::size_t i = from; i < text.size(); ++i) {
        const int c = static_cast<unsigned char>(text[i]);
        if ((hex ? std::isxdigit(c) : std::isdigit(c)) == 0) {
            return false;
        }
    }
    return text.size() > from;
}

/// A hex literal ("0X..." upper case): hex digits only, naming a byte from 0x01 to 0xff.
void checkHex(const std::string& word, Collector& found) {
    if (!allDigits(word, 2, true)) {
        found.add("<" + word + "> is not a hex number");
        return;
    }
    const std::size_t firstSignificant = word.find_first_not_of('0', 2);
    if (firstSignificant == std::string::npos) {
        found.add("<" + word + "> strokes nothing (hex codes run from 0x01 to 0xff)");
    } else if (word.size() - firstSignificant > 2) {
        found.add("<" + word + "> is above 0xff (only its low byte would be stroked)");
    }
}

void checkVerb(const Verb& verb, const std::vector<std::string>& words, Collector& found) {
    const std::string name = verb.name;
    if (!verb.takesNumber()) {
        if (words.size() > 1) {
            found.add(name + " takes no words after it (<" + words[1] + "> would be ignored)");
        }
        return;
    }
    const std::string range =
        " (" + std::to_string(verb.min) + "-" + std::to_string(verb.max) + ")";
    if (words.size() < 2) {
        found.add(name + " needs a number" + range);
        return;
    }
    const std::string& text = words[1];
    if (!allDigits(text, 0, false)) {
        found.add(name + ": <" + text + "> is not a number" + range);
    } else {
        const std::size_t significant = text.find_first_not_of('0');
        const int number = significant == std::string::npos ? 0
                           : text.size() - significant > 3  ? verb.max + 1
                                                            : parseDecimalInt(text);
        if (number < verb.min || number > verb.max) {
            found.add(name + ": " + text + " is out of range" + range);
        }
    }
    if (words.size() > 2) {
        found.add(name + " takes one number (<" + words[2] + "> would be ignored)");
    }
}

}  // namespace

namespace strict {

std::vector<std::string> problems(const std::vector<std::string>& words,
                                  const std::string& location) {
    instance();  // the key and menu tables
    Collector found(location);
    if (words.empty()) {
        return {};
    }
    std::string first = words[0];
    toUpperInPlace(first);
    if (const Verb* const verb = findVerb(first)) {
        checkVerb(*verb, words, found);
        return found.take();
    }
    const bool recorded = first == "R" || first == "RD";
    for (std::size_t i = recorded ? 1 : 0; i < words.size(); ++i) {
        std::string word = words[i];
        toUpperInPlace(word);
        if (word.size() > 2 && word[0] == '0' && word[1] == 'X') {
            checkHex(word, found);
        } else if (lookupKeyCode(word) != 0 || !lookupCompound(word).empty()) {
            continue;
        } else if (word == "R" || word == "RD") {
            found.add("<" + word + "> works only as the first word");
        } else if (findVerb(word) != nullptr) {
            found.add("<" + word + "> works only as the first word, alone with its number");
        } else {
            found.addUnknown(word, "unknown word");
        }
    }
    return found.take();
}

int report(const std::vector<std::string>& words, const std::string& location) {
    int count = 0;
    for (const std::string& line : problems(words, location)) {
        std::cerr << message(line) << '\n';
        count += line.rfind(kSuggestionStart, 0) == 0 ? 0 : 1;
    }
    std::cerr << std::flush;
    return count;
}

}  // namespace strict
