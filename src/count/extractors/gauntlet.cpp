#include "count/extractors/name_cutter.h"

// "Bob was pummeled by Sam": the victim ends at any byte before "was", the killer starts after "d",
// any byte, "by" and ends at a line feed or three blanks.
stats_t gauntlet(std::string_view readPtr, cpu_path path) {
    constexpr two_name_rules rules{"?was", "d?by", "   ", true};
    return cut_two_names_with<rules>(path, readPtr);
}
