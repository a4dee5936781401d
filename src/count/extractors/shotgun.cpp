#include "count/extractors/name_cutter.h"

// "Bob was gunned down by Sam": the killer starts after "wn by" and ends at a line feed or at two
// blanks.
stats_t shotgun(std::string_view readPtr, cpu_path path) {
    constexpr two_name_rules rules{" wa", "wn by", "  ", true};
    return cut_two_names_with<rules>(path, readPtr);
}
