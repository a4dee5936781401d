// The HTML page: names escaped and coloured, the page's own markup only, its size, failed
// writes.
#include <array>
#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "report/report_html.h"
#include "test_support.h"

namespace {

using HtmlReport = TablesTest;

// The page write_html makes from the tables as they stand.
std::string page_of(const classic_tables& tables, std::string_view log_path = "qconsole.log") {
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    if (out == nullptr) {
        return {};
    }
    EXPECT_TRUE(write_html(out, results_of_pass(tables, log_path)));
    std::string page;
    std::rewind(out);
    std::array<char, 4096> chunk{};
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), out)) > 0) {
        page.append(chunk.data(), got);
    }
    std::fclose(out);
    return page;
}

std::string name_html(std::string_view raw) {
    std::string html;
    append_name_html(html, raw);
    return html;
}

TEST(HtmlName, ColoursEscapingAndBytes) {
    struct name_case {
        std::string_view raw;
        std::string_view html;
    };
    const name_case cases[] = {
        {"Sarge", R"(<span class="n" title="Sarge">Sarge</span>)"},
        // White is the chip's own colour; a code switches until the next one.
        {"^1Big^7Bob^7",
         R"(<span class="n" title="^1Big^7Bob^7"><span class="c1">Big</span>Bob</span>)"},
        {"^0a^8b^9c^:d",
         R"(<span class="n" title="^0a^8b^9c^:d"><span class="c0">ab</span><span class="c1">c</span><span class="c2">d</span></span>)"},
        // A code takes any next byte, a caret too; a caret at the end is shown.
        {"^^x^", R"(<span class="n" title="^^x^"><span class="c6">x^</span></span>)"},
        // A name that draws nothing, or only blanks, shows its raw bytes, blanks as symbols,
        // so that no two such names look alike.
        {"^7", R"(<span class="n" title="^7"><span class="e">^7</span></span>)"},
        {"^^^7", R"(<span class="n" title="^^^7"><span class="e">^^^7</span></span>)"},
        {"  ",
         "<span class=\"n\" title=\"  \"><span class=\"e\">\xE2\x90\xA0\xE2\x90\xA0</span></span>"},
        {"^1 ^2 ",
         "<span class=\"n\" title=\"^1 ^2 \"><span "
         "class=\"e\">^1\xE2\x90\xA0^2\xE2\x90\xA0</span></span>"},
        {"", R"(<span class="n" title=""><span class="e">empty name</span></span>)"},
        {"<script>alert(1)</s",
         R"(<span class="n" title="&lt;script&gt;alert(1)&lt;/s">&lt;script&gt;alert(1)&lt;/s</span>)"},
        {"\"><img src=x onerr",
         R"(<span class="n" title="&quot;&gt;&lt;img src=x onerr">&quot;&gt;&lt;img src=x onerr</span>)"},
        {"'</style>&amp;",
         R"(<span class="n" title="&#39;&lt;/style&gt;&amp;amp;">&#39;&lt;/style&gt;&amp;amp;</span>)"},
        // Latin-1 written as UTF-8; controls as symbols, in the title as well.
        {"\xE9l\xE8ve\xFF",
         "<span class=\"n\" "
         "title=\"\xC3\xA9l\xC3\xA8ve\xC3\xBF\">\xC3\xA9l\xC3\xA8ve\xC3\xBF</span>"},
        {"a\nb\x7F\x85\x1B",
         "<span class=\"n\" title=\"a\xE2\x90\x8A"
         "b\xE2\x90\xA1\xEF\xBF\xBD\xE2\x90\x9B\">a\xE2\x90\x8A"
         "b\xE2\x90\xA1\xEF\xBF\xBD\xE2\x90\x9B</span>"},
        {"^1\xA0<",
         "<span class=\"n\" title=\"^1\xC2\xA0&lt;\"><span "
         "class=\"c1\">\xC2\xA0&lt;</span></span>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.raw));
        EXPECT_EQ(name_html(c.raw), c.html);
    }
}

// Every tag of the page, by name; a name that brought markup in would add one.
std::multiset<std::string> tags_of(const std::string& page) {
    std::multiset<std::string> tags;
    static const std::regex tag("<([A-Za-z][A-Za-z0-9]*)");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), tag);
         it != std::sregex_iterator(); ++it) {
        tags.insert((*it)[1].str());
    }
    return tags;
}

