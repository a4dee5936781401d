// The full rules: the line parser on a table of cases, the round ends, and the counting of
// whole logs through the pass (slots, the slot limit, rounds, a long log read to its end).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/progress.h"
#include "count/full_rules.h"
#include "scan/line_scanner.h"

namespace {

std::string_view counter_name(counter c) {
    return counter_names[static_cast<std::size_t>(c)];
}

// ------------------------------------------------------------------------------ the parser

struct line_case {
    std::string line;
    std::string victim;   // empty: not an obituary
    std::string killer;   // empty: a one-name line
    std::string counter;  // the cause's, or the killer's weapon's kill counter
};

// Every message of both tables, the gendered forms, and the traps of names and endings.
const std::vector<line_case> line_cases = {
    {"Bob^7 suicides.", "Bob", "", "command_suicides"},
    {"Bob^7 cratered.", "Bob", "", "falling_suicides"},
    {"Bob^7 was squished.", "Bob", "", "crushed_suicides"},
    {"Bob^7 sank like a rock.", "Bob", "", "drowned_suicides"},
    {"Bob^7 melted.", "Bob", "", "slime_suicides"},
    {"Bob^7 does a back flip into the lava.", "Bob", "", "lava_suicides"},
    {"Bob^7 saw the light.", "Bob", "", "laser_suicides"},
    {"Bob^7 was in the wrong place.", "Bob", "", "hurt_suicides"},
    {"Bob^7 tripped on her own grenade.", "Bob", "", "own_grenade_suicides"},
    {"Bob^7 tripped on its own grenade.", "Bob", "", "own_grenade_suicides"},
    {"Bob^7 tripped on his own grenade.", "Bob", "", "own_grenade_suicides"},
    {"Bob^7 blew herself up.", "Bob", "", "own_rocket_suicides"},
    {"Bob^7 blew itself up.", "Bob", "", "own_rocket_suicides"},
    {"Bob^7 blew himself up.", "Bob", "", "own_rocket_suicides"},
    {"Bob^7 melted herself.", "Bob", "", "own_plasma_suicides"},
    {"Bob^7 melted itself.", "Bob", "", "own_plasma_suicides"},
    {"Bob^7 melted himself.", "Bob", "", "own_plasma_suicides"},
    {"Bob^7 should have used a smaller gun.", "Bob", "", "own_bfg_suicides"},
    {"Bob^7 found her prox mine.", "Bob", "", "own_prox_suicides"},
    {"Bob^7 found it's prox mine.", "Bob", "", "own_prox_suicides"},
    {"Bob^7 found his prox mine.", "Bob", "", "own_prox_suicides"},
    {"Bob^7 goes out with a bang.", "Bob", "", "own_kamikaze_suicides"},
    {"Bob^7 killed herself.", "Bob", "", "self_suicides"},
    {"Bob^7 killed itself.", "Bob", "", "self_suicides"},
    {"Bob^7 killed himself.", "Bob", "", "self_suicides"},
    {"Bob^7 died.", "Bob", "", "died_suicides"},
    {"Bob^7 was pummeled by Sam^7", "Bob", "Sam", "gauntlet_kills"},
    {"Bob^7 was machinegunned by Sam^7", "Bob", "Sam", "machinegun_kills"},
    {"Bob^7 was gunned down by Sam^7", "Bob", "Sam", "shotgun_kills"},
    {"Bob^7 ate Sam^7's grenade", "Bob", "Sam", "grenade_kills"},
    {"Bob^7 was shredded by Sam^7's shrapnel", "Bob", "Sam", "grenade_splash_kills"},
    {"Bob^7 ate Sam^7's rocket", "Bob", "Sam", "rocket_kills"},
    {"Bob^7 almost dodged Sam^7's rocket", "Bob", "Sam", "rocket_splash_kills"},
    {"Bob^7 was melted by Sam^7's plasmagun", "Bob", "Sam", "plasmagun_kills"},
    {"Bob^7 was railed by Sam^7", "Bob", "Sam", "railgun_kills"},
    {"Bob^7 was electrocuted by Sam^7", "Bob", "Sam", "lightning_kills"},
    {"Bob^7 was blasted by Sam^7's BFG", "Bob", "Sam", "bfg_kills"},
    {"Bob^7 tried to invade Sam^7's personal space", "Bob", "Sam", "telefrag_kills"},
    {"Bob^7 was caught by Sam^7", "Bob", "Sam", "grapple_kills"},
    {"Bob^7 was killed by Sam^7", "Bob", "Sam", "other_kills"},
    {"Bob^7 was nailed by Sam^7", "Bob", "Sam", "nailgun_kills"},
    {"Bob^7 got lead poisoning from Sam^7's Chaingun", "Bob", "Sam", "chaingun_kills"},
    {"Bob^7 was too close to Sam^7's Prox Mine", "Bob", "Sam", "prox_mine_kills"},
    {"Bob^7 falls to Sam^7's Kamikaze blast", "Bob", "Sam", "kamikaze_kills"},
    {"Bob^7 was juiced by Sam^7", "Bob", "Sam", "juiced_kills"},
    // "^7 " inside names: the leftmost "^7 " after which the rest parses gives the victim.
    {"^1Big^7 Tom^7 was railed by Sam^7", "^1Big^7 Tom", "Sam", "railgun_kills"},
    {"Bob^7 was railed by ^1Big^7 Tom^7", "Bob", "^1Big^7 Tom", "railgun_kills"},
    {"A^7 ate B^7 ate C^7's rocket", "A", "B^7 ate C", "rocket_kills"},
    {"A^7 B^7 died.", "A^7 B", "", "died_suicides"},
    // "ate" in a name, bytes from 128, the same name twice, one-byte names.
    {"Kate^7 ate Sam^7's rocket", "Kate", "Sam", "rocket_kills"},
    {"Bob^7 ate Kate^7's rocket", "Bob", "Kate", "rocket_kills"},
    {"S\xE9\xFF\x80^7 was railed by \xC3\xA9t\xE9^7", "S\xE9\xFF\x80", "\xC3\xA9t\xE9",
     "railgun_kills"},
    {"Bob^7 was railed by Bob^7", "Bob", "Bob", "railgun_kills"},
    {"x^7 ate y^7's grenade", "x", "y", "grenade_kills"},
    // Names of 63 bytes are names; of 64 they are not.
    {std::string(63, 'v') + "^7 died.", std::string(63, 'v'), "", "died_suicides"},
    {std::string(64, 'v') + "^7 died.", "", "", ""},
    {"Bob^7 was railed by " + std::string(63, 'k') + "^7", "Bob", std::string(63, 'k'),
     "railgun_kills"},
    {"Bob^7 was railed by " + std::string(64, 'k') + "^7", "", "", ""},
    // Nothing else is an obituary.
    {"Bob^7 died. ", "", "", ""},
    {"Bob^7 died", "", "", ""},
    {"Bob^7  died.", "", "", ""},
    {"Bob^7 was railed by Sam^7 ", "", "", ""},
    {"Bob^7 was railed by Sam", "", "", ""},
    {"Bob^7 ate Sam^7's rocket.", "", "", ""},
    {"Bob^7 ate Sam^7's rockets", "", "", ""},
    {"Bob^7 was railed by ^7", "", "", ""},
    {"^7 died.", "", "", ""},
    {"Bob died.", "", "", ""},
    {"Bob was railed by Sam", "", "", ""},
    {"Kestrel^7: Sam ate my rocket^7", "", "", ""},
    {"Kestrel^7: gg", "", "", ""},
    {"", "", "", ""},
};

TEST(FullRules, LineCases) {
    for (const line_case& c : line_cases) {
        SCOPED_TRACE(c.line);
        full_line got = parse_full_line(c.line);
        if (c.victim.empty()) {
            EXPECT_EQ(got.kind, full_line_kind::other);
            continue;
        }
        ASSERT_EQ(got.kind, full_line_kind::obituary);
        EXPECT_EQ(got.victim, c.victim);
        EXPECT_EQ(got.killer, c.killer);
        const full_message& m = full_messages[got.message];
        EXPECT_EQ(m.two_names, !c.killer.empty());
        EXPECT_EQ(counter_name(m.two_names ? m.killer : m.victim), c.counter);
    }
}

// Every message of the table is reached by some case above, so none is shadowed by another.
TEST(FullRules, EveryMessageHasACase) {
    std::vector<bool> reached(full_messages.size());
    for (const line_case& c : line_cases) {
        full_line got = parse_full_line(c.line);
        if (got.kind == full_line_kind::obituary) {
            reached[got.message] = true;
        }
    }
    for (std::size_t m = 0; m < full_messages.size(); ++m) {
        EXPECT_TRUE(reached[m]) << full_messages[m].text << full_messages[m].suffix;
    }
}

TEST(FullRules, RoundEnds) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"Bob^7 hit the fraglimit.", true},
        {"^1Big^7 Tom^7 hit the fraglimit.", true},
        {std::string(63, 'v') + "^7 hit the fraglimit.", true},
        {"Red hit the fraglimit.", true},
        {"Blue hit the fraglimit.", true},
        {"Timelimit hit.", true},
        {"Red hit the capturelimit.", true},
        {"Blue hit the capturelimit.", true},
        // Lines that mention it but do not end a round.
        {std::string(64, 'v') + "^7 hit the fraglimit.", false},
        {"^7 hit the fraglimit.", false},
        {"Bob hit the fraglimit.", false},
        {"Bob^7 hit the fraglimit", false},
        {"Red hit the fraglimit. ", false},
        {"red hit the fraglimit.", false},
        {"Green hit the capturelimit.", false},
        {"Kestrel^7: one more frag to the fraglimit.", false},
        {"fraglimit: 20", false},
        {"\"fraglimit\" is:\"20^7\" default:\"20^7\"", false},
        {"Vote passed: fraglimit 30", false},
        {"Timelimit hit", false},
    };
    for (const auto& [line, ends] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(parse_full_line(line).kind == full_line_kind::round_end, ends);
    }
}

