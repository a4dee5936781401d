// The one-sweep phrase search against a plain search for each phrase, on every CPU path this
// machine has, over generated and hostile lines: for the pass's phrases, and for a larger set
// with more anchor words, some beginning with the same byte, which the search is built for just
// as well. And the whole pass over a log whose lines straddle the scanner's reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "count/phrases.h"
#include "plain_phrases.h"
#include "scan/cpu.h"
#include "test_support.h"

namespace {

// The pass's phrases and more that the game prints, each with a word to sweep for.
constexpr auto larger_phrase_set = [] {
    constexpr std::array<phrase_entry, 14> more = {{
        {"was squished", "squished"},
        {"sank like a rock", "sank"},
        {"tripped on his own grenade", "tripped"},
        {"was shredded by", " by"},
        {"'s shrapnel", "shrapnel"},
        {"was blasted by", " by"},
        {"'s BFG", "BFG"},
        {"tried to invade", "invade"},
        {"'s personal space", "personal"},
        {"killed himself", "himself"},
        {"suicides", "suicides"},
        {"saw the light", "light"},
        {"blew herself up", "herself"},
        {"melted herself", "herself"},
    }};
    std::array<phrase_entry, pass_phrases.size() + more.size()> all{};
    std::copy(pass_phrases.begin(), pass_phrases.end(), all.begin());
    std::copy(more.begin(), more.end(), all.begin() + pass_phrases.size());
    return all;
}();

static_assert(phrase_search<larger_phrase_set>::anchor_count > 8,
              "more anchor words than one group of the vector sweeps holds");

std::vector<cpu_path> available_paths() {
    std::vector<cpu_path> paths;
    for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
        if (cpu_has(static_cast<cpu_path>(p))) {
            paths.push_back(static_cast<cpu_path>(p));
        }
    }
    return paths;
}

std::string_view name_of(cpu_path path) {
    return cpu_path_names[static_cast<std::size_t>(path)];
}

// Bytes that could fool a search that looked past the text: every phrase, again and again.
template <const auto& list>
std::string phrase_soup(std::size_t size) {
    std::string soup;
    while (soup.size() < size) {
        for (const phrase_entry& p : list) {
            soup += p.text;
        }
    }
    soup.resize(size);
    return soup;
}

// Checks every path on the text held in memory of exactly its size (so a sanitizer catches
// any read outside it), and found through a map of the text amid bytes full of phrases, at
// several distances from the start of the mapped data. In the map the text lies right after
// just_before and right before just_after, which must not count.
template <const auto& list>
void expect_all_paths_agree(std::string_view text, std::string_view just_before = {},
                            std::string_view just_after = {}) {
    using search = phrase_search<list>;
    const phrase_set expected = plain_find_phrases<list>(text);
    auto exact = std::make_unique<char[]>(text.size());
    std::memcpy(exact.get(), text.data(), text.size());
    for (cpu_path path : available_paths()) {
        const auto on = search::sweep_for(path);
        ASSERT_EQ(search::find({exact.get(), text.size()}, on), expected)
            << name_of(path) << " on '" << text << "'";
        for (std::size_t before : {0u, 1u, 63u, 64u, 100u}) {
            std::string data = phrase_soup<list>(before) + std::string(just_before);
            std::size_t at = data.size();
            data += std::string(text) + std::string(just_after);
            std::size_t mapped = data.size();
            data += phrase_soup<list>(phrase_scan_overread);
            std::vector<std::uint64_t> spots((mapped + 63) / 64);
            search::map(data.data(), mapped, spots.data(), on);
            ASSERT_EQ(
                search::find_mapped({data.data() + at, text.size()}, data.data(), spots.data(), on),
                expected)
                << name_of(path) << " mapped " << before << " bytes in, on '" << text << "'";
        }
    }
}

TEST(Phrases, EveryPathTheCpuHasIsTakenWhenChosen) {
    std::vector<cpu_path> paths = available_paths();
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths.front(), cpu_path::portable);
    EXPECT_EQ(fastest_cpu_path(), paths.back());
    for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
        std::string name(cpu_path_names[p]);
        bool has = cpu_has(static_cast<cpu_path>(p));
        cpu_path path = paths.back();
        EXPECT_EQ(cpu_path_named(name.c_str(), path), has) << name;
        EXPECT_EQ(path, has ? static_cast<cpu_path>(p) : paths.back()) << name;
    }
    cpu_path path = cpu_path::portable;
    EXPECT_FALSE(cpu_path_named("AVX2", path));  // names are exact
    EXPECT_FALSE(cpu_path_named("fastest", path));
    EXPECT_EQ(path, cpu_path::portable);
    EXPECT_TRUE(cpu_path_named("", path));
    EXPECT_EQ(path, fastest_cpu_path());
    EXPECT_TRUE(cpu_path_named(nullptr, path));
    EXPECT_EQ(path, fastest_cpu_path());
}

