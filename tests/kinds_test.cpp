// The table of kinds against what follows from it elsewhere: the rules of names, the phrases
// searched for, and a line of each kind counted as that kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "count/kinds.h"
#include "count/phrases.h"
#include "test_support.h"

namespace {

// Every rule of names is some kind's, and kinds have names of their own.
TEST(Kinds, EachRuleOfNamesIsUsedAndEachKindNamedOnce) {
    std::set<std::string_view> names;
    std::set<std::string_view> rules;
    for (const obituary_kind& kind : obituary_kinds) {
        names.insert(kind.name);
        rules.insert(info_of(kind.cut).name);
    }
    EXPECT_EQ(names.size(), obituary_kinds.size()) << "a name per kind";
    std::set<std::string_view> table;
    for (const cut_rule_info& rule : cut_rule_table) {
        table.insert(rule.name);
    }
    EXPECT_EQ(rules, table) << "a rule of names no kind cuts by";
}

// Each kind's phrases are searched for, and a line that holds them is found to hold them.
TEST(Kinds, EveryPhraseOfAKindIsSearchedFor) {
    for (const obituary_kind& kind : obituary_kinds) {
        SCOPED_TRACE(kind.name);
        auto listed = [](std::string_view text) {
            return std::any_of(pass_phrases.begin(), pass_phrases.end(),
                               [&](const phrase_entry& p) { return p.text == text; });
        };
        EXPECT_TRUE(listed(kind.phrase));
        EXPECT_TRUE(kind.also.empty() || listed(kind.also));
        std::string line = "V " + std::string(kind.phrase) + " " + std::string(kind.also) + "\n";
        phrase_set found = find_phrases(line);
        std::size_t k = static_cast<std::size_t>(&kind - obituary_kinds.data());
        EXPECT_EQ(found & phrases_of_kind[k], phrases_of_kind[k]);
        EXPECT_EQ(found & round_end_phrases, 0u);
    }
    EXPECT_NE(find_phrases("fraglimit hit\n") & round_end_phrases, 0u);
}

using KindLines = TablesTest;

// A real line of one kind and the counters it must bump, written out here rather than taken from
// the table of kinds: the victim (or the one player) Bob, the killer Sam.
struct kind_line {
    std::string_view kind;
    std::string_view line;
    std::vector<counter> bob;
    std::vector<counter> sam;  // empty for a death without a killer
};

const kind_line kind_lines[] = {
    {"suicide", "Bob was in the wrong place\n", {void_suicides}, {}},
    {"melted", "Bob melted himself.\n", {plasma_suicides}, {}},
    {"lava", "Bob does a back flip into the lava.\n", {lava_suicides}, {}},
    {"blown", "Bob blew himself up.\n", {rocket_suicides}, {}},
    {"cratered", "Bob cratered.\n", {crater_suicides}, {}},
    {"railed", "Bob was railed by Sam\n", {deaths, rail_deaths}, {kills, rail_kills}},
    {"lightning", "Bob was electrocuted by Sam\n", {deaths, lg_deaths}, {kills, lg_kills}},
    {"shotgun", "Bob was gunned down by Sam\n", {deaths, sg_deaths}, {kills, sg_kills}},
    {"machinegun", "Bob was machinegunned by Sam\n", {deaths, mg_deaths}, {kills, mg_kills}},
    {"plasmagun", "Bob was melted by Sam's plasmagun\n", {deaths, pg_deaths}, {kills, pg_kills}},
    {"almost_rocketed",
     "Bob almost dodged Sam's rocket\n",
     {deaths, rl_close_deaths},
     {kills, rl_close_kills}},
    {"gauntlet", "Bob was pummeled by Sam\n", {deaths, gauntlet_deaths}, {kills, gauntlet_kills}},
    {"rocket_hit", "Bob ate Sam's rocket\n", {deaths, rl_direct_deaths}, {kills, rl_direct_kills}},
};

std::array<std::int32_t, classic_counter_count> row_of(const std::vector<counter>& bumped) {
    std::array<std::int32_t, classic_counter_count> row{};
    for (counter c : bumped) {
        row[static_cast<std::size_t>(c)] = 1;
    }
    return row;
}

// A line of each kind, counted through the pass, claims its names and bumps that kind's counters
// and no other, and a two-name kind counts the kill in the matrix.
TEST_F(KindLines, ALineOfEachKindBumpsThatKindsCounters) {
    std::set<std::string_view> covered;
    for (const kind_line& c : kind_lines) {
        SCOPED_TRACE(c.line);
        covered.insert(c.kind);
        empty_tables();
        ASSERT_TRUE(examine_line(*tables, c.line, find_phrases(c.line)));
        bool two_names = !c.sam.empty();
        ASSERT_EQ(tables->player_count, two_names ? 2 : 1);
        EXPECT_EQ(tables->lookup_player("Bob"), 0);
        EXPECT_EQ(tables->stats[0], row_of(c.bob));
        if (two_names) {
            EXPECT_EQ(tables->lookup_player("Sam"), 1);
            EXPECT_EQ(tables->stats[1], row_of(c.sam));
            EXPECT_EQ(tables->who_killed_who[1][0], 1);
            EXPECT_EQ(tables->who_killed_who[0][1], 0);
        } else {
            EXPECT_EQ(tables->who_killed_who[0][0], 0);
        }
    }
    std::set<std::string_view> kinds;
    for (const obituary_kind& kind : obituary_kinds) {
        kinds.insert(kind.name);
    }
    EXPECT_EQ(covered, kinds) << "a line of every kind";
}

}  // namespace