// --------------------------------------------------------------------------- whole logs

run_results full_run(const std::string& log) {
    std::FILE* in = std::tmpfile();
    EXPECT_NE(in, nullptr);
    std::fwrite(log.data(), 1, log.size(), in);
    std::rewind(in);
    start_scan(in, cpu_path_of_environment());
    start_progress(nullptr);
    full_count count;
    progress_output progress;
    EXPECT_EQ(run_full_pass(count, progress), scan_result::end_of_log);
    std::fclose(in);
    return count.finish("log");
}

std::int32_t count_of(const run_results& results, std::size_t p, counter c) {
    return results.players.at(p).counters[static_cast<std::size_t>(c)];
}

// A zero byte ends a line's text, carriage returns vanish and a byte 26 ends the log.
TEST(FullRules, CountsEachSideOfALine) {
    using namespace std::string_literals;
    run_results r = full_run(
        "Bob^7 ate Sam^7's grenade\n"
        "Sam^7 was railed by Bob^7\r\n"
        "Sam^7 died.\0 after the end\n"
        "Bob^7 was railed by Bob^7\n"
        "Kim^7 melted herself.\n"
        "Sam^7 died. \n"
        "\x1a"
        "Bob^7 died.\n"s);
    EXPECT_EQ(r.rules, rule_set::full);
    EXPECT_EQ(r.lines, 6u);
    ASSERT_EQ(r.players.size(), 3u);
    EXPECT_EQ(r.players[0].name, "Bob");  // the victim before the killer
    EXPECT_EQ(r.players[1].name, "Sam");
    EXPECT_EQ(r.players[2].name, "Kim");
    EXPECT_EQ(count_of(r, 0, kills), 2);
    EXPECT_EQ(count_of(r, 0, deaths), 2);
    EXPECT_EQ(count_of(r, 0, railgun_kills), 2);
    EXPECT_EQ(count_of(r, 0, railgun_deaths), 1);
    EXPECT_EQ(count_of(r, 0, grenade_deaths), 1);
    EXPECT_EQ(count_of(r, 1, grenade_kills), 1);
    EXPECT_EQ(count_of(r, 1, suicides), 1);
    EXPECT_EQ(count_of(r, 1, died_suicides), 1);
    EXPECT_EQ(count_of(r, 2, own_plasma_suicides), 1);
    EXPECT_EQ(count_of(r, 2, suicides), 1);
    EXPECT_EQ(r.head_to_head.killed(0, 0), 1);
    EXPECT_EQ(r.head_to_head.killed(0, 1), 1);
    EXPECT_EQ(r.head_to_head.killed(1, 0), 1);
}

