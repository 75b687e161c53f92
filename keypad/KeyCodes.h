// The foot controller's keys: their names, the codes that press them on the port, and
// the rule that reads a command word as one key.
#pragma once

#include <cstdint>
#include <map>
#include <string>

/// A value for the port's data register: a key code, or 0 for "not a key".
using KeyCode = std::int32_t;

/// All data lines high: no key pressed.
constexpr KeyCode kIdle = 0xFF;
/// NEXT and MENU share this code; each press on the way in is undone by one PREV.
constexpr KeyCode kNextOrMenu = 0xFB;
/// ENTER; each one on the way in is undone by PREV then ENTER.
constexpr KeyCode kEnter = 0xF3;

/// Key name (upper case) to key code, in byte-wise name order; 28 names for 15 codes.
extern std::map<std::string, KeyCode> keyCodes;

/// Inserts every key name into keyCodes.
void fillKeyCodes();

/// The code stored under `name` (exact match), or 0.
KeyCode lookupKeyCode(const std::string& name);

/// The key that an upper-cased command word names: a hex literal ("0XFB") or a key name.
/// 0 when the word is not a key.
KeyCode tokenToKeyCode(const std::string& word);
