// The JSON report, parsed back: its figures against the text report and the tables, the rounds,
// and names of any bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "report/report_json.h"
#include "test_support.h"
#include "version.h"

namespace {

using json = nlohmann::json;
using ReportJson = TablesTest;

struct document {
    std::string bytes;  // as written
    json value;         // as a strict parser reads it
};

document json_report(const classic_tables& tables, std::string_view log_path = "qconsole.log") {
    document doc;
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    if (out == nullptr) {
        return doc;
    }
    EXPECT_TRUE(write_json(out, results_of_pass(tables, log_path)));
    std::rewind(out);
    std::vector<char> chunk(1 << 16);
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), out)) > 0) {
        doc.bytes.append(chunk.data(), got);
    }
    std::fclose(out);
    doc.value = json::parse(doc.bytes, nullptr, false);
    EXPECT_FALSE(doc.value.is_discarded()) << doc.bytes;
    return doc;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The bytes that a name's characters stand for: each character's code is one byte.
std::string bytes_of(const json& text) {
    std::string bytes;
    const auto& utf8 = text.get_ref<const std::string&>();
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            bytes += static_cast<char>(lead);
        } else if ((lead & 0xE0) == 0xC0 && lead <= 0xC3 && i + 1 < utf8.size()) {
            auto next = static_cast<unsigned char>(utf8[++i]);
            bytes += static_cast<char>(((lead & 0x1F) << 6) | (next & 0x3F));
        } else {
            ADD_FAILURE() << "a character above U+00FF in a name";
            return bytes;
        }
    }
    return bytes;
}

std::int32_t count_of(const json& counters, counter c) {
    return counters.at(std::string(counter_names[static_cast<std::size_t>(c)])).get<std::int32_t>();
}

// ---------------------------------------------------------------- the text report, read back

struct text_opponent {
    std::string name;
    std::int32_t kills;
    std::int32_t deaths;
};

struct text_block {
    std::string name;
    std::map<std::string, std::int32_t> counters;
    std::vector<text_opponent> opponents;
};

// The text report's lines of counters: a label, then the counters its numbers stand for, named
// here apart from the program's own table.
struct text_line {
    std::string_view label;
    std::vector<std::string> counters;
};

const text_line text_lines[] = {
    {"Kills/Deaths            : ", {"kills", "deaths"}},
    {"rocket/plasmagun/void/jumping/lava: ",
     {"rocket_suicides", "plasma_suicides", "void_suicides", "crater_suicides", "lava_suicides"}},
    {"Gauntlet      : ", {"gauntlet_kills", "gauntlet_deaths"}},
    {"Machinegun    : ", {"mg_kills", "mg_deaths"}},
    {"Shotgun       : ", {"sg_kills", "sg_deaths"}},
    {"Direct hits RL: ", {"rl_direct_kills", "rl_direct_deaths"}},
    {"Close hits RL : ", {"rl_close_kills", "rl_close_deaths"}},
    {"Railgun       : ", {"rail_kills", "rail_deaths"}},
    {"Plasma Gun    : ", {"pg_kills", "pg_deaths"}},
    {"Lightning Gun : ", {"lg_kills", "lg_deaths"}},
};

std::vector<std::int32_t> numbers_of(std::string_view text) {
    std::vector<std::int32_t> numbers;
    std::istringstream in{std::string(text)};
    std::int32_t n = 0;
    char slash = 0;
    while (in >> n) {
        numbers.push_back(n);
        in >> slash;
    }
    return numbers;
}

