#include "count/extractors/name_cutter.h"

// "Bob cratered": the name ends at a blank before "cr".
stats_t cratered(std::string_view readPtr) {
    constexpr one_name_rules rules{" cr"};
    return cut_one_name<rules>(readPtr);
}
