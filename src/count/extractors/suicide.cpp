#include "count/extractors/name_cutter.h"

// "Bob was in the wrong place": the name ends at any byte before "wa", so "Edward was in the wrong
// place" gives "E".
stats_t suicide(std::string_view readPtr, cpu_path path) {
    constexpr one_name_rules rules{"?wa"};
    return cut_one_name_with<rules>(path, readPtr);
}
