// How each extractor cuts names, including the odd cuts that players' logs rely on.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "count/extractors/extractors.h"

namespace {

using extractor = stats_t (*)(std::string_view, cpu_path);

struct extractor_case {
    const char* extractor_name;
    extractor extract;
    bool two_names;
    std::string_view line;
    std::string_view first;   // curname, or vicname of a two-name line
    std::string_view second;  // aggname of a two-name line
};

#define ONE(f, line, name)           \
    extractor_case {                 \
#f, f, false, line, name, "" \
    }
#define TWO(f, line, victim, killer)      \
    extractor_case {                      \
#f, f, true, line, victim, killer \
    }

const extractor_case cases[] = {
    // The common lines of every extractor.
    TWO(railed, "Bob was railed by Sam\n", "Bob", "Sam"),
    TWO(lightning, "Bob was electrocuted by Sam\n", "Bob", "Sam"),
    TWO(shotgun, "Bob was gunned down by Sam\n", "Bob", "Sam"),
    TWO(machinegun, "Bob was machinegunned by Sam\n", "Bob", "Sam"),
    TWO(plasmagun, "Bob was melted by Sam's plasmagun\n", "Bob", "Sam"),
    TWO(almost_rocketed, "Bob almost dodged Sam's rocket\n", "Bob", "Sam"),
    TWO(gauntlet, "Bob was pummeled by Sam\n", "Bob", "Sam"),
    TWO(rocket_hit, "Bob ate Sam's rocket\n", "Bob", "Sam"),
    ONE(suicide, "Bob was in the wrong place\n", "Bob"),
    ONE(melted, "Bob melted himself\n", "Bob"),
    ONE(lava, "Bob does a back flip into the lava\n", "Bob"),
    ONE(blown, "Bob blew himself up\n", "Bob"),
    ONE(cratered, "Bob cratered\n", "Bob"),
    // Blanks inside names stay; the first blank followed by "wa" ends the victim.
    TWO(railed, "Big Bob was railed by Little Sam\n", "Big Bob", "Little Sam"),
    TWO(railed, "Bob walker was railed by Sam\n", "Bob", "Sam"),
    // Some end marks need the blank, some take any byte before the word.
    TWO(gauntlet, "Bob_was was pummeled by Sam\n", "Bob", "Sam"),
    TWO(lightning, "Bob_was was electrocuted by Sam\n", "Bob_was", "Sam"),
    ONE(suicide, "Edward was in the wrong place\n", "E"),
    ONE(cratered, "Bob_cratered cratered\n", "Bob_cratered"),
    ONE(melted, "Xmelt melted himself\n", "Xmelt"),
    ONE(melted, "Bobmelt melted himself\n", "Bo"),
    // The start pattern is looked for from the start of the line, inside the victim too.
    TWO(rocket_hit, "Kate ate Sam's rocket\n", "Kate", "ate Sam"),
    TWO(rocket_hit, "Pirate ate Sam's rocket\n", "Pi", "ate Sam"),
    TWO(railed, "Fred by was railed by Sam\n", "Fred by", "was railed by Sam"),
    // Names of 19, 20 and 22 bytes keep at most their first 19.
    TWO(railed, "ABCDEFGHIJKLMNOPQRS was railed by Sam\n", "ABCDEFGHIJKLMNOPQRS", "Sam"),
    TWO(railed, "ABCDEFGHIJKLMNOPQRST was railed by Sam\n", "ABCDEFGHIJKLMNOPQRS", "Sam"),
    TWO(railed, "Bob was railed by ABCDEFGHIJKLMNOPQRSTUV\n", "Bob", "ABCDEFGHIJKLMNOPQRS"),
    ONE(cratered, "ABCDEFGHIJKLMNOPQRSTUVWXYZ cratered\n", "ABCDEFGHIJKLMNOPQRS"),
    ONE(suicide, "abcdefghijklmnopqrsXwas in the wrong place\n", "abcdefghijklmnopqrs"),
    ONE(suicide, "abcdefghijklmnopqrswas in the wrong place\n", "abcdefghijklmnopqr"),
    // Two blanks end a shotgun killer; the others need three and run on to the line feed.
    TWO(shotgun, "Bob was gunned down by Sam  x\n", "Bob", "Sam"),
    TWO(railed, "Bob was railed by Sam  x\n", "Bob", "Sam  x"),
    TWO(railed, "Bob was railed by Sam   x\n", "Bob", "Sam"),
    TWO(lightning, "Bob was electrocuted by Sam   x\n", "Bob", "Sam"),
    TWO(gauntlet, "Bob was pummeled by Sam   x\n", "Bob", "Sam"),
    TWO(machinegun, "Bob was machinegunned by Sam  x\n", "Bob", "Sam  x"),
    // Killers that end only at their mark run through the line feed without it.
    TWO(plasmagun, "Bob was melted by Sam\n", "Bob", "Sam\n"),
    TWO(rocket_hit, "Bob ate Sam rocket\n", "Bob", "Sam rocket\n"),
    TWO(almost_rocketed, "Bob almost dodged Sam's ro\n", "Bob", "Sam's ro\n"),
    TWO(almost_rocketed, "Bob almost dodged Sam's rocket and Al's rocket\n", "Bob", "Sam"),
    // A first name with no end mark runs through the line feed.
    ONE(suicide, "Bob\n", "Bob\n"),
    ONE(cratered, "Bob\n", "Bob\n"),
    // The first byte always belongs to the name, even when a mark starts there.
    ONE(cratered, " cratered\n", " cratered\n"),
    ONE(suicide, "xwa\n", "xwa\n"),
    // The byte after the start pattern is skipped unseen; the next one always belongs to the
    // killer, even a blank or a line feed.
    TWO(railed, "Bob was railed by\n", "Bob", ""),
    TWO(railed, "Bob was railed by \n", "Bob", "\n"),
    TWO(railed, "Bob was railed by    Sam\n", "Bob", "   Sam"),
    // A text that ends at or right after the start pattern gives an empty killer.
    TWO(railed, "Bob was railed by", "Bob", ""),
    TWO(railed, "Bob was railed by ", "Bob", ""),
    TWO(gauntlet, "Bob was pummeled by", "Bob", ""),
    TWO(rocket_hit, "Bob ate", "Bob", ""),
    TWO(railed, "Bob was railed by S", "Bob", "S"),
    // Lines longer than the 64 bytes the vector paths cut in one go, with names past them.
    TWO(railed, "yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy was railed by Sam\n",
        "yyyyyyyyyyyyyyyyyyy", "Sam"),
    TWO(rocket_hit,
        "Bob ate yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy Al's rocket\n", "Bob",
        "yyyyyyyyyyyyyyyyyyy"),
    ONE(cratered, "yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy cratered\n",
        "yyyyyyyyyyyyyyyyyyy"),
    // Empty texts and texts without the start pattern give empty names.
    ONE(suicide, "", ""),
    TWO(railed, "", "", ""),
    TWO(railed, "Bob was shredded\n", "Bob", ""),
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
        SCOPED_TRACE(std::string(c.extractor_name) + " on \"" + shown(c.line) + "\"");
        stats_t names = c.extract(c.line, cpu_path_of_environment());
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
        stats_t names = c.extract(std::string_view(backing).substr(0, c.line.size()),
                                  cpu_path_of_environment());
        stats_t expected = c.extract(c.line, cpu_path_of_environment());
        SCOPED_TRACE(std::string(c.extractor_name) + " on \"" + shown(c.line) + "\"");
        EXPECT_EQ(std::string(names.curname.data()), std::string(expected.curname.data()));
        EXPECT_EQ(std::string(names.vicname.data()), std::string(expected.vicname.data()));
        EXPECT_EQ(std::string(names.aggname.data()), std::string(expected.aggname.data()));
    }
    stats_t names = railed(long_line);
    EXPECT_EQ(names.vicname.back(), '\0');
    EXPECT_EQ(std::string(names.vicname.data()), std::string(19, 'x'));
}

}  // namespace
