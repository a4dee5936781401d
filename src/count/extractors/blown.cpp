#include "count/extractors/name_cutter.h"

// "Bob blew himself up": the name ends at any byte before "blew".
stats_t blown(std::string_view readPtr, cpu_path path) {
    constexpr one_name_rules rules{"?blew"};
    return cut_one_name_with<rules>(path, readPtr);
}
