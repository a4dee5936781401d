// The name cutter's ways, the portable search and each fast one this build and CPU have, on the
// same generated and hostile texts: every record they return must be the same, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "extractors/name_cutter.h"

namespace {

using cut_function = stats_t (*)(cutter, std::string_view);

// A rule set, the cutter compiled for it, and the pieces texts are built from.
struct rule_case {
    const char* label;
    cut_function cut;
    std::vector<std::string> patterns;
    bool two_names;
};

template <one_name_rules rules>
rule_case one(const char* label) {
    return {label, cut_one_name_with<rules>, {std::string(rules.first_end.text())}, false};
}

template <two_name_rules rules>
rule_case two(const char* label) {
    std::vector<std::string> patterns = {std::string(rules.first_end.text()),
                                         std::string(rules.start.text()),
                                         std::string(rules.second_end.text())};
    if (rules.second_ends_at_line_feed) {
        patterns.emplace_back("\n");
    }
    return {label, cut_two_names_with<rules>, patterns, true};
}

// The extractors' rules, then rules chosen to trip the fast ways: wildcards at either end of a
// pattern (a '?' past the end of the text must not match), zero bytes as pattern bytes (the
// zeros the fast ways put after the text must not match them), repeated and overlapping
// bytes, and the longest pattern allowed.
const std::vector<rule_case>& rule_cases() {
    static const std::vector<rule_case> cases = {
        two<two_name_rules{" wa", "ed by", "   ", true}>("railed, lightning, machinegun"),
        two<two_name_rules{" wa", "wn by", "  ", true}>("shotgun"),
        two<two_name_rules{" wa", "ed by", "?s p", false}>("plasmagun"),
        two<two_name_rules{"?almo", "dged", "?s?roc", false}>("almost_rocketed"),
        two<two_name_rules{"?was", "d?by", "   ", true}>("gauntlet"),
        two<two_name_rules{"?ate", "ate", "?s?ro", false}>("rocket_hit"),
        one<one_name_rules{"?wa"}>("suicide"),
        one<one_name_rules{"?melt"}>("melted"),
        one<one_name_rules{"?does"}>("lava"),
        one<one_name_rules{"?blew"}>("blown"),
        one<one_name_rules{" cr"}>("cratered"),
        two<two_name_rules{"?", "?", "?", true}>("one wildcard each"),
        two<two_name_rules{"a??", "??a", "????????", false}>("wildcard ends, longest pattern"),
        two<two_name_rules{std::string_view("\0b", 2), std::string_view("b\0", 2),
                           std::string_view("\0", 1), true}>("zero bytes"),
        two<two_name_rules{"aa", "aaa", "a?a", true}>("overlapping matches"),
        two<two_name_rules{"\n", "\n", "\n\n", true}>("line feeds"),
        one<one_name_rules{std::string_view("?\0", 2)}>("zero byte after a wildcard"),
        one<one_name_rules{"x"}>("one byte"),
    };
    return cases;
}

// Builds texts from the rule set's patterns (wildcards filled with any byte, zero included),
// names of up to 22 bytes (so around the 19-byte cut) made of bytes the patterns use, blanks,
// line feeds and zeros, and cuts them to 0 to 70 bytes, so some end inside a pattern and some
// are longer than the fast ways' window.
class text_maker {
  public:
    explicit text_maker(const rule_case& rules) : patterns_(rules.patterns) {
        for (const std::string& p : patterns_) {
            for (char c : p) {
                if (c != '?') {
                    alphabet_ += c;
                }
            }
        }
        alphabet_ += std::string(" \n\0xS", 5);
    }

    std::string next() {
        std::string text;
        std::size_t length = below(71);
        while (text.size() < length) {
            switch (below(4)) {
                case 0:
                    text += filled(patterns_[below(patterns_.size())]);
                    break;
                case 1:
                    text += name(below(23));
                    break;
                case 2:
                    text += ' ';
                    break;
                default:
                    text += name(below(4));
                    break;
            }
        }
        text.resize(length);
        return text;
    }

  private:
    std::size_t below(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
    }

    std::string filled(const std::string& pattern) {
        std::string out = pattern;
        for (char& c : out) {
            if (c == '?') {
                c = static_cast<char>(below(256));
            }
        }
        return out;
    }

    std::string name(std::size_t size) {
        std::string out;
        for (std::size_t i = 0; i < size; ++i) {
            out += alphabet_[below(alphabet_.size())];
        }
        return out;
    }

