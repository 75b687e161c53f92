#include "keypad/KeyCodes.h"

#include "keypad/TextHelpers.h"

std::map<std::string, KeyCode> keyCodes;

void fillKeyCodes() {
    keyCodes.insert({
        {"MODE", 0xF0}, {"9", 0xF0},     {"PC", 0xF1},    {"1", 0xF1},  {"CP", 0xF2},
        {"5", 0xF2},    {"ENTER", 0xF3}, {"PB", 0xF4},    {"7", 0xF4},  {"PREV", 0xF5},
        {"SEND", 0xF5}, {"N-ON", 0xF6},  {"3", 0xF6},     {"+", 0xF7},  {"SET", 0xF7},
        {"SYS", 0xF8},  {"8", 0xF8},     {"0", 0xF9},     {"KP", 0xFA}, {"4", 0xFA},
        {"NEXT", 0xFB}, {"MENU", 0xFB},  {"N-OFF", 0xFC}, {"6", 0xFC},  {"-", 0xFD},
        {"BANK", 0xFD}, {"CC", 0xFE},    {"2", 0xFE},
    });
}

KeyCode lookupKeyCode(const std::string& name) {
    const auto row = keyCodes.find(name);
    return row == keyCodes.end() ? 0 : row->second;
}

KeyCode tokenToKeyCode(const std::string& word) {
    if (word.size() > 2 && word[0] == '0' && word[1] == 'X') {
        return parseHexInt(word);
    }
    return lookupKeyCode(word);
}
