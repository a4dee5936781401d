// The kinds of obituary line the pass counts: the one list of them. The phrases searched for,
// the dispatch, the listing of the tables and the tests' models all follow this table.
#pragma once

#include <array>
#include <string_view>

#include "count/extractors/extractors.h"
#include "count/tables.h"

// One kind: the phrases that make a line one, the rule its names are cut by, and the counters
// it bumps. A one-name kind bumps `victim` of its player only; a two-name kind bumps the
// victim's deaths and `victim`, the killer's kills and `killer`, and the kill matrix.
struct obituary_kind {
    std::string_view name;
    cut_rule cut;             // which rule of names (extractors.h) its lines are cut by
    std::string_view phrase;  // the line holds this phrase ...
    std::string_view anchor;  // (the word of it the search sweeps for; kinds may share one)
    std::string_view also;    // ... and this one too, unless empty: a word too common to sweep
                              // for, looked for only in lines with the phrase
    counter victim;           // or the single player's counter
    counter killer;           // a two-name kind's; a one-name kind repeats `victim`

    // Whether its lines name a victim and a killer, as its rule of names cuts two.
    constexpr bool two_names() const { return info_of(cut).two_names; }
};

// Tried in this order; one line may be of several kinds.
inline constexpr auto obituary_kinds = std::to_array<obituary_kind>({
    {"suicide", cut_rule::any_before_wa, "in the wrong place", "wrong", "", void_suicides,
     void_suicides},
    {"melted", cut_rule::any_before_melt, "melted himself", "himself", "", plasma_suicides,
     plasma_suicides},
    {"lava", cut_rule::any_before_does, "into the lava", "lava", "", lava_suicides, lava_suicides},
    {"blown", cut_rule::any_before_blew, "blew himself up", "himself", "", rocket_suicides,
     rocket_suicides},
    {"cratered", cut_rule::blank_before_cr, "cratered", "cratered", "", crater_suicides,
     crater_suicides},
    {"railed", cut_rule::by_to_line_end, "was railed by", " by", "", rail_deaths, rail_kills},
    {"lightning", cut_rule::by_to_line_end, "was electrocuted by", " by", "", lg_deaths, lg_kills},
    {"shotgun", cut_rule::down_by_to_two_blanks, "was gunned down by", " by", "", sg_deaths,
     sg_kills},
    {"machinegun", cut_rule::by_to_line_end, "machinegunned by", " by", "", mg_deaths, mg_kills},
    {"plasmagun", cut_rule::by_to_s_p, "melted by", " by", "", pg_deaths, pg_kills},
    {"almost_rocketed", cut_rule::dodged_to_s_roc, "almost dodged", "dodged", "", rl_close_deaths,
     rl_close_kills},
    {"gauntlet", cut_rule::pummeled_by_to_line_end, "was pummeled by", " by", "", gauntlet_deaths,
     gauntlet_kills},
    {"rocket_hit", cut_rule::ate_to_s_ro, "rocket", "rocket", "ate", rl_direct_deaths,
     rl_direct_kills},
});

// The phrase of a round end, and the word of it the search sweeps for.
inline constexpr std::string_view round_end_phrase = "fraglimit";
inline constexpr std::string_view round_end_anchor = "fraglimit";