// Reads the blocks of a text report whose names hold no line feed.
std::vector<text_block> blocks_of(const std::string& report) {
    std::vector<text_block> blocks;
    std::istringstream in(report);
    std::string line;
    bool in_list = false;
    while (std::getline(in, line)) {
        if (line.starts_with("-----===> ")) {
            blocks.push_back({line.substr(10), {}, {}});
            in_list = false;
            continue;
        }
        if (blocks.empty()) {
            continue;
        }
        text_block& block = blocks.back();
        if (line == "Kills/Deaths by player:") {
            in_list = true;
        } else if (in_list && !line.empty()) {
            auto dash = line.rfind(" - ");
            auto numbers = numbers_of(std::string_view(line).substr(dash + 3));
            EXPECT_EQ(numbers.size(), 2u) << line;
            if (numbers.size() == 2) {
                block.opponents.push_back({line.substr(3, dash - 3), numbers[0], numbers[1]});
            }
        } else if (line.empty()) {
            in_list = false;
        }
        for (const text_line& kind : text_lines) {
            if (line.starts_with(kind.label)) {
                auto numbers = numbers_of(std::string_view(line).substr(kind.label.size()));
                EXPECT_EQ(numbers.size(), kind.counters.size()) << line;
                for (std::size_t i = 0; i < numbers.size() && i < kind.counters.size(); ++i) {
                    block.counters[kind.counters[i]] = numbers[i];
                }
            }
        }
    }
    return blocks;
}

// ------------------------------------------------------------------------- shared checks

// Summed over the rounds, every counter and every head-to-head count is the player's total.
void expect_rounds_add_up(const json& doc) {
    const json& players = doc.at("players");
    std::vector<std::array<std::int64_t, classic_counter_count>> sums(players.size());
    std::map<std::pair<std::size_t, std::size_t>, std::int64_t> head_to_head;
    for (const json& round : doc.at("rounds")) {
        std::size_t last_slot = 0;
        bool first = true;
        for (const json& player : round.at("players")) {
            auto p = player.at("slot").get<std::size_t>();
            ASSERT_LT(p, players.size());
            EXPECT_TRUE(first || p > last_slot) << "round players out of slot order";
            first = false;
            last_slot = p;
            bool any = false;
            for (std::size_t c = 0; c < std::size_t{classic_counter_count}; ++c) {
                auto n = count_of(player.at("counters"), static_cast<counter>(c));
                sums[p][c] += n;
                any = any || n != 0;
            }
            EXPECT_TRUE(any) << "a player without counts listed in round " << round.at("round");
            for (const json& o : player.at("opponents")) {
                auto q = o.at("slot").get<std::size_t>();
                EXPECT_EQ(bytes_of(o.at("name")), bytes_of(players.at(q).at("name")));
                // The other way round is the other player's entry.
                head_to_head[{p, q}] += o.at("kills").get<std::int32_t>();
            }
        }
    }
    for (std::size_t p = 0; p < players.size(); ++p) {
        SCOPED_TRACE("slot " + std::to_string(p));
        for (std::size_t c = 0; c < std::size_t{classic_counter_count}; ++c) {
            EXPECT_EQ(sums[p][c], count_of(players[p].at("counters"), static_cast<counter>(c)))
                << counter_names[c];
        }
    }
    // The totals' lists, as cells of the kill matrix; "deaths" is the other way's "kills".
    std::map<std::pair<std::size_t, std::size_t>, std::int64_t> totals;
    for (std::size_t p = 0; p < players.size(); ++p) {
        for (const json& o : players[p].at("opponents")) {
            auto q = o.at("slot").get<std::size_t>();
            totals[{p, q}] = o.at("kills").get<std::int32_t>();
        }
    }
    for (std::size_t p = 0; p < players.size(); ++p) {
        for (const json& o : players[p].at("opponents")) {
            auto q = o.at("slot").get<std::size_t>();
            EXPECT_EQ((totals[{q, p}]), o.at("deaths").get<std::int32_t>()) << p << " by " << q;
        }
    }
    for (const auto& [cell, count] : head_to_head) {
        EXPECT_EQ(count, totals[cell]) << cell.first << " killed " << cell.second;
    }
    for (const auto& [cell, count] : totals) {
        EXPECT_EQ(count, head_to_head[cell]) << cell.first << " killed " << cell.second;
    }
}

