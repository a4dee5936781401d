#include "count/extractors/name_cutter.h"

// "Bob melted himself": the name ends at any byte before "melt".
stats_t melted(std::string_view readPtr) {
    constexpr one_name_rules rules{"?melt"};
    return cut_one_name<rules>(readPtr);
}
