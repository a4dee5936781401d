// Slots are claimed in order of first appearance and never change hands.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "count/tables.h"
#include "test_support.h"

namespace {

using Tables = TablesTest;

TEST_F(Tables, StartEmpty) {
    // New tables are empty, whatever their memory held before.
    tables->stats[3][kills] = 7;
    tables->who_killed_who[1][2] = 4;
    tables->rounds = 9;
    tables->find_player("Bob");
    empty_tables();
    EXPECT_EQ(tables->player_count, 0);
    EXPECT_EQ(tables->rounds, 0);
    for (int p = 0; p < max_players; ++p) {
        EXPECT_STREQ(tables->name[static_cast<std::size_t>(p)].data(), "NULL");
        for (int c = 0; c < classic_counter_count; ++c) {
            EXPECT_EQ(tables->stats[static_cast<std::size_t>(p)][static_cast<std::size_t>(c)], 0);
        }
        for (int q = 0; q < max_players; ++q) {
            EXPECT_EQ(
                tables->who_killed_who[static_cast<std::size_t>(p)][static_cast<std::size_t>(q)],
                0);
        }
    }
    EXPECT_EQ(tables->lookup_player("Bob"), no_slot);
}

TEST_F(Tables, ClaimSlotsInOrderOfFirstAppearance) {
    EXPECT_EQ(tables->find_player("Bob"), 0);
    EXPECT_EQ(tables->find_player("Sam"), 1);
    EXPECT_EQ(tables->find_player("Bob"), 0);
    EXPECT_EQ(tables->find_player("bob"), 2);  // letter case counts
    EXPECT_EQ(tables->find_player(""), 3);     // an empty name is a name
    EXPECT_EQ(tables->find_player(""), 3);
    EXPECT_EQ(tables->find_player("Bob "), 4);  // so are trailing blanks
    EXPECT_EQ(tables->player_count, 5);
    EXPECT_STREQ(tables->name[1].data(), "Sam");
    EXPECT_STREQ(tables->name[3].data(), "");
    EXPECT_STREQ(tables->name[5].data(), "NULL");
}

TEST_F(Tables, NullIsAnOrdinaryName) {
    EXPECT_EQ(tables->find_player("NULL"), 0);
    tables->stats[0][kills] = 3;
    EXPECT_EQ(tables->find_player("Bob"), 1);
    EXPECT_EQ(tables->find_player("NULL"), 0);
    EXPECT_EQ(tables->stats[1][kills], 0);
    EXPECT_EQ(tables->player_count, 2);
}

TEST_F(Tables, NamesAreStoredAsTheSlotHoldsThem) {
    // Only 19 bytes fit, and a name ends at a zero byte, so these are the same player.
    EXPECT_EQ(tables->find_player("ABCDEFGHIJKLMNOPQRSTUVW"), 0);
    EXPECT_EQ(tables->find_player("ABCDEFGHIJKLMNOPQRS"), 0);
    EXPECT_STREQ(tables->name[0].data(), "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(tables->find_player(std::string_view("Al\0x", 4)), 1);
    EXPECT_EQ(tables->lookup_player("Al"), 1);
}

TEST_F(Tables, AFullTableClaimsNoMore) {
    for (int p = 0; p < max_players; ++p) {
        ASSERT_EQ(tables->find_player("player" + std::to_string(p)), p);
    }
    EXPECT_EQ(tables->free_slots(), 0);
    EXPECT_EQ(tables->find_player("one too many"), no_slot);
    EXPECT_EQ(tables->lookup_player("one too many"), no_slot);
    EXPECT_EQ(tables->find_player("player42"), 42);
    EXPECT_EQ(tables->find_player("player99"), 99);
}

}  // namespace

namespace {

// The pass counts lines seen again into their tables->rounds alone and adds the totals up at its
// end: the sums must stop at the largest count as counting one by one does. A round that ends takes
// its counts along and leaves the next round empty.
TEST_F(Tables, TotalsAreTheSumsOfTheRoundsStoppingAtTheLargestCount) {
    constexpr std::int32_t largest = std::numeric_limits<std::int32_t>::max();
    ASSERT_EQ(tables->find_player("Anna"), 0);
    ASSERT_EQ(tables->find_player("Bob"), 1);
    tables->open_round.stats[0][kills] = 3;
    tables->open_round.stats[1][deaths] = largest - 1;
    tables->end_round(10, "Anna^7 hit the fraglimit.\n");
    tables->open_round.stats[1][deaths] = 5;
    tables->open_round.who_killed_who[0][1] = largest;
    tables->end_round(20, "Timelimit hit.\n");
    tables->open_round.stats[0][kills] = 4;
    tables->open_round.who_killed_who[0][1] = largest;
    tables->open_round.who_killed_who[1][0] = 2;
    EXPECT_EQ(tables->rounds, 2);
    tables->stats[2][kills] = 9;  // anything there before is replaced
    tables->total_up_rounds();
    EXPECT_EQ(tables->stats[0][kills], 7);
    EXPECT_EQ(tables->stats[1][deaths], largest);
    EXPECT_EQ(tables->who_killed_who[0][1], largest);
    EXPECT_EQ(tables->who_killed_who[1][0], 2);
    EXPECT_EQ(tables->stats[2][kills], 0);

    tables->lines_read = 25;
    run_results results = results_of_pass("log");
    ASSERT_EQ(results.rounds.size(), 3U);
    struct expected_round {
        std::uint64_t first_line;
        std::uint64_t last_line;
        bool ended;
        std::int32_t kills_of_anna;
        std::int32_t deaths_of_bob;
        std::int32_t anna_killed_bob;
        std::int32_t bob_killed_anna;
    };
    constexpr std::array<expected_round, 3> expected{{
        {1, 10, true, 3, largest - 1, 0, 0},
        {11, 20, true, 0, 5, largest, 0},
        {21, 25, false, 4, 0, largest, 2},
    }};
    for (std::size_t r = 0; r < expected.size(); ++r) {
        const round_result& round = results.rounds[r];
        const expected_round& want = expected[r];
        EXPECT_EQ(round.first_line(), want.first_line) << "round " << r;
        EXPECT_EQ(round.last_line(), want.last_line) << "round " << r;
        EXPECT_EQ(round.ended(), want.ended) << "round " << r;
        EXPECT_EQ(round.counters_of(0)[kills], want.kills_of_anna) << "round " << r;
        EXPECT_EQ(round.counters_of(1)[deaths], want.deaths_of_bob) << "round " << r;
        EXPECT_EQ(round.kills().killed(0, 1), want.anna_killed_bob) << "round " << r;
        EXPECT_EQ(round.kills().killed(1, 0), want.bob_killed_anna) << "round " << r;
    }
    // Each closed round keeps its own round-end line.
    EXPECT_EQ(results.rounds[0].ended_by().who, "Anna");
    EXPECT_EQ(results.rounds[1].ended_by().kind, round_end_kind::time);

    // Past the tables->rounds kept, the last holds the rest.
    empty_tables();
    tables->rounds = round_limit + 7;
    tables->open_round.stats[0][kills] = 1;
    tables->total_up_rounds();
    EXPECT_EQ(tables->stats[0][kills], 1);
}

}  // namespace