// The document's fields and their order, the same whatever the log.
void expect_shape(const document& doc) {
    EXPECT_EQ(doc.bytes.find('\r'), std::string::npos);
    ASSERT_TRUE(doc.bytes.ends_with("}\n"));
    std::vector<std::string> keys;
    auto ordered = nlohmann::ordered_json::parse(doc.bytes);
    for (const auto& item : ordered.items()) {
        keys.push_back(item.key());
    }
    const std::vector<std::string> want = {
        "format",     "format_version",         "program_version",      "log",     "rules", "lines",
        "round_ends", "stopped_at_round_limit", "uncounted_obituaries", "players", "rounds"};
    EXPECT_EQ(keys, want);
    EXPECT_EQ(doc.value["format"], "fragtally-report");
    EXPECT_EQ(doc.value["format_version"], 2);
    EXPECT_EQ(doc.value["rules"], "classic");
    EXPECT_EQ(doc.value["program_version"], "0.23b");
    for (const auto& player : ordered["players"]) {
        std::vector<std::string> names;
        for (const auto& item : player["counters"].items()) {
            names.push_back(item.key());
        }
        std::vector<std::string> classic;
        for (counter c : classic_counters) {
            classic.emplace_back(counter_names[static_cast<std::size_t>(c)]);
        }
        EXPECT_EQ(names, classic);
    }
}

// ------------------------------------------------------------------------------ the tests

TEST_F(ReportJson, AgreesWithTheTextReportOnRealLogs) {
    struct log_case {
        const char* log;
        const char* text_report;
        int round_ends;  // lines with "fraglimit"
    };
    const log_case cases[] = {
        {"examples/qconsole.log", "tests/data/example.qconsole.txt", 3},
        {"tests/data/server-derived.qconsole.log", "tests/data/server-derived.qconsole.txt", 5},
    };
    auto shown_in_text_report = static_cast<std::size_t>(
        std::count_if(counter_table.begin(), counter_table.end(), [](const counter_info& info) {
            return info.in_text_report && (info.rules & classic_only) != 0;
        }));
    for (const log_case& c : cases) {
        SCOPED_TRACE(c.log);
        empty_tables();
        std::string log = read_file(std::string(FRAGTALLY_SOURCE_DIR "/") + c.log);
        run_on(log);
        document doc = json_report(*tables);
        expect_shape(doc);
        const json& report = doc.value;
        auto lines = static_cast<std::uint64_t>(std::count(log.begin(), log.end(), '\n'));
        EXPECT_EQ(report["lines"], lines);
        EXPECT_EQ(report["round_ends"], c.round_ends);
        EXPECT_EQ(report["stopped_at_round_limit"], false);
        EXPECT_EQ(report["uncounted_obituaries"], 0);

        auto blocks = blocks_of(read_file(std::string(FRAGTALLY_SOURCE_DIR "/") + c.text_report));
        ASSERT_FALSE(blocks.empty());
        ASSERT_EQ(report["players"].size(), blocks.size());
        for (std::size_t p = 0; p < blocks.size(); ++p) {
            const json& player = report["players"][p];
            const text_block& block = blocks[p];
            SCOPED_TRACE(block.name);
            EXPECT_EQ(player["slot"], p);
            EXPECT_EQ(bytes_of(player["name"]), block.name);
            // Every counter the text report shows is read from one of its lines.
            ASSERT_EQ(block.counters.size(), shown_in_text_report);
            EXPECT_EQ(player["counters"].size(), classic_counters.size());
            for (const auto& [which, n] : block.counters) {
                EXPECT_EQ(player["counters"][which], n) << which;
            }
            ASSERT_EQ(player["opponents"].size(), block.opponents.size());
            for (std::size_t i = 0; i < block.opponents.size(); ++i) {
                const json& o = player["opponents"][i];
                EXPECT_EQ(bytes_of(o["name"]), block.opponents[i].name);
                EXPECT_EQ(bytes_of(report["players"][o["slot"].get<std::size_t>()]["name"]),
                          block.opponents[i].name);
                EXPECT_EQ(o["kills"], block.opponents[i].kills);
                EXPECT_EQ(o["deaths"], block.opponents[i].deaths);
            }
        }
        // Every round end closes a round; the lines after the last one make one more.
        const json& round_list = report["rounds"];
        ASSERT_FALSE(round_list.empty());
        std::uint64_t next_line = 1;
        for (std::size_t r = 0; r < round_list.size(); ++r) {
            EXPECT_EQ(round_list[r]["round"], r + 1);
            EXPECT_EQ(round_list[r]["first_line"], next_line);
            next_line = round_list[r]["last_line"].get<std::uint64_t>() + 1;
            EXPECT_EQ(round_list[r]["ended"], static_cast<int>(r) < c.round_ends);
        }
        EXPECT_EQ(next_line, lines + 1);
        expect_rounds_add_up(report);
    }
}

