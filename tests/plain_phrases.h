// The obviously correct phrase search that every CPU path of the fast one is checked against.
#pragma once

#include <string_view>

#include "count/phrases.h"

// Returns the phrases of the list in the text, found with one plain search each; a phrase
// without an anchor word only along with the phrase it goes with, as the fast search reports it.
template <const auto& list = pass_phrases>
phrase_set plain_find_phrases(std::string_view text) {
    phrase_set found = 0;
    for (std::size_t p = 0; p < list.size(); ++p) {
        if (text.find(list[p].text) != std::string_view::npos) {
            found |= phrase_bit(p);
        }
    }
    for (std::size_t p = 0; p < list.size(); ++p) {
        if (list[p].anchor.empty() && (found & phrase_bit(list[p].with)) == 0) {
            found &= ~phrase_bit(p);
        }
    }
    return found;
}
