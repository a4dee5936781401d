// One cutter per rule of names, each compiled for its own patterns (the name cutter takes them
// as template arguments), in a table indexed by the rule.
#include <utility>

#include "count/extractors/name_cutter.h"

namespace {

template <std::size_t i>
stats_t cut_by(std::string_view text, cpu_path path) {
    constexpr cut_rule_info rule = cut_rule_table[i];
    if constexpr (rule.two_names) {
        constexpr two_name_rules rules{rule.first_end, rule.start, rule.second_end,
                                       rule.second_ends_at_line_feed};
        return cut_two_names_with<rules>(path, text);
    } else {
        constexpr one_name_rules rules{rule.first_end};
        return cut_one_name_with<rules>(path, text);
    }
}

template <std::size_t... i>
constexpr std::array<cut_function, sizeof...(i)> cutters_of(std::index_sequence<i...>) {
    return {&cut_by<i>...};
}

}  // namespace

constinit const std::array<cut_function, cut_rule_count> cutters =
    cutters_of(std::make_index_sequence<cut_rule_count>{});
