#include "count/phrases.h"

phrase_set find_phrases(std::string_view text, cpu_path path) {
    using search = phrase_search<pass_phrases>;
    return search::find(text, search::sweep_for(path));
}
