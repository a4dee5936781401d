// The kinds of obituary line the pass counts: the one list of them. The phrases searched for,
// the dispatch, the build's extractor sources and the tests all follow this table.
#pragma once

#include <array>
#include <string_view>

#include "count/extractors/extractors.h"
#include "count/tables.h"

// One kind: the phrases that make a line one, the extractor that cuts its names, and the
// counters it bumps. A one-name kind bumps `victim` of its player only; a two-name kind bumps
// the victim's deaths and `victim`, the killer's kills and `killer`, and the kill matrix.
struct obituary_kind {
    std::string_view extractor;  // the extractor's name
    std::string_view module;     // its source file: src/count/extractors/<module>.cpp
    stats_t (*extract)(std::string_view, cpu_path);
    bool two_names;
    std::string_view phrase;  // the line holds this phrase ...
    std::string_view anchor;  // (the word of it the search sweeps for; kinds may share one)
    std::string_view also;    // ... and this one too, unless empty: a word too common to sweep
                              // for, looked for only in lines with the phrase
    counter victim;           // or the single player's counter
    counter killer;           // a two-name kind's
};

// Tried in this order; one line may be of several kinds.
inline constexpr auto obituary_kinds = std::to_array<obituary_kind>({
    {"suicide", "suicide", suicide, false, "in the wrong place", "wrong", "", void_suicides,
     void_suicides},
    {"melted", "melted", melted, false, "melted himself", "himself", "", plasma_suicides,
     plasma_suicides},
    {"lava", "lava", lava, false, "into the lava", "lava", "", lava_suicides, lava_suicides},
    {"blown", "blown", blown, false, "blew himself up", "himself", "", rocket_suicides,
     rocket_suicides},
    {"cratered", "cratered", cratered, false, "cratered", "cratered", "", crater_suicides,
     crater_suicides},
    {"railed", "railed", railed, true, "was railed by", " by", "", rail_deaths, rail_kills},
    {"lightning", "lightninggun", lightning, true, "was electrocuted by", " by", "", lg_deaths,
     lg_kills},
    {"shotgun", "shotgun", shotgun, true, "was gunned down by", " by", "", sg_deaths, sg_kills},
    {"machinegun", "machinegun", machinegun, true, "machinegunned by", " by", "", mg_deaths,
     mg_kills},
    {"plasmagun", "plasmagun", plasmagun, true, "melted by", " by", "", pg_deaths, pg_kills},
    {"almost_rocketed", "almost_rocketed", almost_rocketed, true, "almost dodged", "dodged", "",
     rl_close_deaths, rl_close_kills},
    {"gauntlet", "gauntlet", gauntlet, true, "was pummeled by", " by", "", gauntlet_deaths,
     gauntlet_kills},
    {"rocket_hit", "rocket_hit", rocket_hit, true, "rocket", "rocket", "ate", rl_direct_deaths,
     rl_direct_kills},
});

// The phrase of a round end, and the word of it the search sweeps for.
inline constexpr std::string_view round_end_phrase = "fraglimit";
inline constexpr std::string_view round_end_anchor = "fraglimit";
