// The rules of names that the kinds of obituary line cut their player names by, one table of
// them, and the cutter built from each. A cutter reads only the given text, never past its end,
// and keeps no state.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "count/game_limits.h"
#include "scan/cpu.h"

// Names cut from one obituary line, each zero-terminated and at most max_name_length bytes.
// A one-name rule fills curname; a two-name rule fills vicname and aggname.
struct stats_t {
    std::array<char, name_size> curname{};
    std::array<char, name_size> aggname{};  // the killer
    std::array<char, name_size> vicname{};  // the victim
};

// The rules of names, one value each: a kind's row names the one its lines are cut by, and
// kinds whose names sit alike share one.
enum class cut_rule : unsigned char {
    any_before_wa,
    any_before_melt,
    any_before_does,
    any_before_blew,
    blank_before_cr,
    by_to_line_end,
    down_by_to_two_blanks,
    by_to_s_p,
    dodged_to_s_roc,
    pummeled_by_to_line_end,
    ate_to_s_ro,
};

// One rule of names, in patterns as cut_rules.h reads them ('?' is any byte).
struct cut_rule_info {
    cut_rule id;
    std::string_view name;  // the rule's name in the listing of the tables, for the tests' models
    bool two_names;
    std::string_view first_end;     // the first name ends where this is first found, from byte 1 on
    std::string_view start;         // the killer begins one byte after the first match of this ...
    std::string_view second_end;    // ... and ends where this is first found, from his second byte
    bool second_ends_at_line_feed;  // ... or at his first line feed, when this is set
};

// Every rule of names, in the order of cut_rule.
inline constexpr auto cut_rule_table = std::to_array<cut_rule_info>({
    // "Bob was in the wrong place": any byte before "wa", so "Edward was in the wrong place"
    // gives "E".
    {cut_rule::any_before_wa, "any_before_wa", false, "?wa", "", "", false},
    // "Bob melted himself".
    {cut_rule::any_before_melt, "any_before_melt", false, "?melt", "", "", false},
    // "Bob does a back flip into the lava".
    {cut_rule::any_before_does, "any_before_does", false, "?does", "", "", false},
    // "Bob blew himself up".
    {cut_rule::any_before_blew, "any_before_blew", false, "?blew", "", "", false},
    // "Bob cratered": a blank before "cr".
    {cut_rule::blank_before_cr, "blank_before_cr", false, " cr", "", "", false},
    // "Bob was railed by Sam" (and electrocuted, machinegunned): the victim ends at a blank
    // before "wa", the killer at a line feed or three blanks.
    {cut_rule::by_to_line_end, "by_to_line_end", true, " wa", "ed by", "   ", true},
    // "Bob was gunned down by Sam": the killer ends at a line feed or two blanks.
    {cut_rule::down_by_to_two_blanks, "down_by_to_two_blanks", true, " wa", "wn by", "  ", true},
    // "Bob was melted by Sam's plasmagun": the killer ends at the byte before "s p", never at a
    // line feed.
    {cut_rule::by_to_s_p, "by_to_s_p", true, " wa", "ed by", "?s p", false},
    // "Bob almost dodged Sam's rocket": the killer starts after "dged" and ends at the byte
    // before "s", any byte, "roc".
    {cut_rule::dodged_to_s_roc, "dodged_to_s_roc", true, "?almo", "dged", "?s?roc", false},
    // "Bob was pummeled by Sam": the victim ends at any byte before "was", the killer starts
    // after "d", any byte, "by" and ends at a line feed or three blanks.
    {cut_rule::pummeled_by_to_line_end, "pummeled_by_to_line_end", true, "?was", "d?by", "   ",
     true},
    // "Bob ate Sam's rocket": the killer starts after the first "ate" of the line, even one
    // inside the victim's name ("Kate ate Sam's rocket" gives the killer "ate Sam"), and ends
    // at the byte before "s", any byte, "ro".
    {cut_rule::ate_to_s_ro, "ate_to_s_ro", true, "?ate", "ate", "?s?ro", false},
});

// The number of rules of names.
inline constexpr std::size_t cut_rule_count = cut_rule_table.size();

namespace cut_rule_checks {

constexpr bool rows_follow_the_enumeration() {
    for (std::size_t i = 0; i < cut_rule_table.size(); ++i) {
        if (static_cast<std::size_t>(cut_rule_table[i].id) != i || cut_rule_table[i].name.empty()) {
            return false;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (cut_rule_table[j].name == cut_rule_table[i].name) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace cut_rule_checks

static_assert(cut_rule_checks::rows_follow_the_enumeration(),
              "one row per rule of names, in the enumeration's order, each with its own name");

// Returns a rule's row.
constexpr const cut_rule_info& info_of(cut_rule rule) {
    return cut_rule_table[static_cast<std::size_t>(rule)];
}

// A cutter: the names of a line's text under one rule, found on the given CPU path.
using cut_function = stats_t (*)(std::string_view, cpu_path);

// The cutter of each rule, indexed by cut_rule.
extern const std::array<cut_function, cut_rule_count> cutters;

// Returns the names cut by the rule out of a line's text (up to, not including, its first zero
// byte; usually ending in its line feed) that holds its kind's phrase, with the given CPU
// path's cutter, which the CPU must have.
inline stats_t cut_names(cut_rule rule, std::string_view text, cpu_path path = cpu_path::portable) {
    return cutters[static_cast<std::size_t>(rule)](text, path);
}
