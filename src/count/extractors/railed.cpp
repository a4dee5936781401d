#include "count/extractors/name_cutter.h"

// "Bob was railed by Sam": the victim ends at a blank before "wa", the killer at a line feed or
// three blanks.
stats_t railed(std::string_view readPtr, cpu_path path) {
    constexpr two_name_rules rules{" wa", "ed by", "   ", true};
    return cut_two_names_with<rules>(path, readPtr);
}
