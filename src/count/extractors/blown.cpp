#include "count/extractors/name_cutter.h"

// "Bob blew himself up": the name ends at any byte before "blew".
stats_t blown(std::string_view readPtr) {
    constexpr one_name_rules rules{"?blew"};
    return cut_one_name<rules>(readPtr);
}
