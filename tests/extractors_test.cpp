// How each rule of names cuts names, including the odd cuts that players' logs rely on.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "count/extractors/extractors.h"

namespace {

struct extractor_case {
    const char* rule_name;
    cut_rule rule;
    bool two_names;
    std::string_view line;
    std::string_view first;   // curname, or vicname of a two-name line
    std::string_view second;  // aggname of a two-name line
};

#define ONE(r, line, name)                     \
    extractor_case {                           \
#r, cut_rule::r, false, line, name, "" \
    }
#define TWO(r, line, victim, killer)                \
    extractor_case {                                \
#r, cut_rule::r, true, line, victim, killer \
    }

const extractor_case cases[] = {
    // The common lines of every kind.
    TWO(by_to_line_end, "Bob was railed by Sam\n", "Bob", "Sam"),
    TWO(by_to_line_end, "Bob was electrocuted by Sam\n", "Bob", "Sam"),
    TWO(down_by_to_two_blanks, "Bob was gunned down by Sam\n", "Bob", "Sam"),
    TWO(by_to_line_end, "Bob was machinegunned by Sam\n", "Bob", "Sam"),
    TWO(by_to_s_p, "Bob was melted by Sam's plasmagun\n", "Bob", "Sam"),
    TWO(dodged_to_s_roc, "Bob almost dodged Sam's rocket\n", "Bob", "Sam"),
    TWO(pummeled_by_to_line_end, "Bob was pummeled by Sam\n", "Bob", "Sam"),
    TWO(ate_to_s_ro, "Bob ate Sam's rocket\n", "Bob", "Sam"),
    ONE(any_before_wa, "Bob was in the wrong place\n", "Bob"),
    ONE(any_before_melt, "Bob melted himself\n", "Bob"),
    ONE(any_before_does, "Bob does a back flip into the lava\n", "Bob"),
    ONE(any_before_blew, "Bob blew himself up\n", "Bob"),
    ONE(blank_before_cr, "Bob cratered\n", "Bob"),
    // Blanks inside names stay; the first blank followed by "wa" ends the victim.
    TWO(by_to_line_end, "Big Bob was railed by Little Sam\n", "Big Bob", "Little Sam"),
    TWO(by_to_line_end, "Bob walker was railed by Sam\n", "Bob", "Sam"),
    // Some end marks need the blank, some take any byte before the word.
    TWO(pummeled_by_to_line_end, "Bob_was was pummeled by Sam\n", "Bob", "Sam"),
    TWO(by_to_line_end, "Bob_was was electrocuted by Sam\n", "Bob_was", "Sam"),
    ONE(any_before_wa, "Edward was in the wrong place\n", "E"),
    ONE(blank_before_cr, "Bob_cratered cratered\n", "Bob_cratered"),
    ONE(any_before_melt, "Xmelt melted himself\n", "Xmelt"),
    ONE(any_before_melt, "Bobmelt melted himself\n", "Bo"),
    // The start pattern is looked for from the start of the line, inside the victim too.
    TWO(ate_to_s_ro, "Kate ate Sam's rocket\n", "Kate", "ate Sam"),
    TWO(ate_to_s_ro, "Pirate ate Sam's rocket\n", "Pi", "ate Sam"),
    TWO(by_to_line_end, "Fred by was railed by Sam\n", "Fred by", "was railed by Sam"),
    // Names of 19, 20 and 22 bytes keep at most their first 19.
    TWO(by_to_line_end, "ABCDEFGHIJKLMNOPQRS was railed by Sam\n", "ABCDEFGHIJKLMNOPQRS", "Sam"),
    TWO(by_to_line_end, "ABCDEFGHIJKLMNOPQRST was railed by Sam\n", "ABCDEFGHIJKLMNOPQRS", "Sam"),
    TWO(by_to_line_end, "Bob was railed by ABCDEFGHIJKLMNOPQRSTUV\n", "Bob", "ABCDEFGHIJKLMNOPQRS"),
    ONE(blank_before_cr, "ABCDEFGHIJKLMNOPQRSTUVWXYZ cratered\n", "ABCDEFGHIJKLMNOPQRS"),
    ONE(any_before_wa, "abcdefghijklmnopqrsXwas in the wrong place\n", "abcdefghijklmnopqrs"),
    ONE(any_before_wa, "abcdefghijklmnopqrswas in the wrong place\n", "abcdefghijklmnopqr"),
    // Two blanks end a shotgun killer; the others need three and run on to the line feed.
    TWO(down_by_to_two_blanks, "Bob was gunned down by Sam  x\n", "Bob", "Sam"),
    TWO(by_to_line_end, "Bob was railed by Sam  x\n", "Bob", "Sam  x"),
    TWO(by_to_line_end, "Bob was railed by Sam   x\n", "Bob", "Sam"),
    TWO(by_to_line_end, "Bob was electrocuted by Sam   x\n", "Bob", "Sam"),
    TWO(pummeled_by_to_line_end, "Bob was pummeled by Sam   x\n", "Bob", "Sam"),
    TWO(by_to_line_end, "Bob was machinegunned by Sam  x\n", "Bob", "Sam  x"),
    // Killers that end only at their mark run through the line feed without it.
    TWO(by_to_s_p, "Bob was melted by Sam\n", "Bob", "Sam\n"),
    TWO(ate_to_s_ro, "Bob ate Sam rocket\n", "Bob", "Sam rocket\n"),
    TWO(dodged_to_s_roc, "Bob almost dodged Sam's ro\n", "Bob", "Sam's ro\n"),
    TWO(dodged_to_s_roc, "Bob almost dodged Sam's rocket and Al's rocket\n", "Bob", "Sam"),
    // A first name with no end mark runs through the line feed.
    ONE(any_before_wa, "Bob\n", "Bob\n"),
    ONE(blank_before_cr, "Bob\n", "Bob\n"),
    // The first byte always belongs to the name, even when a mark starts there.
    ONE(blank_before_cr, " cratered\n", " cratered\n"),
    ONE(any_before_wa, "xwa\n", "xwa\n"),
    // The byte after the start pattern is skipped unseen; the next one always belongs to the
    // killer, even a blank or a line feed.
    TWO(by_to_line_end, "Bob was railed by\n", "Bob", ""),
    TWO(by_to_line_end, "Bob was railed by \n", "Bob", "\n"),
    TWO(by_to_line_end, "Bob was railed by    Sam\n", "Bob", "   Sam"),
    // A text that ends at or right after the start pattern gives an empty killer.
    TWO(by_to_line_end, "Bob was railed by", "Bob", ""),
    TWO(by_to_line_end, "Bob was railed by ", "Bob", ""),
    TWO(pummeled_by_to_line_end, "Bob was pummeled by", "Bob", ""),
    TWO(ate_to_s_ro, "Bob ate", "Bob", ""),
    TWO(by_to_line_end, "Bob was railed by S", "Bob", "S"),
    // Lines longer than the 64 bytes the vector paths cut in one go, with names past them.
    TWO(by_to_line_end,
        "yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy was railed by Sam\n",
        "yyyyyyyyyyyyyyyyyyy", "Sam"),
    TWO(ate_to_s_ro,
        "Bob ate yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy Al's rocket\n", "Bob",
        "yyyyyyyyyyyyyyyyyyy"),
    ONE(blank_before_cr,
        "yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy cratered\n",
        "yyyyyyyyyyyyyyyyyyy"),
    // Empty texts and texts without the start pattern give empty names.
    ONE(any_before_wa, "", ""),
    TWO(by_to_line_end, "", "", ""),
    TWO(by_to_line_end, "Bob was shredded\n", "Bob", ""),
};

std::string shown(std::string_view text) {
    std::string out;
    for (char c : text) {
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

TEST(Extractors, CutNamesAsTheGameWritesThem) {
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rule_name) + " on \"" + shown(c.line) + "\"");
        stats_t names = cut_names(c.rule, c.line, cpu_path_of_environment());
        if (c.two_names) {
            EXPECT_EQ(shown(names.vicname.data()), shown(c.first));
            EXPECT_EQ(shown(names.aggname.data()), shown(c.second));
        } else {
            EXPECT_EQ(shown(names.curname.data()), shown(c.first));
        }
    }
}

// Every field is zero-terminated within its 20 bytes, whatever the line.
TEST(Extractors, NeverReadPastTheText) {
    const std::string long_line(200, 'x');
    for (const auto& c : cases) {
        // The text is a view of a larger string whose next bytes would change the names if they
        // were read.
        std::string backing = std::string(c.line) + " was railed by Zed's rocket\n";
        stats_t names = cut_names(c.rule, std::string_view(backing).substr(0, c.line.size()),
                                  cpu_path_of_environment());
        stats_t expected = cut_names(c.rule, c.line, cpu_path_of_environment());
        SCOPED_TRACE(std::string(c.rule_name) + " on \"" + shown(c.line) + "\"");
        EXPECT_EQ(std::string(names.curname.data()), std::string(expected.curname.data()));
        EXPECT_EQ(std::string(names.vicname.data()), std::string(expected.vicname.data()));
        EXPECT_EQ(std::string(names.aggname.data()), std::string(expected.aggname.data()));
    }
    stats_t names = cut_names(cut_rule::by_to_line_end, long_line);
    EXPECT_EQ(names.vicname.back(), '\0');
    EXPECT_EQ(std::string(names.vicname.data()), std::string(19, 'x'));
}

}  // namespace
