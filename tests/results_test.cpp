// The results model on its own: its lookups, and every writer given results made by hand, more
// players than the pass's tables hold, while those tables stay empty.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "count/tables.h"
#include "report/report.h"
#include "report/report_html.h"
#include "report/report_json.h"
#include "report/results.h"

namespace {

TEST(Results, LookupsFindTheCountsAddedAndZeroElsewhere) {
    kill_matrix matrix;
    matrix.add(0, 3, 2);
    matrix.add(2, 0, 5);
    matrix.add(2, 2, 1);
    matrix.add(7, 1, 9);
    struct cell_case {
        std::size_t killer;
        std::size_t victim;
        std::int32_t count;
    };
    const cell_case cells[] = {{0, 3, 2}, {3, 0, 0}, {2, 0, 5}, {2, 2, 1}, {2, 1, 0},
                               {7, 1, 9}, {7, 2, 0}, {1, 7, 0}, {8, 0, 0}, {0, 0, 0}};
    for (const cell_case& c : cells) {
        EXPECT_EQ(matrix.killed(c.killer, c.victim), c.count) << c.killer << " " << c.victim;
    }

    round_result round(4, 9, true);
    round.add_count(1, kills, 3);
    round.add_count(1, rail_kills, 3);
    round.add_count(4, lava_suicides, 1);
    counter_values one{};
    one[kills] = 3;
    one[rail_kills] = 3;
    counter_values four{};
    four[lava_suicides] = 1;
    EXPECT_EQ(round.counters_of(1), one);
    EXPECT_EQ(round.counters_of(4), four);
    EXPECT_EQ(round.counters_of(0), counter_values{});
    EXPECT_EQ(round.counters_of(5), counter_values{});
    EXPECT_TRUE(round.counts(1));
    EXPECT_TRUE(round.counts(4));
    EXPECT_FALSE(round.counts(2));
    EXPECT_FALSE(round.counts(9));
}

std::string written(bool (*write)(std::FILE*, const run_results&), const run_results& results) {
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    EXPECT_TRUE(write(out, results));
    std::string bytes;
    std::rewind(out);
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) {
        bytes += static_cast<char>(c);
    }
    std::fclose(out);
    return bytes;
}

std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// 150 players in a ring, each killing the next once with the railgun, in one round: a run the
// pass's tables could not hold. The writers see only these results, since the tables are empty.
TEST(Results, WhoEndedARoundByTheFormOfItsLine) {
    struct end_case {
        std::string_view line;
        round_end_kind kind;
        std::string_view who;
    };
    const end_case cases[] = {
        {"Big Tom^7 hit the fraglimit.\n", round_end_kind::player, "Big Tom"},
        {"^1Red^4Guy^7 hit the fraglimit.", round_end_kind::player, "^1Red^4Guy"},
        {"Red^7 hit the fraglimit.\n", round_end_kind::player, "Red"},
        {"Red hit the fraglimit.\n", round_end_kind::team, "Red"},
        {"Blue hit the fraglimit.", round_end_kind::team, "Blue"},
        {"Red hit the capturelimit.\n", round_end_kind::team, "Red"},
        {"Blue hit the capturelimit.\n", round_end_kind::team, "Blue"},
        {"Timelimit hit.\n", round_end_kind::time, "time limit"},
        // Anything around a form, or a player's form without a name, is the line itself.
        {"^7 hit the fraglimit.\n", round_end_kind::line, "^7 hit the fraglimit."},
        {"Big Tom^7 hit the fraglimit. gg\n", round_end_kind::line,
         "Big Tom^7 hit the fraglimit. gg"},
        {" Red hit the fraglimit.\n", round_end_kind::line, " Red hit the fraglimit."},
        {"Green hit the fraglimit.\n", round_end_kind::line, "Green hit the fraglimit."},
        {"fraglimit hit\n", round_end_kind::line, "fraglimit hit"},
        {"", round_end_kind::line, ""},
    };
    for (const auto& c : cases) {
        round_end got = round_end_of(c.line);
        EXPECT_EQ(got.kind, c.kind) << c.line;
        EXPECT_EQ(got.who, c.who) << c.line;
    }
    // The results model reads its round's kept text the same way.
    EXPECT_EQ(round_result(1, 3, true, "Sam^7 hit the fraglimit.\n").ended_by().who, "Sam");
}