// A round's players in short: "slot:kills/deaths" for each, in order.
std::string round_players(const json& round) {
    std::string text;
    for (const json& player : round["players"]) {
        text += (text.empty() ? "" : " ") + std::to_string(player["slot"].get<int>()) + ":" +
                std::to_string(count_of(player["counters"], kills)) + "/" +
                std::to_string(count_of(player["counters"], deaths));
    }
    return text;
}

TEST_F(ReportJson, RoundsCutTheLogAtEachRoundEnd) {
    struct round_want {
        std::uint64_t first_line;
        std::uint64_t last_line;
        bool ended;
        std::string players;  // as round_players gives them
    };
    struct round_case {
        const char* what;
        std::string log;
        std::vector<round_want> rounds;
    };
    std::string fifty;
    for (int i = 0; i < round_limit; ++i) {
        fifty += "Sam hit the fraglimit\n";
    }
    std::vector<round_want> fifty_rounds;
    for (std::uint64_t i = 1; i <= round_limit; ++i) {
        fifty_rounds.push_back({i, i, true, ""});
    }
    auto with = [](std::vector<round_want> list, const round_want& last) {
        list.push_back(last);
        return list;
    };
    const round_case cases[] = {
        {"an empty log", "", {}},
        {"no round end", "Bob was railed by Sam\nchat\n", {{1, 2, false, "0:0/1 1:1/0"}}},
        {"a round end as the first line",
         "fraglimit hit\nBob was railed by Sam\n",
         {{1, 1, true, ""}, {2, 2, false, "0:0/1 1:1/0"}}},
        {"a round end as the last line",
         "Bob was railed by Sam\nfraglimit hit\n",
         {{1, 2, true, "0:0/1 1:1/0"}}},
        {"an obituary on a round-end line belongs to the round it ends",
         "Bob was railed by Sam\nfraglimit Bob was railed by Sam\nSam was railed by Bob\n",
         // The victim on the round-end line is "fraglimit Bob", slot 2.
         {{1, 2, true, "0:0/1 1:2/0 2:0/1"}, {3, 3, false, "0:1/0 1:0/1"}}},
        {"a player who appears in round 2 only",
         "Bob was railed by Sam\nfraglimit\nCy was railed by Sam\nCy cratered\n",
         {{1, 2, true, "0:0/1 1:1/0"}, {3, 4, false, "1:1/0 2:0/1"}}},
        {"a death without a killer is a count too",
         "fraglimit\nBob cratered\n",
         {{1, 1, true, ""}, {2, 2, false, "0:0/0"}}},
        {"the round-limit stop ends the rounds with the line that stopped the run",
         fifty + "Bob was railed by Sam\nfraglimit Bob was railed by Sam\nCy cratered\n",
         with(fifty_rounds, {round_limit + 1, round_limit + 2, true, "0:0/1 1:1/0"})},
    };
    for (const round_case& c : cases) {
        SCOPED_TRACE(c.what);
        empty_tables();
        run_on(c.log);
        document doc = json_report(*tables);
        expect_shape(doc);
        const json& report = doc.value;
        bool stopped = c.rounds.size() > round_limit;
        EXPECT_EQ(report["stopped_at_round_limit"], stopped);
        EXPECT_EQ(report["lines"], stopped ? round_limit + 2 : std::ranges::count(c.log, '\n'));
        int ended = static_cast<int>(std::ranges::count_if(c.rounds, &round_want::ended));
        EXPECT_EQ(report["round_ends"], ended);
        ASSERT_EQ(report["rounds"].size(), c.rounds.size());
        for (std::size_t r = 0; r < c.rounds.size(); ++r) {
            const json& round = report["rounds"][r];
            const round_want& want = c.rounds[r];
            SCOPED_TRACE("round " + std::to_string(r + 1));
            EXPECT_EQ(round["round"], r + 1);
            EXPECT_EQ(round["first_line"], want.first_line);
            EXPECT_EQ(round["last_line"], want.last_line);
            EXPECT_EQ(round["ended"], want.ended);
            EXPECT_EQ(round_players(round), want.players);
        }
        expect_rounds_add_up(report);
    }
}