TEST_F(HtmlReport, HostileNamesBringNoMarkup) {
    run_on("Bob was railed by Sam\nfraglimit\nBob was railed by Sam\nfraglimit\nchat\n");
    const auto plain = tags_of(page_of(*tables));
    empty_tables();
    run_on(
        "<b>x</b> was railed by <script>alert(1)</script>\n"
        "\"><img src=x onerror=alert(1)> was railed by </style><i>\n"
        "fraglimit\n"
        "&amp;<svg/onload=x> was railed by <!--\n"
        "]]><x y='1'> was railed by \xE9\xFF\x85\n");
    ASSERT_EQ(tables->player_count, 8);
    std::string page = page_of(*tables, "<img src=x>/qconsole.log");
    // The same tags as a page of plain names, but for rows of more players and their cells.
    std::set<std::string> allowed(plain.begin(), plain.end());
    for (const auto& tag : tags_of(page)) {
        EXPECT_TRUE(allowed.count(tag)) << tag;
    }
    EXPECT_EQ(tags_of(page).count("style"), 1);
    // Every chart is a trend line or a card's bar, none came from a name.
    std::size_t bars = 0;
    for (auto at = page.find("<td class=\"bar\"><svg "); at != std::string::npos;
         at = page.find("<td class=\"bar\"><svg ", at + 1)) {
        ++bars;
    }
    EXPECT_EQ(tags_of(page).count("svg"), tags_of(page).count("polygon") + bars);
    EXPECT_EQ(page.find("onerror=alert(1)>"), std::string::npos);
    EXPECT_EQ(page.find("<!--"), std::string::npos);
    EXPECT_NE(page.find("&lt;img src=x&gt;/qconsole.log"), std::string::npos);
    EXPECT_NE(page.find("Content-Security-Policy\" content=\"default-src 'none';"),
              std::string::npos);
}

TEST_F(HtmlReport, LeaderboardRanksByScoreAndPicks) {
    // Scores (kills minus suicides): Kim 2, Sam 2 - 1, Ann 1, Bob 1 - 1; Sam ranks above Ann
    // on kills.
    run_on(
        "Ann was railed by Bob\n"
        "Sam was machinegunned by Ann\n"
        "Sam was railed by Kim\n"
        "Kim was gunned down by Sam\n"
        "Bob was railed by Sam\n"
        "Ann was railed by Kim\n"
        "Sam melted himself.\n"
        "Bob cratered\n");
    std::string page = page_of(*tables);
    auto lead = page.substr(page.find("<section id=\"leaderboard\">"));
    lead = lead.substr(0, lead.find("</section>"));
    const std::regex row(
        R"re(<tr><td class="rk">(\d+)</td><td class="l"><a href="#p(\d+)"><span class="n" title="(\w+)">\w+</span></a></td><td class="sc">(-?\d+)</td><td>(\d+)</td><td>(\d+)</td><td>([^<]+)</td><td class="o">(\d+)</td><td class="l o">([^<]*)(?:<span class="x">(\d+)</span>)?</td>)re");
    std::vector<std::string> got;
    for (auto it = std::sregex_iterator(lead.begin(), lead.end(), row);
         it != std::sregex_iterator(); ++it) {
        const auto& m = *it;
        got.push_back(m[1].str() + " #p" + m[2].str() + " " + m[3].str() + " " + m[4].str() + " " +
                      m[5].str() + "/" + m[6].str() + " " + m[7].str() + " s" + m[8].str() + " " +
                      m[9].str() + m[10].str());
    }
    const std::vector<std::string> want = {
        "1 #p3 Kim 2 2/1 2.00 s0 Railgun 2",
        "2 #p2 Sam 1 2/2 1.00 s1 Shotgun 1",  // equal weapons: the first in the table's order
        "3 #p0 Ann 1 1/2 0.50 s0 Machine gun 1",
        "4 #p1 Bob 0 1/1 1.00 s1 Railgun 1",
    };
    EXPECT_EQ(got, want);
    // Kim killed Ann and Sam once each: the earlier slot, Ann's, is the one named.
    EXPECT_NE(
        lead.find(
            R"(Railgun <span class="x">2</span></td><td class="l o"><span class="n" title="Ann">)"),
        std::string::npos);
    // Every linked card or line exists.
    for (const char* id : {"p0", "p1", "p2", "p3"}) {
        EXPECT_NE(page.find(std::string(" id=\"") + id + "\""), std::string::npos) << id;
    }
}

// A rocket launcher's direct hits and splash are one weapon to players: the favourite weapon
// counts them together, and the card shows the split.
TEST_F(HtmlReport, FavouriteWeaponTakesBothRocketKinds) {
    run_on(
        "Ann was railed by Bob\n"
        "Ann was railed by Bob\n"
        "Ann ate Bob's rocket\n"
        "Ann almost dodged Bob's rocket\n"
        "Ann almost dodged Bob's rocket\n");
    std::string page = page_of(*tables);
    auto lead = page.substr(page.find("<section id=\"leaderboard\">"));
    EXPECT_NE(lead.find(R"(<td class="l o">Rocket launcher <span class="x">3</span>)"),
              std::string::npos);
    EXPECT_NE(page.find("Rocket launcher <span class=\"x\">3</span> <small>(Rocket (direct hit) "
                        "1, Rocket (splash) 2)</small>"),
              std::string::npos);
}

TEST_F(HtmlReport, TheLogsPathAsUtf8OrLatin1) {
    struct path_case {
        std::string_view path;
        std::string_view shown;
    };
    const path_case cases[] = {
        {"games/Zo\xC3\xAB/\xE6\x97\xA5.log", "games/Zo\xC3\xAB/\xE6\x97\xA5.log"},  // UTF-8 kept
        {"Zo\xEB/q.log", "Zo\xC3\xAB/q.log"},      // not UTF-8: read as Latin-1
        {"\xC0\xAF.log", "\xC3\x80\xC2\xAF.log"},  // an overlong form is not UTF-8
        {"a<b>&\"'.log", "a&lt;b&gt;&amp;&quot;&#39;.log"},
        {"\xC2\x85\t.log", "\xEF\xBF\xBD\xE2\x90\x89.log"},  // controls shown as symbols
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path));
        std::string page = page_of(*tables, c.path);
        EXPECT_NE(page.find("<title>fragtally: " + std::string(c.shown) + "</title>"),
                  std::string::npos);
        EXPECT_NE(page.find("Statistics of " + std::string(c.shown) + "</p>"), std::string::npos);
    }
}