const char* const tricky_lines[] = {
    "",
    "\n",
    "Bob was railed by Sam\n",
    "Bob was railed by",  // phrase at the very end, no line feed
    "was railed by",      // the whole text is the phrase
    "Bob was railed b\n",
    "Bob was railed by Sam's fraglimit\n",
    "Kate almost dodged Sam's rocket\n",
    "Kate ate Sam's rocke\n",
    "ate rocket",
    "rocketate",
    "Sam's rocket\n",  // "rocket" without "ate"
    "Bob melted himself\n",
    "Bob melted himselfBob blew himself up\n",  // two "himself" phrases
    "Bob blew himself u\n",
    "was melted by was pummeled by was gunned down by was electrocuted by\n",
    "Bob was machinegunned by Sam\n",
    "by by by  by   by\n",
    "himself himself\n",
    "Bob does a back flip into the lava\n",
    "into the lav",
    "Edward was in the wrong place\n",
    "in the wrong plac",
    "Bob cratered\n",
    "crateredcratered",
    "Sam hit the fraglimit.\n",
    "fraglimi",
    "FRAGLIMIT Was Railed By\n",  // phrases are case-sensitive
    "was gunned down by\r\n",
    "\x1a was railed by \x1a\n",
    "Bob was squished\n",
    "Bob tripped on his own grenade\n",
    "Bob sank like a rock suicides saw the light\n",
    "Bob was shredded by Sam's shrapnel\n",
    "Bob was blasted by Sam's BFG\n",
    "Bob tried to invade Sam's personal space\n",
    "Bob killed himself, blew herself up, melted herself\n",
    "was blasted b",
};

template <const auto& list>
void check_tricky_lines() {
    for (const char* line : tricky_lines) {
        expect_all_paths_agree<list>(line);
    }
    // Texts that hold a zero byte, which the table above cannot give.
    expect_all_paths_agree<list>(std::string_view("was railed by\0Sam's rocket ate", 30));
    expect_all_paths_agree<list>(std::string_view("\0\0\0cratered\0", 12));
}

TEST(Phrases, TypicalAndTrickyLines) {
    check_tricky_lines<pass_phrases>();
    check_tricky_lines<larger_phrase_set>();
    EXPECT_EQ(find_phrases("Bob was railed by Sam\n"),
              plain_find_phrases("Bob was railed by Sam\n"));
    EXPECT_NE(find_phrases("Bob was railed by Sam\n"), 0u);
}

// Around the vector widths and the longest reach, the phrase anywhere from the start to the end,
// the rest filled with bytes that almost make anchors.
template <const auto& list>
void check_every_place() {
    for (const phrase_entry& entry : list) {
        std::string_view p = entry.text;
        for (std::size_t size = p.size(); size <= 80; ++size) {
            for (std::size_t at = 0; at + p.size() <= size; ++at) {
                std::string text(size, ' ');
                for (std::size_t i = 0; i < size; ++i) {
                    text[i] = "bydfhtgrwl "[i % 11];
                }
                text.replace(at, p.size(), p);
                expect_all_paths_agree<list>(text);
                text.pop_back();  // the phrase cut short when it ends the text
                expect_all_paths_agree<list>(text);
            }
        }
    }
}

TEST(Phrases, EveryPhraseAtEveryPlaceOfLinesOfEveryLength) {
    check_every_place<pass_phrases>();
    check_every_place<larger_phrase_set>();
}

template <const auto& list>
void check_every_byte_value() {
    for (const phrase_entry& entry : list) {
        std::string_view p = entry.text;
        for (std::size_t prefix : {0u, 1u, 17u}) {
            std::string base = std::string(prefix, 'x') + std::string(p) + " rocket ate\n";
            for (std::size_t pos = prefix == 0 ? 0 : prefix - 1; pos <= prefix + p.size(); ++pos) {
                for (int byte = 0; byte < 256; ++byte) {
                    std::string text = base;
                    text[pos] = static_cast<char>(byte);
                    expect_all_paths_agree<list>(text);
                }
            }
        }
    }
}

TEST(Phrases, EveryByteValueInAndAroundEachPhrase) {
    check_every_byte_value<pass_phrases>();
    check_every_byte_value<larger_phrase_set>();
}

template <const auto& list>
void check_cut_phrases() {
    // The rest of the phrase lies next to the text in memory, where a search that looked past
    // either end would complete it. "rocket" is there so that a cut "ate" is looked for too.
    for (const phrase_entry& entry : list) {
        std::string_view p = entry.text;
        for (std::size_t cut : {std::size_t{1}, p.size() / 2, p.size() - 1}) {
            std::string_view head = p.substr(0, p.size() - cut);
            std::string_view tail = p.substr(p.size() - cut);
            // Lines short and long, among them 64 bytes, the longest a map finds in one go.
            for (std::size_t size : {0u, 40u, 64u, 65u}) {
                std::string filler(std::max(size, 7 + head.size()) - 7 - head.size(), 'x');
                expect_all_paths_agree<list>("rocket " + filler + std::string(head), "", tail);
                expect_all_paths_agree<list>(std::string(tail) + filler + " rocket", head, "");
            }
        }
    }
}

