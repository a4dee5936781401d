#include "count/extractors/name_cutter.h"

// "Bob ate Sam's rocket": the killer starts after the first "ate" of the line, even one inside the
// victim's name ("Kate ate Sam's rocket" gives the killer "ate Sam"), and ends at the byte before
// "s", any byte, "ro".
stats_t rocket_hit(std::string_view readPtr, cpu_path path) {
    constexpr two_name_rules rules{"?ate", "ate", "?s?ro", false};
    return cut_two_names_with<rules>(path, readPtr);
}
