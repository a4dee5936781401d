// The obviously correct phrase search that the fast scanners are checked against.
#pragma once

#include <string_view>

#include "phrases.h"

// Returns the phrases in the text, found with one plain search each; "ate" only with "rocket",
// as find_phrases reports it.
inline phrase_set plain_find_phrases(std::string_view text) {
    phrase_set found = 0;
    for (unsigned p = 0; p < phrase_count; ++p) {
        if (text.find(phrase_text[p]) != std::string_view::npos) {
            found |= bit(static_cast<phrase>(p));
        }
    }
    if ((found & bit(ph_rocket)) == 0) {
        found &= ~bit(ph_ate);
    }
    return found;
}