TEST(Phrases, PhrasesCutByTheEndsOfTheTextCountNotWithTheirRestBeside) {
    check_cut_phrases<pass_phrases>();
    check_cut_phrases<larger_phrase_set>();
}

// Random lines built from phrases, pieces of phrases, names holding phrases, blanks, line
// ends and arbitrary bytes, NUL, CR and byte 26 among them.
template <const auto& list>
std::string random_line(std::mt19937& rng) {
    const std::vector<std::string> pieces = {
        " was",       " by",       "by ",     "ed by",  "wn by",    " d by", "himself",
        "himsel",     "rocke",     "ocket",   "ate",    "at",       "Kate",  "Pirate",
        "dodged",     "dodge",     "almost",  "crater", "cratered", "wrong", "lava",
        "into the",   "fraglimit", "fragli",  "melted", "^7",       "Bob",   "Sam",
        "Big^1Bob^7", " ",         "  ",      "\n",     "\r",       "\x1a",  std::string(1, '\0'),
        "'s ",        "herself",   "suicide", "shrap",  "sank",     "'s B",  "light",
    };
    std::uniform_int_distribution<int> count(0, 14);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> any_byte(0, 255);
    std::uniform_int_distribution<std::size_t> which_piece(0, pieces.size() - 1);
    std::uniform_int_distribution<std::size_t> which_phrase(0, list.size() - 1);
    std::string line;
    for (int n = count(rng); n > 0; --n) {
        int k = kind(rng);
        if (k < 3) {
            line += list[which_phrase(rng)].text;
        } else if (k < 8) {
            line += pieces[which_piece(rng)];
        } else {
            line += static_cast<char>(any_byte(rng));
        }
    }
    return line;
}

TEST(Phrases, ThousandsOfRandomLines) {
    std::mt19937 rng(20240611);
    for (int i = 0; i < 20000; ++i) {
        expect_all_paths_agree<pass_phrases>(random_line<pass_phrases>(rng));
        expect_all_paths_agree<larger_phrase_set>(random_line<larger_phrase_set>(rng));
    }
}

template <const auto& list>
void check_long_lines() {
    std::mt19937 rng(7);
    std::string filler;
    for (int i = 0; i < 3000; ++i) {
        filler += "abcdefghijklmnopqrstuvwxyz ^7"[i % 29];
    }
    for (int i = 0; i < 200; ++i) {
        std::string line = filler.substr(0, rng() % filler.size());
        std::size_t at = line.empty() ? 0 : rng() % line.size();
        line.insert(at, list[rng() % list.size()].text);
        if (rng() % 2 == 0) {
            line += list[rng() % list.size()].text;  // a phrase at the very end
        }
        expect_all_paths_agree<list>(line);
    }
}

TEST(Phrases, LongLines) {
    check_long_lines<pass_phrases>();
    check_long_lines<larger_phrase_set>();
}

using PassOverReads = TablesTest;

// The pass finds phrases through a map of the scanner's buffer, next to other lines and the end
// of the buffer. Its tallies must be those of examining each line on its own.
TEST_F(PassOverReads, LinesAcrossTheScannersReadsCountAsAlone) {
    std::mt19937 rng(99);
    std::string log;
    while (log.size() < 3 * 128 * 1024) {  // three of the scanner's reads
        if (rng() % 3 == 0) {
            const obituary_kind& kind = obituary_kinds[rng() % obituary_kinds.size()];
            std::string victim = rng() % 2 == 0 ? "Kate" : "Al";
            log += victim + " " + std::string(kind.phrase) + " " + std::string(kind.also) +
                   " Sam's rocket\n";
        } else {
            std::string chat = random_line<pass_phrases>(rng);
            std::replace(chat.begin(), chat.end(), '\n', '.');
            std::replace(chat.begin(), chat.end(), '\r', '.');
            std::replace(chat.begin(), chat.end(), '\x1a', '.');
            std::replace(chat.begin(), chat.end(), 'f', 'F');  // no round ends
            log += chat + "\n";
        }
    }
    pass_run run = run_on(log);
    ASSERT_EQ(run.end, pass_end::end_of_log);
    auto got_stats = tables->stats;
    auto got_kills = tables->who_killed_who;
    int got_players = tables->player_count;

    empty_tables();
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t lf = log.find('\n', start);
        std::string_view line(log.data() + start, lf + 1 - start);
        line = line.substr(0, line.find('\0'));
        ASSERT_TRUE(examine_line(*tables, line, find_phrases(line)));
        start = lf + 1;
    }
    EXPECT_GT(tables->player_count, 4);  // names from chat lines that looked like obituaries too
    EXPECT_EQ(got_players, tables->player_count);
    EXPECT_TRUE(got_stats == tables->stats);
    EXPECT_TRUE(got_kills == tables->who_killed_who);
}

}  // namespace
