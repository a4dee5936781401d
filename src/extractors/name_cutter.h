// The one routine every extractor runs, with rules of its own (cut_rules.h tells what a pattern
// is). Each extractor calls it with its rules as a template argument:
//
//   constexpr two_name_rules rules{" wa", "ed by", "   ", true};
//   return cut_two_names<rules>(readPtr);
#pragma once

#include <string_view>

#include "extractors/cut_rules.h"
#include "extractors/extractors.h"
#include "extractors/name_cutter_avx512.h"
#include "extractors/name_cutter_sse2.h"

// The ways of finding the patterns. All cut the same names: the portable one is the plain
// search every build has, the others need SSE2, or AVX-512 and BMI2 of the CPU the program
// runs on (cutter_available tells).
enum class cutter { portable, sse2, avx512 };

// Returns whether this build, on this CPU, has the way.
bool cutter_available(cutter way);

// The way cut_one_name and cut_two_names take: the fastest available, chosen once at start.
// Until then (in another file's start-up code) it is the portable way, which is always there.
extern const cutter fastest_cutter;

// The portable way, for rules known at run time too.
stats_t cut_one_name_portable(std::string_view text, const one_name_rules& rules);
stats_t cut_two_names_portable(std::string_view text, const two_name_rules& rules);

// Returns a record holding in curname the text from position 0 up to the first match of
// first_end at position 1 or later, cut to max_name_length bytes; found the given way, which
// must be available.
template <one_name_rules rules>
stats_t cut_one_name_with(cutter way, std::string_view text) {
#if FRAGTALLY_CUTTER_AVX512
    if (way == cutter::avx512 && text.size() <= cut_masks::window_size) {
        return avx512_cut::cut_one_name<rules>(text);
    }
#endif
#if FRAGTALLY_CUTTER_SSE2
    if (way == cutter::sse2 && text.size() <= cut_masks::window_size) {
        return sse2_cut::cut_one_name<rules>(text);
    }
#endif
    static_cast<void>(way);
    return cut_one_name_portable(text, rules);
}

// Returns a record holding that first name under first_end in vicname, and in aggname the
// killer's name under the other rules: empty when the start pattern is missing or the text ends
// before the name would begin, else cut to max_name_length bytes; found the given way, which
// must be available.
template <two_name_rules rules>
stats_t cut_two_names_with(cutter way, std::string_view text) {
#if FRAGTALLY_CUTTER_AVX512
    if (way == cutter::avx512 && text.size() <= cut_masks::window_size) {
        return avx512_cut::cut_two_names<rules>(text);
    }
#endif
#if FRAGTALLY_CUTTER_SSE2
    if (way == cutter::sse2 && text.size() <= cut_masks::window_size) {
        return sse2_cut::cut_two_names<rules>(text);
    }
#endif
    static_cast<void>(way);
    return cut_two_names_portable(text, rules);
}

template <one_name_rules rules>
stats_t cut_one_name(std::string_view text) {
    return cut_one_name_with<rules>(fastest_cutter, text);
}

template <two_name_rules rules>
stats_t cut_two_names(std::string_view text) {
    return cut_two_names_with<rules>(fastest_cutter, text);
}
