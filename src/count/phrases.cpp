#include "count/phrases.h"

phrase_set find_phrases(std::string_view text) {
    return phrase_search<pass_phrases>::find(text);
}