TEST_F(ReportJson, RoundOpponentsCountThatRoundAlone) {
    // Sam kills Bob twice in round 1; in round 2 Bob kills Sam once and Cy kills Bob once.
    run_on(
        "Bob was railed by Sam\nBob was railed by Sam\nfraglimit\n"
        "Sam was railed by Bob\nBob was railed by Cy\n");
    json report = json_report(*tables).value;
    auto entries = [](const json& opponents) {
        std::string text;
        for (const json& o : opponents) {
            text += bytes_of(o["name"]) + "@" + std::to_string(o["slot"].get<int>()) + " " +
                    std::to_string(o["kills"].get<int>()) + "/" +
                    std::to_string(o["deaths"].get<int>()) + ";";
        }
        return text;
    };
    EXPECT_EQ(entries(report["players"][0]["opponents"]), "Sam@1 1/2;Cy@2 0/1;");
    EXPECT_EQ(entries(report["players"][1]["opponents"]), "Bob@0 2/1;");
    EXPECT_EQ(entries(report["players"][2]["opponents"]), "Bob@0 1/0;");
    const json& round1 = report["rounds"][0]["players"];
    ASSERT_EQ(round1.size(), 2u);
    EXPECT_EQ(entries(round1[0]["opponents"]), "Sam@1 0/2;");
    EXPECT_EQ(entries(round1[1]["opponents"]), "Bob@0 2/0;");
    const json& round2 = report["rounds"][1]["players"];
    ASSERT_EQ(round2.size(), 3u);
    EXPECT_EQ(entries(round2[0]["opponents"]), "Sam@1 1/0;Cy@2 0/1;");
    EXPECT_EQ(entries(round2[1]["opponents"]), "Bob@0 0/1;");
    EXPECT_EQ(entries(round2[2]["opponents"]), "Bob@0 1/0;");
}

TEST_F(ReportJson, ObituariesBeyondAFullTableAreCountedApart) {
    std::string log;
    for (int p = 0; p < max_players; ++p) {
        log += "p" + std::to_string(p) + " cratered\n";
    }
    log += "New1 was railed by p0\nNew2 cratered\np1 was railed by p0\n";
    run_on(log);
    json report = json_report(*tables).value;
    EXPECT_EQ(report["uncounted_obituaries"], 2);
    ASSERT_EQ(report["players"].size(), std::size_t{max_players});
    EXPECT_EQ(report["players"][0]["counters"]["kills"], 1);
    EXPECT_EQ(report["rounds"][0]["players"].size(), std::size_t{max_players});
}

