// Tab completion at the prompt: the words it completes, and the completion of the word
// before the cursor.
#pragma once

#include <set>
#include <string>

#ifdef PMC10_HAVE_LIBEDIT
#include <histedit.h>
#endif

/// Every word Tab completes: key names, compound words and verbs, in lower case.
std::set<std::string> completionWords();

#ifdef PMC10_HAVE_LIBEDIT
/// Completes the word before the cursor: in full when one word fits, else as far as all
/// that fit agree, listing them when that adds nothing.
/// `words` are those it may complete to; the answer is libedit's for the key.
unsigned char completeWord(EditLine* editLine, const std::set<std::string>& words);
#endif