// A line whose new names do not all fit changes nothing and counts as uncounted.
TEST(FullRules, TheHundredSlots) {
    std::string log;
    for (int p = 0; p < 99; ++p) {
        log += "P" + std::to_string(p) + "^7 died.\n";
    }
    log += "New^7 was railed by Other^7\n";  // two new names, one slot
    log += "P0^7 was railed by Other^7\n";   // one new name
    log += "Late^7 died.\n";                 // no slot left
    log += "Late^7 died.\n";                 // seen again: still uncounted
    log += "Other^7 was railed by Other^7\n";
    run_results r = full_run(log);
    ASSERT_EQ(r.players.size(), 100u);
    EXPECT_EQ(r.players[99].name, "Other");
    EXPECT_EQ(r.uncounted_obituaries, 3u);
    EXPECT_EQ(count_of(r, 99, kills), 2);
    EXPECT_EQ(count_of(r, 99, deaths), 1);
}

// A line seen again does what it did, and only a line of the very same bytes does: lines that
// differ in one byte (one the memo's hash does not read, so that both compete for one place), or
// of which one runs on past the other, each counted three times in turn, at the lengths around
// the longest the pass remembers (59 bytes).
TEST(FullRules, LinesSeenAgainAreToldApartByEveryByte) {
    struct player_count {
        std::string name;
        std::int32_t kills;
        std::int32_t suicides;
    };
    struct memo_case {
        std::string first;
        std::string second;
        std::vector<player_count> players;
    };
    // Names of n bytes that end with the given one.
    auto name = [](std::size_t n, char last) { return std::string(n - 1, 'v') + last; };
    const std::vector<memo_case> cases = {
        // 59 bytes, told apart by byte 50, the victim's last.
        {name(51, 'a') + "^7 died.",
         name(51, 'b') + "^7 died.",
         {{name(51, 'a'), 0, 3}, {name(51, 'b'), 0, 3}}},
        // 59 bytes, told apart by byte 40.
        {name(41, 'a') + "vvvvvvvvvv^7 died.",
         name(41, 'b') + "vvvvvvvvvv^7 died.",
         {{name(41, 'a') + "vvvvvvvvvv", 0, 3}, {name(41, 'b') + "vvvvvvvvvv", 0, 3}}},
        // 60 bytes, past what is remembered.
        {name(52, 'a') + "^7 died.",
         name(52, 'b') + "^7 died.",
         {{name(52, 'a'), 0, 3}, {name(52, 'b'), 0, 3}}},
        // The first line's bytes begin the second.
        {"Bob^7 was killed by Al^7",
         "Bob^7 was killed by Al^7 ^7",
         {{"Bob", 0, 0}, {"Al", 3, 0}, {"Al^7 ", 3, 0}}},
    };
    for (const memo_case& c : cases) {
        SCOPED_TRACE(c.first + " / " + c.second);
        std::string log;
        for (int i = 0; i < 3; ++i) {
            log += c.first + "\n" + c.second + "\n";
        }
        run_results r = full_run(log);
        ASSERT_EQ(r.players.size(), c.players.size());
        for (std::size_t p = 0; p < c.players.size(); ++p) {
            EXPECT_EQ(r.players[p].name, c.players[p].name);
            EXPECT_EQ(count_of(r, p, kills), c.players[p].kills);
            EXPECT_EQ(count_of(r, p, suicides), c.players[p].suicides);
        }
    }
}