    std::vector<std::string> patterns_;
    std::string alphabet_;
    std::mt19937 random_{20240611};
};

std::string shown(std::string_view text) {
    std::string out;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

bool same_record(const stats_t& a, const stats_t& b) {
    return a.curname == b.curname && a.vicname == b.vicname && a.aggname == b.aggname;
}

// The three fields whole, zeros after the names included.
std::string record(const stats_t& r) {
    std::string out;
    for (const auto* f : {&r.curname, &r.vicname, &r.aggname}) {
        out += '"';
        out += shown(std::string_view(f->data(), f->size()));
        out += "\" ";
    }
    return out;
}

struct fast_way {
    cutter way;
    const char* name;
};

// The fast ways this build has on this CPU.
std::vector<fast_way> fast_ways() {
    std::vector<fast_way> ways;
    for (fast_way w : {fast_way{cutter::sse2, "sse2"}, fast_way{cutter::avx512, "avx512"}}) {
        if (cutter_available(w.way)) {
            ways.push_back(w);
        }
    }
    return ways;
}

// Cuts the text the portable way and each fast way, held in memory of exactly its size (so a
// sanitizer sees any read outside it); returns the portable way's record, after failing the
// test if another way's differs.
stats_t expect_same_cut(const rule_case& rules, std::string_view text, bool* same) {
    std::unique_ptr<char[]> exact(new char[text.size()]);
    std::memcpy(exact.get(), text.data(), text.size());
    std::string_view view(exact.get(), text.size());
    stats_t portable = rules.cut(cutter::portable, view);
    *same = true;
    for (fast_way w : fast_ways()) {
        stats_t fast = rules.cut(w.way, view);
        if (!same_record(portable, fast)) {
            *same = false;
            ADD_FAILURE() << rules.label << " on \"" << shown(text) << "\" (" << text.size()
                          << " bytes)\nportable: " << record(portable) << "\n"
                          << w.name << ": " << record(fast);
        }
    }
    return portable;
}

TEST(NameCutter, AllWaysCutTheSameNames) {
    if (fast_ways().empty()) {
        GTEST_SKIP() << "this build has only the portable way";
    }
    constexpr int texts_per_rule_set = 6000;
    for (const rule_case& rules : rule_cases()) {
        SCOPED_TRACE(rules.label);
        text_maker maker(rules);
        int cut_short = 0;     // texts whose first name ends before the text does
        int second_found = 0;  // texts with a killer's name
        for (int n = 0; n < texts_per_rule_set; ++n) {
            std::string text = maker.next();
            bool same = false;
            stats_t portable = expect_same_cut(rules, text, &same);
            if (!same) {
                break;  // one report per rule set is enough
            }
            const auto& first = rules.two_names ? portable.vicname : portable.curname;
            cut_short += std::strlen(first.data()) < std::min<std::size_t>(text.size(), 19) ? 1 : 0;
            second_found += portable.aggname[0] != '\0' ? 1 : 0;
        }
        // The texts must exercise the cuts, not just run off their ends.
        EXPECT_GT(cut_short, texts_per_rule_set / 10);
        if (rules.two_names) {
            EXPECT_GT(second_found, texts_per_rule_set / 10);
        }
    }
}

// Texts where a fast way could go wrong, through every rule set: empty ones, ones that end at
// the window's end or just past it, names at the cut, marks at the window's edge.
TEST(NameCutter, AllWaysAgreeAtTheEdges) {
    if (fast_ways().empty()) {
        GTEST_SKIP() << "this build has only the portable way";
    }
    const std::string nineteen = "ABCDEFGHIJKLMNOPQRS";
    const std::vector<std::string> texts = {
        "",
        "B",
        nineteen + " was railed by " + nineteen + "\n",
        nineteen + "T was railed by " + nineteen + "TUV   x\n",
        std::string(60, 'x') + " was",
        std::string(42, 'y') + "Bob was railed by Sam\n",  // as long as the window
        std::string(43, 'y') + "Bob was railed by Sam\n",  // one byte longer
        std::string(48, 'y') + "Bob ate Sam's rocket\n",
        "Bob was railed by" + std::string(47, ' '),
        "Bob was railed by Sa" + std::string(44, '\0'),
        "Bob was railed by S\nam\n",
        std::string("Bob\0 was railed by Sam\n", 23),
        std::string(61, 'a') + std::string("b\0\0", 3),
    };
    for (const rule_case& rules : rule_cases()) {
        for (const std::string& text : texts) {
            bool same = false;
            expect_same_cut(rules, text, &same);
        }
    }
}

// The extractors take the last of the ways available, the fastest.
TEST(NameCutter, ExtractorsTakeTheFastestWayAvailable) {
    cutter expected = cutter::portable;
    for (cutter way : {cutter::sse2, cutter::avx512}) {
        if (cutter_available(way)) {
            expected = way;
        }
    }
    EXPECT_EQ(fastest_cutter, expected);
}

}  // namespace
