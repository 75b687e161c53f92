// The foot controller's menu tree as command words: each compound name expands into the
// keys (and other compound names) that walk from performance mode to that page.
#pragma once

#include <map>
#include <string>

/// Compound name (upper case) to expansion text, in byte-wise name order.
extern std::map<std::string, std::string> compoundCommands;

/// Inserts every menu page into compoundCommands.
void fillCompoundCommands();

/// The expansion stored under `name` (exact match), or empty text when there is none.
std::string lookupCompound(const std::string& name);
