#include "count/extractors/name_cutter.h"

// "Bob cratered": the name ends at a blank before "cr".
stats_t cratered(std::string_view readPtr, cpu_path path) {
    constexpr one_name_rules rules{" cr"};
    return cut_one_name_with<rules>(path, readPtr);
}
