#include "count/extractors/name_cutter.h"

// "Bob does a back flip into the lava": the name ends at any byte before "does".
stats_t lava(std::string_view readPtr, cpu_path path) {
    constexpr one_name_rules rules{"?does"};
    return cut_one_name_with<rules>(path, readPtr);
}
