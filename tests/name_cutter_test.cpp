// The name cutter on every CPU path this build and CPU have, against its portable path, on the
// same generated and hostile texts: every record they return must be the same, byte for byte.
// The extractors are run themselves, with the rules in their own files; rules made up to trip
// the vector paths are run through the cutter directly.
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

#include "count/extractors/name_cutter.h"
#include "count/kinds.h"
#include "scan/cpu.h"

namespace {

using cut_function = stats_t (*)(cpu_path, std::string_view);

// A cut on a given path, the pieces texts are built from, and whether it cuts two names.
struct rule_case {
    std::string label;
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

// The extractors of the table of kinds, each run on the given path. Their texts are built from
// the kind's phrases and the marks names on obituary lines end at; the checks that the texts
// exercise the cuts fail when an extractor's rules move away from these.
template <std::size_t k>
stats_t kind_on_path(cpu_path path, std::string_view text) {
    return cut_names(obituary_kinds[k].cut, text, path);
}

template <std::size_t... k>
std::vector<rule_case> kind_cases(std::index_sequence<k...>) {
    const std::vector<std::string> marks = {" wa",   "was", "'s p",  "'s ro", "s roc", "   ",
                                            "  ",    "\n",  " melt", " does", " blew", " cr",
                                            " almo", "ate", "ed by", "wn by", "d by",  "dged"};
    std::vector<rule_case> cases;
    for (std::size_t kind = 0; kind < obituary_kinds.size(); ++kind) {
        std::vector<std::string> pieces = marks;
        pieces.emplace_back(obituary_kinds[kind].phrase);
        pieces.emplace_back(obituary_kinds[kind].also);
        cases.push_back({std::string(obituary_kinds[kind].name), nullptr, pieces,
                         obituary_kinds[kind].two_names()});
    }
    const std::array<cut_function, sizeof...(k)> cuts = {kind_on_path<k>...};
    for (std::size_t kind = 0; kind < cuts.size(); ++kind) {
        cases[kind].cut = cuts[kind];
    }
    return cases;
}

// The extractors, then rules chosen to trip the vector paths: wildcards at either end of a
// pattern (a '?' past the end of the text must not match), zero bytes as pattern bytes (the
// zeros the vector paths put after the text must not match them), repeated and overlapping
// bytes, and the longest pattern allowed.
const std::vector<rule_case>& rule_cases() {
    static const std::vector<rule_case> cases = [] {
        std::vector<rule_case> all = kind_cases(std::make_index_sequence<obituary_kinds.size()>{});
        const std::vector<rule_case> made_up = {
            two<two_name_rules{"?", "?", "?", true}>("one wildcard each"),
            two<two_name_rules{"a??", "??a", "????????", false}>("wildcard ends, longest pattern"),
            two<two_name_rules{std::string_view("\0b", 2), std::string_view("b\0", 2),
                               std::string_view("\0", 1), true}>("zero bytes"),
            two<two_name_rules{"aa", "aaa", "a?a", true}>("overlapping matches"),
            two<two_name_rules{"\n", "\n", "\n\n", true}>("line feeds"),
            one<one_name_rules{std::string_view("?\0", 2)}>("zero byte after a wildcard"),
            one<one_name_rules{"x"}>("one byte"),
        };
        all.insert(all.end(), made_up.begin(), made_up.end());
        return all;
    }();
    return cases;
}

// Builds texts from the rule set's patterns (wildcards filled with any byte, zero included),
// names of up to 22 bytes (so around the 19-byte cut) made of bytes the patterns use, blanks,
// line feeds and zeros, and cuts them to 0 to 70 bytes, so some end inside a pattern and some
// are longer than the vector paths' window.
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

// The vector paths this build has on this CPU.
std::vector<cpu_path> vector_paths() {
    std::vector<cpu_path> paths;
    for (std::size_t p = 1; p < cpu_path_names.size(); ++p) {
        if (cpu_has(static_cast<cpu_path>(p))) {
            paths.push_back(static_cast<cpu_path>(p));
        }
    }
    return paths;
}

// Cuts the text on the portable path and each vector path, held in memory of exactly its size
// (so a sanitizer sees any read outside it); returns the portable path's record, after failing
// the test if another path's differs.
stats_t expect_same_cut(const rule_case& rules, std::string_view text, bool* same) {
    std::unique_ptr<char[]> exact(new char[text.size()]);
    std::memcpy(exact.get(), text.data(), text.size());
    std::string_view view(exact.get(), text.size());
    stats_t portable = rules.cut(cpu_path::portable, view);
    *same = true;
    for (cpu_path path : vector_paths()) {
        stats_t fast = rules.cut(path, view);
        if (!same_record(portable, fast)) {
            *same = false;
            ADD_FAILURE() << rules.label << " on \"" << shown(text) << "\" (" << text.size()
                          << " bytes)\nportable: " << record(portable) << "\n"
                          << cpu_path_names[static_cast<std::size_t>(path)] << ": " << record(fast);
        }
    }
    return portable;
}

TEST(NameCutter, AllPathsCutTheSameNames) {
    if (vector_paths().empty()) {
        GTEST_SKIP() << "this build has only the portable path";
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

// Texts where a vector path could go wrong, through every rule set: empty ones, ones that end
// at the window's end or just past it, names at the cut, marks at the window's edge, names past
// the window.
TEST(NameCutter, AllPathsAgreeAtTheEdges) {
    if (vector_paths().empty()) {
        GTEST_SKIP() << "this build has only the portable path";
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
        std::string(60, 'y') + " was railed by Sam\n",  // the killer begins past the window
        std::string(70, 'y') + " was in the wrong place\n",
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

}  // namespace
