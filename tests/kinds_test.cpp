// The table of kinds against what follows from it elsewhere: the extractor sources, the phrases
// searched for, and a line of each kind counted as that kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "kinds.h"
#include "phrases.h"
#include "test_support.h"

namespace {

// Every extractor source file is a kind's, and every kind's is there; the build takes them
// from the folder.
TEST(Kinds, EachKindHasItsOwnExtractorSourceAndNoSourceIsLeftOver) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(FRAGTALLY_EXTRACTOR_SOURCES)) {
        if (entry.path().extension() == ".cpp" && entry.path().stem() != "name_cutter") {
            files.insert(entry.path().stem().string());
        }
    }
    std::set<std::string> modules;
    std::set<std::string> extractors;
    for (const obituary_kind& kind : obituary_kinds) {
        modules.emplace(kind.module);
        extractors.emplace(kind.extractor);
    }
    EXPECT_EQ(modules.size(), obituary_kinds.size()) << "a source file per kind";
    EXPECT_EQ(extractors.size(), obituary_kinds.size()) << "an extractor per kind";
    EXPECT_EQ(files, modules);
}

// Each kind's phrases are searched for, and a line that holds them is found to hold them.
TEST(Kinds, EveryPhraseOfAKindIsSearchedFor) {
    for (const obituary_kind& kind : obituary_kinds) {
        SCOPED_TRACE(kind.extractor);
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

// A line of each kind, counted through the pass, claims its names and bumps that kind's counters
// and nothing of the others'.
TEST_F(KindLines, ALineOfEachKindBumpsThatKindsCounters) {
    for (const obituary_kind& kind : obituary_kinds) {
        SCOPED_TRACE(kind.extractor);
        init();
        std::string line = "V " + std::string(kind.phrase) + " " + std::string(kind.also) + "\n";
        ASSERT_TRUE(examine_line(line, find_phrases(line)));
        ASSERT_GE(player_count, 1);
        auto v = static_cast<std::size_t>(0);  // the victim, or the single player, comes first
        EXPECT_GE(stats[v][static_cast<std::size_t>(kind.victim)], 1);
        if (kind.two_names) {
            EXPECT_GE(stats[v][deaths], 1);
            ASSERT_GE(player_count, 2);
            EXPECT_GE(stats[1][static_cast<std::size_t>(kind.killer)], 1);
            EXPECT_GE(stats[1][kills], 1);
        } else {
            EXPECT_EQ(stats[v][deaths], 0);
            EXPECT_EQ(stats[v][kills], 0);
        }
    }
}

}  // namespace