// Rounds written to a stream read back as they were added; a stream that stops taking them
// (a full disk, a limit on file sizes) leaves that round and those after it in memory, and
// the rounds it took readable.
TEST(Results, RoundsGoToTheStreamUntilItFailsThenStayInMemory) {
    auto round_of = [](std::uint32_t r) {
        round_result round(10 * r + 1, 10 * r + 10, true, "Timelimit hit.");
        round.add_count(r, kills, static_cast<std::int32_t>(r) + 1);
        round.kills().add(r, r + 1, static_cast<std::int32_t>(r) + 2);
        return round;
    };
    struct stream_case {
        const char* what;
        std::size_t room;  // bytes the stream takes, 0 for a file that takes any
        bool all_written;
    };
    const stream_case cases[] = {
        {"a temporary file", 0, true},
        {"room for about two rounds", 200, false},
        {"no room at all", 1, false},
    };
    for (const stream_case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string room(c.room, '\0');
        std::FILE* stream = c.room == 0 ? std::tmpfile() : fmemopen(room.data(), room.size(), "w+");
        ASSERT_NE(stream, nullptr);
        round_list rounds;
        rounds.spill_to(stream);
        constexpr std::uint32_t count = 5;
        for (std::uint32_t r = 0; r < count; ++r) {
            rounds.push_back(round_of(r));
        }
        EXPECT_EQ(rounds.written(), c.all_written);
        ASSERT_EQ(rounds.size(), count);
        // Backwards and forwards, so that rounds read back and kept alternate.
        for (std::uint32_t r : {4u, 0u, 3u, 1u, 2u, 0u, 4u}) {
            const round_result& round = rounds[r];
            EXPECT_EQ(round.first_line(), 10 * r + 1) << "round " << r;
            EXPECT_EQ(round.last_line(), 10 * r + 10) << "round " << r;
            EXPECT_EQ(round.ended_by().kind, round_end_kind::time) << "round " << r;
            EXPECT_EQ(round.counters_of(r)[kills], static_cast<std::int32_t>(r) + 1)
                << "round " << r;
            EXPECT_EQ(round.kills().killed(r, r + 1), static_cast<std::int32_t>(r) + 2)
                << "round " << r;
        }
    }
}

TEST(Results, EveryWriterTakesAnyNumberOfPlayersFromTheResultsAlone) {
    constexpr std::uint32_t players = 150;
    run_results results;
    results.log = "ring.log";
    results.lines = players;
    round_result round(1, players, false);
    for (std::uint32_t p = 0; p < players; ++p) {
        player_result player{"P" + std::to_string(p), {}};
        player.counters[kills] = 1;
        player.counters[rail_kills] = 1;
        player.counters[deaths] = 1;
        player.counters[rail_deaths] = 1;
        results.players.push_back(player);
        round.add_count(p, kills, 1);
        round.add_count(p, deaths, 1);
        round.add_count(p, rail_kills, 1);
        round.add_count(p, rail_deaths, 1);
    }
    // Killer p, victim p + 1; the last player kills the first, added last as the order needs.
    for (std::uint32_t p = 0; p + 1 < players; ++p) {
        results.head_to_head.add(p, p + 1, 1);
        round.kills().add(p, p + 1, 1);
    }
    results.head_to_head.add(players - 1, 0, 1);
    round.kills().add(players - 1, 0, 1);
    results.rounds.push_back(round);

    std::string text = written(write_txt, results);
    EXPECT_EQ(occurrences(text, "-----===> P"), players);
    EXPECT_NE(text.find("-----===> P149\n"), std::string::npos);
    EXPECT_EQ(occurrences(text, "Railgun       : 1/1\n"), players);
    // P149's block: he killed P0, and P148 killed him.
    std::string_view last = std::string_view(text).substr(text.find("-----===> P149\n"));
    EXPECT_NE(last.find("   P0 - 1/0\n   P148 - 0/1\n"), std::string_view::npos);

    auto doc = nlohmann::json::parse(written(write_json, results));
    EXPECT_EQ(doc["log"], "ring.log");
    ASSERT_EQ(doc["players"].size(), players);
    EXPECT_EQ(doc["players"][149]["name"], "P149");
    EXPECT_EQ(doc["players"][149]["counters"]["rail_kills"], 1);
    EXPECT_EQ(doc["players"][149]["opponents"][0]["slot"], 0);
    ASSERT_EQ(doc["rounds"].size(), 1u);
    EXPECT_EQ(doc["rounds"][0]["players"].size(), players);
    EXPECT_EQ(doc["rounds"][0]["ended"], false);

    std::string page = written(write_html, results);
    EXPECT_EQ(occurrences(page, "<article class=\"card\""), players);
    EXPECT_NE(page.find("<dt>Players</dt><dd>150</dd>"), std::string::npos);
    EXPECT_NE(page.find("ring.log"), std::string::npos);
}

}  // namespace
