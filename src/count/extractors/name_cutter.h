// The one routine every extractor runs, with rules of its own (cut_rules.h tells what a pattern
// is). Each extractor calls it with its rules as a template argument:
//
//   constexpr two_name_rules rules{" wa", "ed by", "   ", true};
//   return cut_two_names<rules>(readPtr);
#pragma once

#include <string_view>

#include "count/extractors/cut_rules.h"
#include "count/extractors/extractors.h"
#include "count/extractors/name_cutter_avx512.h"
#include "count/extractors/name_cutter_sse2.h"
#include "scan/cpu.h"

// The portable path, for rules known at run time too: the plain search every build has.
stats_t cut_one_name_portable(std::string_view text, const one_name_rules& rules);
stats_t cut_two_names_portable(std::string_view text, const two_name_rules& rules);

// Returns a record holding in curname the text from position 0 up to the first match of
// first_end at position 1 or later, cut to max_name_length bytes; found on the given CPU path,
// which the CPU must have (the AVX2 path takes the SSE2 one's cutter).
template <one_name_rules rules>
stats_t cut_one_name_with(cpu_path path, std::string_view text) {
#if FRAGTALLY_X86_64
    if (text.size() <= cut_masks::window_size) {
        if (path == cpu_path::avx512) {
            return avx512_cut::cut_one_name<rules>(text);
        }
        if (path != cpu_path::portable) {
            return sse2_cut::cut_one_name<rules>(text);
        }
    }
#endif
    static_cast<void>(path);
    return cut_one_name_portable(text, rules);
}

// Returns a record holding that first name under first_end in vicname, and in aggname the
// killer's name under the other rules: empty when the start pattern is missing or the text ends
// before the name would begin, else cut to max_name_length bytes; found on the given CPU path,
// which the CPU must have.
template <two_name_rules rules>
stats_t cut_two_names_with(cpu_path path, std::string_view text) {
#if FRAGTALLY_X86_64
    if (text.size() <= cut_masks::window_size) {
        if (path == cpu_path::avx512) {
            return avx512_cut::cut_two_names<rules>(text);
        }
        if (path != cpu_path::portable) {
            return sse2_cut::cut_two_names<rules>(text);
        }
    }
#endif
    static_cast<void>(path);
    return cut_two_names_portable(text, rules);
}