// The full rules have no round limit: sixty rounds are all read, each to its round end, which
// the rounds read back from their temporary file still name.
TEST(FullRules, SixtyRoundsAreReadToTheEnd) {
    std::string log;
    for (int r = 0; r < 60; ++r) {
        log += "Bob^7 was railed by Sam^7\n";
        log += r % 2 == 0 ? "Sam^7 hit the fraglimit.\n" : "Timelimit hit.\n";
        log += "Kestrel^7: fraglimit again\n";
    }
    log += "Bob^7 died.\n";
    run_results r = full_run(log);
    EXPECT_EQ(r.lines, 181u);
    EXPECT_EQ(r.round_ends, 60);
    EXPECT_FALSE(r.stopped_at_round_limit);
    ASSERT_EQ(r.rounds.size(), 61u);
    std::uint64_t first = 1;
    std::size_t n = 0;
    for (const round_result& round : r.rounds) {
        SCOPED_TRACE(n);
        EXPECT_EQ(round.first_line(), first);
        bool last = n == 60;
        EXPECT_EQ(round.ended(), !last);
        if (!last) {
            round_end end = round.ended_by();
            EXPECT_EQ(end.kind, n % 2 == 0 ? round_end_kind::player : round_end_kind::time);
            EXPECT_EQ(end.who, n % 2 == 0 ? "Sam" : "time limit");
        }
        EXPECT_EQ(round.last_line(), last ? 181u : first + (n == 0 ? 1 : 2));
        EXPECT_EQ(round.counters_of(1)[railgun_kills], last ? 0 : 1);
        EXPECT_EQ(round.kills().killed(1, 0), last ? 0 : 1);
        first = round.last_line() + 1;
        ++n;
    }
    EXPECT_EQ(count_of(r, 1, railgun_kills), 60);
    EXPECT_EQ(count_of(r, 0, died_suicides), 1);
}

}  // namespace
