#include "count/extractors/name_cutter.h"

// "Bob was melted by Sam's plasmagun": the killer ends at the byte before "s p" and never at a line
// feed.
stats_t plasmagun(std::string_view readPtr, cpu_path path) {
    constexpr two_name_rules rules{" wa", "ed by", "?s p", false};
    return cut_two_names_with<rules>(path, readPtr);
}