TEST_F(ReportJson, NamesOfAnyBytesComeBackExactly) {
    std::vector<std::string> names = {
        "a \"quoted\" name",
        "back\\slash\\",
        "<b>&amp;</b>",
        "ABCDEFGHIJKLMNOPQRS",
    };
    std::string controls;
    for (int byte = 1; byte < 32; ++byte) {
        // A line feed ends the line, a carriage return is dropped and byte 26 ends the log.
        if (byte != '\n' && byte != '\r' && byte != 26) {
            controls += static_cast<char>(byte);
        }
    }
    names.push_back(controls.substr(0, 19));
    names.push_back(controls.substr(19));
    for (int from = 128; from < 256; from += 19) {
        std::string high;
        for (int byte = from; byte < std::min(from + 19, 256); ++byte) {
            high += static_cast<char>(byte);
        }
        names.push_back(high);
    }
    std::string log;
    for (const std::string& player : names) {
        log += player + " cratered\n";
    }
    // A plasma gun line without "'s plasmagun" gives a killer whose name ends in a line feed.
    log += "Bob was melted by Sam\n";
    names.push_back("Bob");
    names.push_back("Sam\n");
    run_on(log);
    document doc = json_report(*tables);
    expect_shape(doc);
    const json& players = doc.value["players"];
    ASSERT_EQ(players.size(), names.size());
    for (std::size_t p = 0; p < names.size(); ++p) {
        EXPECT_EQ(bytes_of(players[p]["name"]), names[p]) << "slot " << p;
    }
    EXPECT_EQ(bytes_of(players[names.size() - 2]["opponents"][0]["name"]), "Sam\n");
    // Every byte below 32 is escaped: the only control bytes in the document end its lines.
    for (char c : doc.bytes) {
        auto byte = static_cast<unsigned char>(c);
        EXPECT_TRUE(byte >= 32 || byte == '\n') << "raw byte " << static_cast<int>(byte);
    }
}

TEST_F(ReportJson, PlainNamesLoseTheirColourCodes) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"Sarge^7", "Sarge"},
        {"^1Big ^2Tom^7", "Big Tom"},
        {"^^1x", "1x"},      // the '^' after a '^' is the code's character
        {"tail^", "tail^"},  // no character left to make a code
        {"\xE9t\xE9^\xFF", "\xE9t\xE9"},
        {"", ""},
    };
    for (const auto& [player, plain] : cases) {
        EXPECT_EQ(plain_name_of(player), plain) << player;
    }
    run_on("^1Big ^2Tom^7 cratered\n");
    json report = json_report(*tables).value;
    EXPECT_EQ(report["players"][0]["plain_name"], "Big Tom");
}

TEST_F(ReportJson, TheLogPathIsKeptAsGiven) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"qconsole.log", "qconsole.log"},
        {"C:\\Games\\\"q3\"\\qconsole.log", "C:\\Games\\\"q3\"\\qconsole.log"},
        {"J\xC3\xB6rg/qconsole.log", "J\xC3\xB6rg/qconsole.log"},  // UTF-8 stays
        {"J\xF6rg/qconsole.log", "J\xC3\xB6rg/qconsole.log"},      // other bytes as names
    };
    for (const auto& [path, text] : cases) {
        empty_tables();
        EXPECT_EQ(json_report(*tables, path).value["log"], text) << path;
    }
}

TEST_F(ReportJson, AWriteThatFailsIsReported) {
    run_on("Bob was railed by Sam\n");
    // A stream open for reading only fails every write, and leaves the file as it was.
    std::FILE* in = std::fopen(FRAGTALLY_SOURCE_DIR "/examples/qconsole.log", "rb");
    ASSERT_NE(in, nullptr);
    EXPECT_FALSE(write_json(in, results_of_pass("qconsole.log")));
    std::fclose(in);
}

}  // namespace
