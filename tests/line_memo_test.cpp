// The memo of lines already counted: a line seen again must count exactly as examining it anew
// would, whatever happened to the tables in between.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "count/line_memo.h"
#include "test_support.h"

namespace {

// A round as the results hold it: its lines, and each claimed slot's counters and kills in it.
struct round_state {
    std::uint64_t first_line;
    std::uint64_t last_line;
    bool ended;
    std::vector<counter_values> counters;
    std::vector<std::int32_t> kills;  // by killer, then victim
    bool operator==(const round_state&) const = default;
};

// Everything a pass leaves in the tables.
struct tables_state {
    std::array<name_slot, max_players> names;
    int players;
    std::array<std::array<std::int32_t, classic_counter_count>, max_players> counters;
    std::array<std::array<std::int32_t, max_players>, max_players> matrix;
    std::int32_t round_ends;
    std::uint64_t uncounted;
    std::uint64_t lines;
    std::vector<round_state> rounds;
    bool operator==(const tables_state& other) const = default;
};

// Takes the closed rounds out of the tables, so once at the end of a pass.
tables_state snapshot(const classic_tables& tables) {
    tables_state state{
        tables.name,   tables.player_count,         tables.stats,      tables.who_killed_who,
        tables.rounds, tables.uncounted_obituaries, tables.lines_read, {}};
    run_results results = results_of_pass(tables, "log");
    auto players = static_cast<std::size_t>(tables.player_count);
    for (const round_result& round : results.rounds) {
        round_state& kept = state.rounds.emplace_back(
            round_state{round.first_line(), round.last_line(), round.ended(), {}, {}});
        for (std::size_t k = 0; k < players; ++k) {
            kept.counters.push_back(round.counters_of(k));
            for (std::size_t v = 0; v < players; ++v) {
                kept.kills.push_back(round.kills().killed(k, v));
            }
        }
    }
    return state;
}

// The tables after examining each line of the log on its own, with no memo: the log's lines
// must be short, and free of carriage returns and zero bytes.
tables_state examined_one_by_one(const std::string& log) {
    auto tables = std::make_unique<classic_tables>();
    for (std::size_t at = 0; at < log.size();) {
        std::size_t end = log.find('\n', at);
        if (end == std::string::npos) {
            break;  // an unended last line is not read
        }
        std::string_view text = std::string_view(log).substr(at, end + 1 - at);
        if (!examine_line(*tables, text, find_phrases(text))) {
            break;
        }
        at = end + 1;
    }
    return snapshot(*tables);
}

tables_state passed(const std::string& log) {
    auto tables = std::make_unique<classic_tables>();
    run_on(*tables, log);
    return snapshot(*tables);
}

std::string joined(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts) {
        out.append(part);
    }
    return out;
}

std::string repeated(const std::string& line, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += line;
    }
    return out;
}

// Lines that claim slots for new names one by one, "P0 cratered" and so on.
std::string new_players(int first, int count) {
    std::string out;
    for (int i = first; i < first + count; ++i) {
        out.append("P").append(std::to_string(i)).append(" cratered\n");
    }
    return out;
}

struct memo_case {
    const char* what;
    std::string log;
};

