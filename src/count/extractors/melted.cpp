#include "count/extractors/name_cutter.h"

// "Bob melted himself": the name ends at any byte before "melt".
stats_t melted(std::string_view readPtr, cpu_path path) {
    constexpr one_name_rules rules{"?melt"};
    return cut_one_name_with<rules>(path, readPtr);
}
