#include "phrases.h"

phrase_set find_phrases(std::string_view text) {
    phrase_set found = 0;
    for (unsigned p = 0; p < phrase_count; ++p) {
        if (p == ph_ate) {
            continue;
        }
        if (text.find(phrase_text[p]) != std::string_view::npos) {
            found |= bit(static_cast<phrase>(p));
        }
    }
    if ((found & bit(ph_rocket)) != 0 && text.find(phrase_text[ph_ate]) != std::string_view::npos) {
        found |= bit(ph_ate);
    }
    return found;
}