std::vector<memo_case> memo_cases() {
    const std::string rail = "Bob was railed by Sam\n";
    const std::string two_rows = "Kate almost dodged Sam's rocket\n";  // "ate" in Kate: 2 rows
    const std::string three_rows = "Kate almost dodged Sam's rocket was railed by Al\n";
    const std::string round_end = "Sam hit the fraglimit. Bob was railed by Sam\n";
    // One line more than a set of the memo holds, each seen twice in a row: with every text
    // hashing alike, each new one pushes out one seen before, sightings not yet settled and all.
    const char* const kinds[] = {" was railed by ", " was machinegunned by ", " almost dodged "};
    std::string turns = repeated("Sam cratered\n", 2);
    for (std::size_t i = 1; i <= memo_detail::memo_ways; ++i) {
        const char* kind = kinds[i % 3];
        turns += repeated("Bob" + std::to_string(i % 4) + kind + "Al" + std::to_string(i / 4) +
                              (i % 3 == 2 ? "'s rocket\n" : "\n"),
                          2);
    }
    // Every pair of a hundred names, as many distinct lines as fill thousands of the memo's
    // sets: settling them gathers far more than one block of sightings at a time.
    std::string pairs;
    for (int killer = 0; killer < 100; ++killer) {
        for (int victim = 0; victim < 100; ++victim) {
            if (victim != killer) {
                pairs += "P" + std::to_string(victim) + " was railed by P" +
                         std::to_string(killer) + "\n";
            }
        }
    }
    return {
        {"the same line before and after its names get slots", rail + rail + rail},
        {"every pair of a hundred names, seen again across round ends",
         joined({pairs, "fraglimit hit\n", pairs, "fraglimit hit\n", pairs})},
        {"a one-name line repeated", repeated("Bob cratered\n", 3)},
        {"a line firing two rows repeated", repeated(two_rows, 3)},
        {"a line firing three rows repeated", repeated(three_rows, 3)},
        {"a line without a phrase but with a spot repeated", repeated("ate a pie\n", 3)},
        {"the table filling up between two copies of a line",
         joined({rail, new_players(0, max_players - 2), rail, new_players(200, 3), rail})},
        {"a line uncounted on a full table, repeated",
         joined({new_players(0, max_players), repeated(rail, 3)})},
        {"a line uncounted while one slot is free, then one name gets it",
         joined({new_players(0, max_players - 1), rail, "Bob cratered\n", rail, rail})},
        {"a repeated round-end line with an obituary on it", repeated(round_end, 5)},
        {"a line repeated in several rounds",
         joined({rail, rail, "fraglimit\n", rail, "fraglimit\n", "fraglimit\n", rail, rail})},
        {"a repeated round-end line past the round limit", repeated(round_end, round_limit + 3)},
        {"one line more than a set holds, each seen twice, taking turns", repeated(turns, 4)},
        {"lines seen again on both sides of round ends",
         joined({turns, turns, "fraglimit\n", turns, rail, "fraglimit\n", turns, turns})},
        {"a line repeated across read boundaries", repeated(rail, (1 << 20) / 22 + 7)},
        {"lines alike but for their last byte",
         "Bob was railed by Sam\nBob was railed by Sa\nBob was railed by Sam\n"},
        {"lines alike but for their length", "Bob cratered\nBob cratered \nBob cratered\n"},
        {"a line too long to remember repeated",
         repeated("Bob was railed by Sam, who is nowhere near as good as he thinks he is\n", 3)},
    };
}

// How the memo is set up for a run of the cases.
struct memo_setting {
    const char* name;
    bool alike;                  // every text hashing alike: each new line pushes out the
                                 // one seen longest ago in the only set
    std::uint64_t settle_after;  // 1: settled before every run of lines, mid-round too
};

void PrintTo(const memo_setting& setting, std::ostream* out) {
    *out << setting.name;
}

class LineMemo : public ::testing::TestWithParam<memo_setting> {
  protected:
    void SetUp() override {
        hash_lines_alike(GetParam().alike);
        settle_more_often(GetParam().settle_after);
    }
    void TearDown() override {
        hash_lines_alike(false);
        settle_more_often(0);
    }
};

TEST_P(LineMemo, ARepeatedLineCountsAsIfExaminedAnew) {
    for (const memo_case& c : memo_cases()) {
        SCOPED_TRACE(c.what);
        tables_state expected = examined_one_by_one(c.log);
        EXPECT_TRUE(passed(c.log) == expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Memo, LineMemo,
                         ::testing::Values(memo_setting{"Spread", false, 0},
                                           memo_setting{"AllAlike", true, 0},
                                           memo_setting{"SettledOften", false, 1}),
                         [](const ::testing::TestParamInfo<memo_setting>& setting) {
                             return setting.param.name;
                         });

class LineMemoFigures : public TablesTest {};

// The oracle above shares examine with the pass; these pin a few of its counts outright.
TEST_F(LineMemoFigures, RepeatsAreCountedEveryTime) {
    hash_lines_alike(false);
    run_on(repeated("Bob was railed by Sam\n", (1 << 20) / 22 + 7));
    EXPECT_EQ(tables->stats[static_cast<std::size_t>(slot_of("Sam"))][rail_kills],
              (1 << 20) / 22 + 7);

    empty_tables();
    run_on(repeated("Kate almost dodged Sam's rocket\n", 4));
    EXPECT_EQ(total(rl_close_deaths), 4);
    EXPECT_EQ(total(rl_direct_kills), 4);

    empty_tables();
    pass_run run = run_on(repeated("Sam hit the fraglimit. Bob was railed by Sam\n", 60));
    EXPECT_EQ(run.end, pass_end::round_limit_stop);
    EXPECT_EQ(tables->rounds, round_limit + 1);
    EXPECT_EQ(total(rail_deaths), round_limit);

    empty_tables();
    run_on(joined({new_players(0, max_players), repeated("Bob was railed by Sam\n", 3)}));
    EXPECT_EQ(tables->uncounted_obituaries, 3u);
}

// The memo holds slots of the tables it was filled against: a pass on new tables must not
// count them.
TEST_F(LineMemoFigures, EmptiedTablesForgetTheLines) {
    run_on("Al cratered\nBob was railed by Sam\n");
    empty_tables();
    run_on("Bob was railed by Sam\n");
    EXPECT_EQ(slot_of("Bob"), 0);
    EXPECT_EQ(tables->stats[0][rail_deaths], 1);
    EXPECT_EQ(tables->stats[0][crater_suicides], 0);
}

}  // namespace
