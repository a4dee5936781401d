// The pass over whole logs: lines, progress, counters, the kill matrix and the round limit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expected_progress.h"
#include "test_support.h"

namespace {

class Pass : public TablesTest {
  protected:
    std::int32_t stat(std::string_view player, counter c) const {
        int slot = slot_of(player);
        return slot == no_slot
                   ? -1
                   : tables->stats[static_cast<std::size_t>(slot)][static_cast<std::size_t>(c)];
    }

    std::int32_t killed(std::string_view killer, std::string_view victim) const {
        int k = slot_of(killer);
        int v = slot_of(victim);
        if (k == no_slot || v == no_slot) {
            return -1;
        }
        return tables->who_killed_who[static_cast<std::size_t>(k)][static_cast<std::size_t>(v)];
    }
};

TEST_F(Pass, OneObituaryFromLineToTables) {
    pass_run run = run_on("Bob was railed by Alice\n");
    EXPECT_EQ(run.end, pass_end::end_of_log);
    EXPECT_EQ(run.progress, "1 lines parsed.\n");
    EXPECT_EQ(tables->lookup_player("Bob"), 0);
    EXPECT_EQ(tables->lookup_player("Alice"), 1);
    EXPECT_EQ(stat("Bob", deaths), 1);
    EXPECT_EQ(stat("Bob", rail_deaths), 1);
    EXPECT_EQ(stat("Alice", kills), 1);
    EXPECT_EQ(stat("Alice", rail_kills), 1);
    EXPECT_EQ(killed("Alice", "Bob"), 1);
    EXPECT_EQ(killed("Bob", "Alice"), 0);
    EXPECT_EQ(total(kills) + total(deaths), 2);
}

TEST_F(Pass, EveryRowBumpsItsOwnCounters) {
    struct row_case {
        const char* line;
        counter victim;  // or the single player's counter
        counter killer;  // kills for one-name rows, which must stay 0
        bool two_names;
    };
    const row_case rows[] = {
        {"V was in the wrong place\n", void_suicides, kills, false},
        {"V melted himself\n", plasma_suicides, kills, false},
        {"V does a back flip into the lava\n", lava_suicides, kills, false},
        {"V blew himself up\n", rocket_suicides, kills, false},
        {"V cratered\n", crater_suicides, kills, false},
        {"V was railed by K\n", rail_deaths, rail_kills, true},
        {"V was electrocuted by K\n", lg_deaths, lg_kills, true},
        {"V was gunned down by K\n", sg_deaths, sg_kills, true},
        {"V was machinegunned by K\n", mg_deaths, mg_kills, true},
        {"V was melted by K's plasmagun\n", pg_deaths, pg_kills, true},
        {"V almost dodged K's rocket\n", rl_close_deaths, rl_close_kills, true},
        {"V was pummeled by K\n", gauntlet_deaths, gauntlet_kills, true},
        {"V ate K's rocket\n", rl_direct_deaths, rl_direct_kills, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        empty_tables();
        run_on(row.line);
        EXPECT_EQ(stat("V", row.victim), 1);
        int bumped = 0;
        for (int p = 0; p < tables->player_count; ++p) {
            for (int c = 0; c < classic_counter_count; ++c) {
                bumped += tables->stats[static_cast<std::size_t>(p)][static_cast<std::size_t>(c)];
            }
        }
        if (row.two_names) {
            EXPECT_EQ(stat("V", deaths), 1);
            EXPECT_EQ(stat("K", row.killer), 1);
            EXPECT_EQ(stat("K", kills), 1);
            EXPECT_EQ(killed("K", "V"), 1);
            EXPECT_EQ(bumped, 4);
        } else {
            EXPECT_EQ(tables->player_count, 1);
            EXPECT_EQ(bumped, 1);  // deaths without a killer touch nothing else
            EXPECT_EQ(tables->who_killed_who[0][0], 0);
        }
    }
}

TEST_F(Pass, OneLineCanFireSeveralRows) {
    // "Kate" holds "ate", so this close call also reads as a direct hit.
    run_on("Kate almost dodged Sam's rocket\n");
    EXPECT_EQ(stat("Kate", rl_close_deaths), 1);
    EXPECT_EQ(stat("Sam", rl_close_kills), 1);
    EXPECT_EQ(stat("Kate almost dodged ", rl_direct_deaths), 1);
    EXPECT_EQ(stat("almost dodged Sam", rl_direct_kills), 1);
    EXPECT_EQ(total(kills), 2);
    EXPECT_EQ(tables->player_count, 4);
}

TEST_F(Pass, TheVictimIsLookedUpFirst) {
    run_on("Zed was railed by Amy\nAmy cratered\n");
    EXPECT_EQ(tables->lookup_player("Zed"), 0);
    EXPECT_EQ(tables->lookup_player("Amy"), 1);
    EXPECT_EQ(stat("Amy", crater_suicides), 1);
}

TEST_F(Pass, EveryLineIsOneStep) {
    const std::string long_chat = "Bob: " + std::string(300, 'a') + "\n";
    struct log_case {
        std::string log;
        std::uint64_t lines;
        int rail_kills_seen;
    };
    const log_case logs[] = {
        {"", 0, 0},
        {"\n", 1, 0},
        {"\n\n\n", 3, 0},
        {"chat\nBob was railed by Sam", 2, 1},          // a last line without its line feed counts
        {long_chat + "Bob was railed by Sam\n", 2, 1},  // a long line uses up one step only
        {long_chat + long_chat + "Al was railed by Sam\n", 3, 1},
        {"Bob: " + std::string(60, '.') + " was railed by Sam\n", 1, 1},  // phrase past byte 49
        {"\r\r\r", 0, 0},  // carriage returns alone are no line
    };
    for (const auto& c : logs) {
        SCOPED_TRACE(c.log.substr(0, 60));
        empty_tables();
        pass_run run = run_on(c.log);
        EXPECT_EQ(run.end, pass_end::end_of_log);
        EXPECT_EQ(run.progress, expected_progress(c.lines));
        EXPECT_EQ(total(rail_kills), c.rail_kills_seen);
    }
}

TEST_F(Pass, TextModeRulesOnEveryPlatform) {
    run_on("Bob was railed by Sam\r\nB\ro\rb cratered\r\n");
    EXPECT_EQ(stat("Sam", rail_kills), 1);  // not "Sam\r"
    EXPECT_EQ(stat("Bob", crater_suicides), 1);
    EXPECT_EQ(tables->player_count, 2);

    empty_tables();
    pass_run run = run_on(
        "Bob was railed by Sam\n\x1a"
        "Al was railed by Sam\n");
    EXPECT_EQ(run.progress, expected_progress(1));  // byte 26 ends the data
    EXPECT_EQ(tables->lookup_player("Al"), no_slot);
}

TEST_F(Pass, ALineEndsAtItsFirstZeroByte) {
    using namespace std::string_literals;
    pass_run run = run_on(
        "Bob was railed by Sam\0 was railed by Al\n"
        "Al\0 was railed by Sam\n"
        "Cy was railed by Sam\n"s);
    EXPECT_EQ(run.progress, expected_progress(3));
    EXPECT_EQ(stat("Sam", rail_kills), 2);  // the text after the zero byte is not looked at
    EXPECT_EQ(tables->lookup_player("Al"), no_slot);
    EXPECT_EQ(killed("Sam", "Bob"), 1);
    EXPECT_EQ(killed("Sam", "Cy"), 1);
}

TEST_F(Pass, OverLongLinesAreExaminedOnTheirStartOnly) {
    const std::string filler(max_line_text, 'x');
    const std::string log = "Bob was railed by Sam   " + filler + "\n" +  // counted
                            filler + " Al was railed by Sam\n" +          // phrase past the limit
                            "Cy was railed by Sam\n" +                    // the next line is intact
                            filler + filler + "x cratered";               // a last, unended one
    pass_run run = run_on(log);
    EXPECT_EQ(run.progress, expected_progress(4));
    EXPECT_EQ(stat("Sam", rail_kills), 2);
    EXPECT_EQ(tables->lookup_player("Al"), no_slot);
    EXPECT_EQ(tables->player_count, 3);
}

TEST_F(Pass, LinesAcrossReadBoundariesStayWhole) {
    // Lines of 23 bytes never line up with the reads, so many straddle a read boundary.
    std::string lf_log;
    std::string crlf_log;
    const int count = 40000;
    for (int i = 0; i < count; ++i) {
        lf_log += "Bob was railed by Sam\n";
        crlf_log += "Bob was railed by Sam\r\n";
    }
    for (const std::string* log : {&lf_log, &crlf_log}) {
        empty_tables();
        pass_run run = run_on(*log);
        EXPECT_EQ(run.progress.size(), expected_progress(count).size());
        EXPECT_EQ(tables->player_count, 2);
        EXPECT_EQ(stat("Sam", rail_kills), count);
        EXPECT_EQ(killed("Sam", "Bob"), count);
    }
}

TEST_F(Pass, RoundLimit) {
    std::string fifty;
    for (int i = 0; i < round_limit; ++i) {
        fifty += "Bob hit the fraglimit.\n";
    }
    pass_run run = run_on(fifty + "Bob was railed by Sam\n");
    EXPECT_EQ(run.end, pass_end::end_of_log);
    EXPECT_EQ(tables->rounds, round_limit);
    EXPECT_EQ(run.progress, expected_progress(round_limit + 1));

    // The 51st round end stops the run before that line is dispatched or counted in progress.
    empty_tables();
    run = run_on(fifty + "Al was railed by Sam\nfraglimit: Bob was railed by Sam\nCy cratered\n");
    EXPECT_EQ(run.end, pass_end::round_limit_stop);
    EXPECT_EQ(run.progress, expected_progress(round_limit + 1));
    EXPECT_EQ(stat("Sam", rail_kills), 1);
    EXPECT_EQ(tables->lookup_player("Bob"), no_slot);
    EXPECT_EQ(tables->lookup_player("Cy"), no_slot);

    // Only lower case counts, and a round end on an obituary line counts both.
    empty_tables();
    run_on("FRAGLIMIT\nFraglimit\nBob was railed by Sam at the fraglimit\n");
    EXPECT_EQ(tables->rounds, 1);
    EXPECT_EQ(stat("Sam at the fraglimit", rail_kills), 1);
}

TEST_F(Pass, AFullTableSkipsWholeObituaries) {
    std::string log;
    for (int p = 0; p < max_players - 1; ++p) {
        log += "p" + std::to_string(p) + " cratered\n";
    }
    log += "New1 was railed by New2\n";  // needs two slots, one is left: nothing changes
    log += "New1 was railed by p0\n";    // needs one
    log += "New3 cratered\n";            // needs one more than there is
    log += "p5 was railed by New1\n";    // both known
    log += "New4 was railed by New4\n";  // one name twice still needs a slot
    pass_run run = run_on(log);
    EXPECT_EQ(run.progress, expected_progress(max_players + 4));
    EXPECT_EQ(tables->uncounted_obituaries, 3u);
    EXPECT_EQ(tables->player_count, max_players);
    EXPECT_EQ(tables->lookup_player("New2"), no_slot);
    EXPECT_EQ(tables->lookup_player("New3"), no_slot);
    EXPECT_EQ(stat("New1", rail_deaths), 1);
    EXPECT_EQ(stat("New1", rail_kills), 1);
    EXPECT_EQ(stat("p0", rail_kills), 1);
    EXPECT_EQ(total(kills), 2);
    EXPECT_EQ(total(deaths), 2);
}

TEST_F(Pass, OneNewNameAsVictimAndKillerNeedsOneSlot) {
    std::string log;
    for (int p = 0; p < max_players - 1; ++p) {
        log += "p" + std::to_string(p) + " cratered\n";
    }
    log += "Solo was railed by Solo\n";  // one slot left, and one is enough
    run_on(log);
    EXPECT_EQ(tables->uncounted_obituaries, 0u);
    EXPECT_EQ(tables->player_count, max_players);
    EXPECT_EQ(stat("Solo", rail_deaths), 1);
    EXPECT_EQ(stat("Solo", rail_kills), 1);
    EXPECT_EQ(killed("Solo", "Solo"), 1);
}

// The per-round tallies: where each round begins and ends, and that they add up to the totals.
TEST_F(Pass, RoundsCutTheLogAtEachRoundEnd) {
    struct round_case {
        const char* what;
        std::string log;
        std::vector<round_span> spans;
        std::vector<int> rail_kills_of_sam;  // per round
    };
    std::string fifty;
    for (int i = 0; i < round_limit; ++i) {
        fifty += "fraglimit\n";
    }
    std::vector<round_span> fifty_spans;
    for (std::uint64_t i = 1; i <= round_limit; ++i) {
        fifty_spans.push_back({i, i, true});
    }
    auto with = [](std::vector<round_span> spans, round_span last) {
        spans.push_back(last);
        return spans;
    };
    const round_case cases[] = {
        {"no round end", "Bob was railed by Sam\nchat\n", {{1, 2, false}}, {1}},
        {"a round end first",
         "fraglimit\nBob was railed by Sam\n",
         {{1, 1, true}, {2, 2, false}},
         {0, 1}},
        {"a round end last", "Bob was railed by Sam\nfraglimit\n", {{1, 2, true}}, {1}},
        {"an obituary on a round-end line",
         "Bob was railed by Sam\nfraglimit Bob was railed by Sam\nBob was railed by Sam\n",
         {{1, 2, true}, {3, 3, false}},
         {2, 1}},
        {"the round-limit stop",
         fifty + "Bob was railed by Sam\nfraglimit Bob was railed by Sam\nchat\n",
         with(fifty_spans, {round_limit + 1, round_limit + 2, true}),
         {}},
        {"an empty log", "", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        empty_tables();
        run_on(c.log);
        EXPECT_EQ(tables->stopped_at_round_limit, c.spans.size() > round_limit);
        ASSERT_EQ(tables->round_count(), static_cast<int>(c.spans.size()));
        for (int r = 0; r < tables->round_count(); ++r) {
            round_span got = tables->span_of_round(r);
            const round_span& want = c.spans[static_cast<std::size_t>(r)];
            EXPECT_EQ(got.first_line, want.first_line) << "round " << r;
            EXPECT_EQ(got.last_line, want.last_line) << "round " << r;
            EXPECT_EQ(got.ended, want.ended) << "round " << r;
        }
        run_results results = results_of_pass("log");
        ASSERT_EQ(results.rounds.size(), c.spans.size());
        for (std::size_t r = 0; r < c.rail_kills_of_sam.size(); ++r) {
            auto sam = static_cast<std::size_t>(slot_of("Sam"));
            EXPECT_EQ(results.rounds[r].counters_of(sam)[rail_kills], c.rail_kills_of_sam[r])
                << "round " << r;
        }
        // Summed over the rounds, every counter and every kill-matrix cell is the total.
        for (std::size_t p = 0; p < max_players; ++p) {
            for (std::size_t i = 0; i < std::size_t{classic_counter_count}; ++i) {
                std::int32_t sum = 0;
                for (const round_result& round : results.rounds) {
                    sum += round.counters_of(p)[i];
                }
                EXPECT_EQ(sum, tables->stats[p][i]);
            }
            for (std::size_t q = 0; q < max_players; ++q) {
                std::int32_t sum = 0;
                for (const round_result& round : results.rounds) {
                    sum += round.kills().killed(p, q);
                }
                EXPECT_EQ(sum, tables->who_killed_who[p][q]);
            }
        }
    }
}

}  // namespace

namespace {

// The pass keeps each round-end line's first bytes with its round, which the reports name who
// ended it from; a longer line keeps its start, and the open round after the last keeps none.
TEST_F(Pass, EachRoundKeepsTheStartOfItsRoundEndLine) {
    const std::string long_line = "Zed^7 hit the fraglimit." + std::string(80, '!');
    run_on("Bob was railed by Sam\nSam^7 hit the fraglimit.\nfraglimit\n" + long_line + "\nchat\n");
    run_results results = results_of_pass("log");
    ASSERT_EQ(results.rounds.size(), 4U);
    std::vector<std::string> who;
    for (const round_result& round : results.rounds) {
        who.emplace_back(round.ended() ? round.ended_by().who : "-");
    }
    EXPECT_EQ(who, (std::vector<std::string>{"Sam", "fraglimit",
                                             long_line.substr(0, round_end_text_size), "-"}));
}

}  // namespace
