// The one-pass phrase scan against a plain search for each phrase, on every scanner this
// machine can run, over generated and hostile lines; and the whole pass over a log whose lines
// straddle the reader's reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "phrases.h"
#include "plain_phrases.h"
#include "test_support.h"

namespace {

std::vector<phrase_scanner> available_scanners() {
    std::vector<phrase_scanner> scanners;
    for (phrase_scanner s : {phrase_scanner::portable, phrase_scanner::sse2, phrase_scanner::avx2,
                             phrase_scanner::avx512}) {
        if (scanner_available(s)) {
            scanners.push_back(s);
        }
    }
    return scanners;
}

const char* scanner_name(phrase_scanner s) {
    switch (s) {
        case phrase_scanner::portable:
            return "portable";
        case phrase_scanner::sse2:
            return "sse2";
        case phrase_scanner::avx2:
            return "avx2";
        case phrase_scanner::avx512:
            return "avx512";
    }
    return "?";
}

// Bytes that could fool a scan that looked past the text: every phrase, again and again.
std::string phrase_soup(std::size_t size) {
    std::string soup;
    while (soup.size() < size) {
        for (std::string_view p : phrase_text) {
            soup += p;
        }
    }
    soup.resize(size);
    return soup;
}

// Checks every scanner on the text held in memory of exactly its size (so a sanitizer catches
// any read outside it), and found through a map of the text amid bytes full of phrases, at
// several distances from the start of the mapped data. In the map the text lies right after
// just_before and right before just_after, which must not count.
void expect_all_scanners_agree(std::string_view text, std::string_view just_before = {},
                               std::string_view just_after = {}) {
    const phrase_set expected = plain_find_phrases(text);
    auto exact = std::make_unique<char[]>(text.size());
    std::memcpy(exact.get(), text.data(), text.size());
    for (phrase_scanner s : available_scanners()) {
        ASSERT_EQ(find_phrases_with(s, {exact.get(), text.size()}), expected)
            << scanner_name(s) << " on '" << text << "'";
        for (std::size_t before : {0u, 1u, 63u, 64u, 100u}) {
            std::string data = phrase_soup(before) + std::string(just_before);
            std::size_t at = data.size();
            data += std::string(text) + std::string(just_after);
            std::size_t mapped = data.size();
            data += phrase_soup(phrase_scan_overread);
            std::vector<std::uint64_t> spots((mapped + 63) / 64);
            map_spots_with(s, data.data(), mapped, spots.data());
            ASSERT_EQ(
                find_mapped_phrases({data.data() + at, text.size()}, data.data(), spots.data()),
                expected)
                << scanner_name(s) << " mapped " << before << " bytes in, on '" << text << "'";
        }
    }
    ASSERT_EQ(find_phrases(text), expected);
}

TEST(Phrases, ThePortableScannerIsAlwaysThere) {
    EXPECT_TRUE(scanner_available(phrase_scanner::portable));
    EXPECT_TRUE(scanner_available(fastest_scanner()));
}

TEST(Phrases, TypicalAndTrickyLines) {
    const char* lines[] = {
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
    };
    for (const char* line : lines) {
        expect_all_scanners_agree(line);
    }
    // Texts that hold a zero byte, which the table above cannot give.
    expect_all_scanners_agree(std::string_view("was railed by\0Sam's rocket ate", 30));
    expect_all_scanners_agree(std::string_view("\0\0\0cratered\0", 12));
}

TEST(Phrases, EveryPhraseAtEveryPlaceOfLinesOfEveryLength) {
    // Around the vector widths and the longest reach, the phrase anywhere from the start to
    // the end, the rest filled with bytes that almost make anchors.
    for (std::string_view p : phrase_text) {
        for (std::size_t size = p.size(); size <= 80; ++size) {
            for (std::size_t at = 0; at + p.size() <= size; ++at) {
                std::string text(size, ' ');
                for (std::size_t i = 0; i < size; ++i) {
                    text[i] = "bydfhtgrwl "[i % 11];
                }
                text.replace(at, p.size(), p);
                expect_all_scanners_agree(text);
                text.pop_back();  // the phrase cut short when it ends the text
                expect_all_scanners_agree(text);
            }
        }
    }
}

TEST(Phrases, EveryByteValueInAndAroundEachPhrase) {
    for (std::string_view p : phrase_text) {
        for (std::size_t prefix : {0u, 1u, 17u}) {
            std::string base = std::string(prefix, 'x') + std::string(p) + " rocket ate\n";
            for (std::size_t pos = prefix == 0 ? 0 : prefix - 1; pos <= prefix + p.size(); ++pos) {
                for (int byte = 0; byte < 256; ++byte) {
                    std::string text = base;
                    text[pos] = static_cast<char>(byte);
                    expect_all_scanners_agree(text);
                }
            }
        }
    }
}

TEST(Phrases, PhrasesCutByTheEndsOfTheTextCountNotWithTheirRestBeside) {
    // The rest of the phrase lies next to the text in memory, where a search that looked past
    // either end would complete it. "rocket" is there so that a cut "ate" is looked for too.
    for (std::string_view p : phrase_text) {
        for (std::size_t cut : {std::size_t{1}, p.size() / 2, p.size() - 1}) {
            std::string_view head = p.substr(0, p.size() - cut);
            std::string_view tail = p.substr(p.size() - cut);
            // Lines short and long, among them 64 bytes, the longest a map finds in one go.
            for (std::size_t size : {0u, 40u, 64u, 65u}) {
                std::string filler(std::max(size, 7 + head.size()) - 7 - head.size(), 'x');
                expect_all_scanners_agree("rocket " + filler + std::string(head), "", tail);
                expect_all_scanners_agree(std::string(tail) + filler + " rocket", head, "");
            }
        }
    }
}

// Random lines built from phrases, pieces of phrases, names holding phrases, blanks, line
// ends and arbitrary bytes, NUL, CR and byte 26 among them.
std::string random_line(std::mt19937& rng) {
    const std::vector<std::string> pieces = {
        " was",       " by",       "by ",    "ed by",  "wn by",    " d by", "himself",
        "himsel",     "rocke",     "ocket",  "ate",    "at",       "Kate",  "Pirate",
        "dodged",     "dodge",     "almost", "crater", "cratered", "wrong", "lava",
        "into the",   "fraglimit", "fragli", "melted", "^7",       "Bob",   "Sam",
        "Big^1Bob^7", " ",         "  ",     "\n",     "\r",       "\x1a",  std::string(1, '\0'),
        "'s ",
    };
    std::uniform_int_distribution<int> count(0, 14);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> any_byte(0, 255);
    std::uniform_int_distribution<std::size_t> which_piece(0, pieces.size() - 1);
    std::uniform_int_distribution<std::size_t> which_phrase(0, phrase_count - 1);
    std::string line;
    for (int n = count(rng); n > 0; --n) {
        int k = kind(rng);
        if (k < 3) {
            line += phrase_text[which_phrase(rng)];
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
        expect_all_scanners_agree(random_line(rng));
    }
}

TEST(Phrases, LongLines) {
    std::mt19937 rng(7);
    std::string filler;
    for (int i = 0; i < 3000; ++i) {
        filler += "abcdefghijklmnopqrstuvwxyz ^7"[i % 29];
    }
    for (int i = 0; i < 200; ++i) {
        std::string line = filler.substr(0, rng() % filler.size());
        std::size_t at = line.empty() ? 0 : rng() % line.size();
        line.insert(at, phrase_text[rng() % phrase_count]);
        if (rng() % 2 == 0) {
            line += phrase_text[rng() % phrase_count];  // a phrase at the very end
        }
        expect_all_scanners_agree(line);
    }
}

using PassOverReads = TablesTest;

// The pass finds phrases through a map of the reader's buffer, next to other lines and the end
// of the buffer. Its tallies must be those of examining each line on its own.
TEST_F(PassOverReads, LinesAcrossTheReadersReadsCountAsAlone) {
    std::mt19937 rng(99);
    const std::vector<std::string> obituaries = {
        "Bob was railed by Sam\n",
        "Sam was melted by Bob's plasmagun\n",
        "Kate ate Sam's rocket\n",
        "Al almost dodged Kate's rocket\n",
        "Bob cratered\n",
        "Sam blew himself up\n",
        "Al was in the wrong place\n",
        "Kate does a back flip into the lava\n",
        "Bob was pummeled by Al\n",
        "Sam was gunned down by Kate\n",
        "Al was machinegunned by Bob\n",
        "Bob was electrocuted by Kate\n",
        "Al melted himself\n",
    };
    std::string log;
    while (log.size() < 3 * read_size) {
        if (rng() % 3 == 0) {
            log += obituaries[rng() % obituaries.size()];
        } else {
            std::string chat = random_line(rng);
            std::replace(chat.begin(), chat.end(), '\n', '.');
            std::replace(chat.begin(), chat.end(), '\r', '.');
            std::replace(chat.begin(), chat.end(), '\x1a', '.');
            std::replace(chat.begin(), chat.end(), 'f', 'F');  // no round ends
            log += chat + "\n";
        }
    }
    pass_run run = run_on(log);
    ASSERT_EQ(run.end, pass_end::end_of_log);
    auto got_stats = stats;
    auto got_kills = who_killed_who;
    int got_players = player_count;

    init();
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t lf = log.find('\n', start);
        std::string_view line(log.data() + start, lf + 1 - start);
        line = line.substr(0, line.find('\0'));
        ASSERT_TRUE(examine_line(line));
        start = lf + 1;
    }
    EXPECT_GT(player_count, 4);  // names from chat lines that looked like obituaries too
    EXPECT_EQ(got_players, player_count);
    EXPECT_TRUE(got_stats == stats);
    EXPECT_TRUE(got_kills == who_killed_who);
}

}  // namespace
