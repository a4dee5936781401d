#include "count/extractors/name_cutter.h"

// "Bob almost dodged Sam's rocket": the killer starts after "dged" and ends at the byte before "s",
// any byte, "roc".
stats_t almost_rocketed(std::string_view readPtr, cpu_path path) {
    constexpr two_name_rules rules{"?almo", "dged", "?s?roc", false};
    return cut_two_names_with<rules>(path, readPtr);
}