TEST_F(HtmlReport, EmptyTablesMakeAWholePage) {
    std::string page = page_of(*tables);
    EXPECT_EQ(page.rfind("<!DOCTYPE html>\n", 0), 0);
    EXPECT_TRUE(page.ends_with("</html>\n"));
    EXPECT_NE(page.find("No obituary was counted."), std::string::npos);
    EXPECT_EQ(page.find("<tbody>"), std::string::npos);
    EXPECT_EQ(page.find('\r'), std::string::npos);
}

// A log of 100 players who each killed every other once, over 50 rounds, with names of 19
// characters made as long in the page as they can be: colour codes or escaped bytes.
std::string crowded_log(bool escaped_names) {
    std::vector<std::string> names;
    for (int p = 0; p < max_players; ++p) {
        std::string tag = std::to_string(100 + p).substr(1);
        names.push_back(escaped_names ? std::string(17, '&') + tag : "^1x^2y^3z^4w^5v^6" + tag);
    }
    std::string log;
    int line = 0;
    for (int killer = 0; killer < max_players; ++killer) {
        for (int victim = 0; victim < max_players; ++victim) {
            if (killer != victim) {
                log += names[static_cast<std::size_t>(victim)] + " was railed by " +
                       names[static_cast<std::size_t>(killer)] + "\n";
                if (++line % 198 == 0) {
                    log += "fraglimit\n";
                }
            }
        }
    }
    return log;
}

// Each of the 50 rounds' scoreboards lists all 100 players, who all died in it: 5,000 rows of
// coloured names make most of the page.
TEST_F(HtmlReport, AHundredPlayersOverFiftyRoundsFitInTwoAndAHalfMegabytes) {
    for (bool escaped : {false, true}) {
        SCOPED_TRACE(escaped ? "escaped names" : "coloured names");
        empty_tables();
        run_on(crowded_log(escaped));
        ASSERT_EQ(tables->player_count, max_players);
        ASSERT_EQ(tables->round_count(), round_limit);
        std::size_t size = page_of(*tables).size();
        std::printf("page for 100 players, %s: %zu bytes\n",
                    escaped ? "escaped names" : "coloured names", size);
        EXPECT_LT(size, std::size_t{2500} * 1000);
    }
}

TEST_F(HtmlReport, AFailedWriteIsReported) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) {
        GTEST_SKIP() << "no /dev/full here";
    }
    run_on("Bob was railed by Sam\n");
    EXPECT_FALSE(write_html(full, results_of_pass("qconsole.log")));
    std::fclose(full);
}

}  // namespace
