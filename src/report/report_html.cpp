#include "report/report_html.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <numeric>
#include <span>
#include <vector>

#include "count/game_limits.h"
#include "report/report.h"
#include "report/report_rows.h"
#include "version.h"

namespace {

// Everything loads from the page itself or not at all: no script, no outside resource, no
// form or base address a crafted name could aim elsewhere.
constexpr std::string_view content_policy =
    "default-src 'none'; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'";

// Names sit on a dark chip in both colour schemes, so the game's bright colours stay legible;
// black gets a light outline. Heat levels 1 to 8 shade a cell by its share of the largest.
constexpr std::string_view style_sheet = R"css(
:root{color-scheme:light dark;--bg:#eef1f5;--fg:#1d232b;--mute:#5f6b7a;--card:#fff;--line:#d9dee6;--head:#f3f5f8;--k:#2f8f46;--d:#d04437;--heat:#e0532f;--acc:#3a5bd9;--chip:#242933}
@media (prefers-color-scheme:dark){:root{--bg:#101318;--fg:#e4e8ee;--mute:#98a3b1;--card:#191d24;--line:#2c323c;--head:#20252d;--k:#5cc46f;--d:#ff6b5e;--heat:#ff7a4d;--acc:#8aa2ff;--chip:#303642}}
*{box-sizing:border-box}
html{-webkit-text-size-adjust:100%;text-size-adjust:100%}
body{margin:0;background:var(--bg);color:var(--fg);font:15px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans",sans-serif}
header{background:linear-gradient(135deg,#1d2a48,#42203f);color:#fff;padding:22px max(16px,calc((100% - 1200px)/2))}
header h1{margin:0;font-size:26px;letter-spacing:.02em}
header p{margin:4px 0 0;opacity:.85;overflow-wrap:anywhere}
nav{display:flex;flex-wrap:wrap;gap:4px 18px;margin-top:12px}
nav a{color:#fff}
main{max-width:1200px;margin:0 auto;padding:4px 16px 24px}
section{margin-top:30px}
h2{font-size:20px;margin:0 0 10px;padding-bottom:4px;border-bottom:2px solid var(--line)}
.note{margin:-4px 0 10px;color:var(--mute);font-size:13px}
.tiles{display:grid;grid-template-columns:repeat(auto-fill,minmax(160px,1fr));gap:10px}
.tiles dl{margin:0;background:var(--card);border:1px solid var(--line);border-radius:8px;padding:10px 12px;min-width:0}
.tiles dt{font-size:12px;color:var(--mute);text-transform:uppercase;letter-spacing:.04em}
.tiles dd{margin:2px 0 0;font-size:21px;font-weight:600;overflow-wrap:anywhere}
.tiles dl:first-child{grid-column:1/-1}.tiles dl:first-child dd{font-size:17px}
.box{overflow-x:auto;background:var(--card);border:1px solid var(--line);border-radius:8px}
table{border-collapse:collapse;font-variant-numeric:tabular-nums}
th,td{padding:5px 9px;text-align:right;white-space:nowrap;border-bottom:1px solid var(--line)}
th{background:var(--head);font-weight:600}
.l{text-align:left}
tbody tr:last-child>*{border-bottom:0}
.box>table{min-width:100%}
.rk{color:var(--mute)}
.lb tbody tr:nth-child(-n+3) .rk{color:var(--heat);font-weight:700}
.x::before{content:"\D7"}
.x{color:var(--mute);margin-left:3px}
.n{display:inline-block;background:var(--chip);color:#f2f2f2;padding:0 6px;border-radius:4px;font-weight:600;white-space:pre;line-height:1.5}
.c0{color:#000;text-shadow:0 0 1px #fff,0 0 2px #fff,0 0 2px #fff}
.c1{color:#ff4b45}.c2{color:#3fdc5c}.c3{color:#ffe74c}.c4{color:#6f8cff}.c5{color:#3fe3ec}.c6{color:#ff5cf0}
.e{font-style:italic;font-weight:400;opacity:.75}
.m th.v{writing-mode:vertical-rl;transform:rotate(180deg);text-align:left;padding:8px 3px}
.m td{min-width:34px;text-align:center;color:color-mix(in srgb,var(--mute) 55%,transparent)}
.m td.s{background-image:repeating-linear-gradient(45deg,transparent 0 5px,var(--line) 5px 6px)}
.m th.l,.r th.l{position:sticky;left:0;z-index:1}
.h1,.h2,.h3,.h4,.h5{color:var(--fg)!important}.h6,.h7,.h8{color:#fff!important;font-weight:600}
.h1{background:color-mix(in srgb,var(--heat) 10%,transparent)}.h2{background:color-mix(in srgb,var(--heat) 20%,transparent)}
.h3{background:color-mix(in srgb,var(--heat) 30%,transparent)}.h4{background:color-mix(in srgb,var(--heat) 40%,transparent)}
.h5{background:color-mix(in srgb,var(--heat) 52%,transparent)}.h6{background:color-mix(in srgb,var(--heat) 66%,#000 4%)}
.h7{background:color-mix(in srgb,var(--heat) 80%,#000 8%)}.h8{background:color-mix(in srgb,var(--heat) 88%,#000 12%)}
.r td{min-width:30px}
.cards{display:grid;grid-template-columns:repeat(auto-fill,minmax(min(340px,100%),1fr));gap:14px}
.card{background:var(--card);border:1px solid var(--line);border-radius:10px;padding:12px 14px;min-width:0}
.card h3{margin:0 0 4px;font-size:17px}
.card p{margin:0 0 8px;color:var(--mute)}
.w{width:100%;table-layout:fixed}
.w th:first-child{width:38%}.w thead th:nth-child(2),.w thead th:nth-child(3){width:16%}
.card th,.card td{padding:3px 6px}
td.bar{padding-left:8px}
.su{list-style:none;display:flex;flex-wrap:wrap;gap:4px 14px;margin:10px 0 0;padding:0;color:var(--mute)}
.su b{color:var(--fg)}.su li:first-child{color:var(--fg);font-weight:600}
td.bar svg{display:block;width:100%;height:14px}
.k{fill:var(--k)}.d{fill:var(--d)}
.lk::before,.ld::before{content:"";display:inline-block;width:9px;height:9px;border-radius:2px;margin:0 4px 0 6px;background:var(--k)}
.ld::before{background:var(--d)}
td.sp svg{display:block;width:130px;height:22px}
td.sp polygon{fill:color-mix(in srgb,var(--acc) 25%,transparent);stroke:var(--acc);stroke-width:1.5px;vector-effect:non-scaling-stroke}
footer{max-width:1200px;margin:0 auto;padding:12px 16px 28px;color:var(--mute);font-size:13px}
@media (max-width:600px){body{font-size:14px}header h1{font-size:22px}th,td{padding:4px 6px}}
@page{margin:12mm}
@media print{*{print-color-adjust:exact;-webkit-print-color-adjust:exact}body{background:#fff;color:#000;font-size:8pt}th,td{white-space:normal;padding:2px 4px}.m td,.r td{min-width:0}header{background:none;color:#000;padding:0 0 8px}nav{display:none}main{max-width:none;padding:0}.box{overflow:visible;border:0}.card,tr{break-inside:avoid}section{break-before:auto}}
)css";

// The page goes to its stream as it is made: a page of 100 players over 50 rounds can take
// 1.7 MB, and a string grown to hold it whole about twice that at its peak. Pieces gather in a
// small buffer, so that the stream sees a few large writes.
struct page_writer {
    std::FILE* out;
    const run_results& results;
    std::string pending;  // made, not yet written
    bool written = true;  // every write so far took all its bytes
    // The weapons (by kill counter) and causes the cards show: under the full rules only those
    // that occur in the log, so that forty rows of zeros do not bury the rest.
    std::array<bool, counter_count> shown{};
};

void choose_rows(page_writer& page) {
    const run_results& results = page.results;
    bool all = results.rules == rule_set::classic;
    auto occurs = [&](counter c) {
        return all || std::any_of(results.players.begin(), results.players.end(),
                                  [c](const player_result& player) {
                                      return player.counters[static_cast<std::size_t>(c)] != 0;
                                  });
    };
    report_rows rows = rows_of_rules(results.rules);
    for (const weapon_row& weapon : rows.weapons) {
        page.shown[static_cast<std::size_t>(weapon.kills_for)] =
            occurs(weapon.kills_for) || occurs(weapon.kills_against);
    }
    for (const suicide_row& cause : rows.causes) {
        page.shown[static_cast<std::size_t>(cause.count)] = occurs(cause.count);
    }
}

constexpr std::size_t page_block = std::size_t{16} * 1024;

void write_pending(page_writer& page) {
    page.written =
        std::fwrite(page.pending.data(), 1, page.pending.size(), page.out) == page.pending.size() &&
        page.written;
    page.pending.clear();
}

void put(page_writer& page, std::string_view text) {
    page.pending += text;
    if (page.pending.size() >= page_block) {
        write_pending(page);
    }
}

// A name chip is made both into the page and into a string of its own (append_name_html), so
// the helpers it needs take either.
void put(std::string& page, std::string_view text) {
    page += text;
}

template <typename Page>
void put_number(Page& page, std::int64_t value) {
    std::array<char, 24> digits{};
    auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    put(page, {digits.data(), static_cast<std::size_t>(end - digits.data())});
}

template <typename Page>
void put_utf8(Page& page, char32_t c) {
    std::array<char, 3> bytes{};
    std::size_t length = 0;
    if (c < 0x80) {
        bytes[length++] = static_cast<char>(c);
    } else if (c < 0x800) {
        bytes[length++] = static_cast<char>(0xC0 | (c >> 6));
        bytes[length++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        bytes[length++] = static_cast<char>(0xE0 | (c >> 12));
        bytes[length++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[length++] = static_cast<char>(0x80 | (c & 0x3F));
    }
    put(page, {bytes.data(), length});
}

// One byte of a name as page text, usable in an attribute too. Control characters are not
// allowed in HTML, so they show as symbols: C0 controls and DEL as their control pictures,
// C1 controls as the replacement character.
template <typename Page>
void put_name_byte(Page& page, unsigned char byte) {
    switch (byte) {
        case '&':
            put(page, "&amp;");
            return;
        case '<':
            put(page, "&lt;");
            return;
        case '>':
            put(page, "&gt;");
            return;
        case '"':
            put(page, "&quot;");
            return;
        case '\'':
            put(page, "&#39;");
            return;
        default:
            break;
    }
    if (byte < 0x20) {
        put_utf8(page, char32_t{0x2400} + byte);
    } else if (byte == 0x7F) {
        put_utf8(page, 0x2421);
    } else if (byte >= 0x80 && byte < 0xA0) {
        put_utf8(page, 0xFFFD);
    } else {
        put_utf8(page, byte);
    }
}

template <typename Page>
void put_name_text(Page& page, std::string_view raw) {
    for (char c : raw) {
        put_name_byte(page, static_cast<unsigned char>(c));
    }
}

template <typename Page>
void put_name(Page& page, std::string_view raw) {
    put(page, "<span class=\"n\" title=\"");
    put_name_text(page, raw);
    put(page, "\">");
    // White is the chip's own colour, so only other colours need a span of their own.
    constexpr int white = 7;
    int colour = white;
    int open = white;
    bool shown = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        auto byte = static_cast<unsigned char>(raw[i]);
        if (byte == '^' && i + 1 < raw.size()) {
            colour = static_cast<unsigned char>(raw[++i]) % 8;
            continue;
        }
        if (colour != open) {
            put(page, open != white ? "</span>" : "");
            if (colour != white) {
                put(page, "<span class=\"c");
                put_number(page, colour);
                put(page, "\">");
            }
            open = colour;
        }
        put_name_byte(page, byte);
        shown = true;
    }
    put(page, open != white ? "</span>" : "");
    put(page, shown ? "" : "<span class=\"e\">no name</span>");
    put(page, "</span>");
}

// Length of the UTF-8 sequence at the start of text, or 0 when it is not well-formed.
std::size_t utf8_sequence(std::string_view text) {
    auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = lead < 0x80                   ? 1
                         : lead >= 0xC2 && lead < 0xE0 ? 2
                         : lead >= 0xE0 && lead < 0xF0 ? 3
                         : lead >= 0xF0 && lead < 0xF5 ? 4
                                                       : 0;
    if (length == 0 || length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    auto second = static_cast<unsigned char>(text.size() > 1 ? text[1] : 0);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
        return 0;
    }
    return length;
}

// The log's path as the user gave it: UTF-8 when it is well-formed, else read as Latin-1
// like the names.
void put_path(page_writer& page, std::string_view path) {
    bool utf8 = true;
    for (std::size_t i = 0; i < path.size() && utf8;) {
        std::size_t length = utf8_sequence(path.substr(i));
        utf8 = length != 0;
        i += length;
    }
    for (std::size_t i = 0; i < path.size();) {
        std::size_t length = utf8 ? utf8_sequence(path.substr(i)) : 1;
        auto byte = static_cast<unsigned char>(path[i]);
        if (length == 1) {
            put_name_byte(page, byte);
        } else if (byte == 0xC2 && static_cast<unsigned char>(path[i + 1]) < 0xA0) {
            put_utf8(page, 0xFFFD);  // a C1 control, which HTML does not allow
        } else {
            put(page, path.substr(i, length));
        }
        i += length;
    }
}

int player_count_of(const run_results& results) {
    return static_cast<int>(results.players.size());
}

std::string_view name_of(const run_results& results, int p) {
    return results.players[static_cast<std::size_t>(p)].name;
}

std::int32_t count_of(const run_results& results, int p, counter c) {
    return results.players[static_cast<std::size_t>(p)].counters[static_cast<std::size_t>(c)];
}

std::int32_t killed(const run_results& results, int killer, int victim) {
    return results.head_to_head.killed(static_cast<std::size_t>(killer),
                                       static_cast<std::size_t>(victim));
}

std::int32_t kills_in_round(const run_results& results, int r, int p) {
    return results.rounds[static_cast<std::size_t>(r)].counters_of(
        static_cast<std::size_t>(p))[kills];
}

std::int32_t suicides_of(const run_results& results, int p) {
    std::int32_t total = 0;
    for (const auto& cause : rows_of_rules(results.rules).causes) {
        total += count_of(results, p, cause.count);
    }
    return total;
}

// Heat level 1 to 8 of a count against the largest one, 0 for none.
int heat(std::int64_t value, std::int64_t largest) {
    return value <= 0 || largest <= 0 ? 0 : static_cast<int>((value * 8 + largest - 1) / largest);
}

void put_heat_cell(page_writer& page, std::int32_t value, std::int64_t largest, bool self) {
    int level = heat(value, largest);
    put(page, "<td");
    if (level > 0 || self) {
        put(page, " class=\"");
        put(page, self ? "s" : "");
        put(page, self && level > 0 ? " " : "");
        if (level > 0) {
            put(page, "h");
            put_number(page, level);
        }
        put(page, "\"");
    }
    put(page, ">");
    put_number(page, value);
    put(page, "</td>");
}

void put_ratio(page_writer& page, std::int32_t numerator, std::int32_t denominator) {
    if (denominator == 0) {
        put(page, numerator == 0 ? "\xE2\x80\x93" : "\xE2\x88\x9E");  // en dash, infinity
        return;
    }
    std::array<char, 32> text{};
    int length = std::snprintf(text.data(), text.size(), "%.2f",
                               static_cast<double>(numerator) / static_cast<double>(denominator));
    put(page, {text.data(), static_cast<std::size_t>(length)});
}

// Players by kills, fewer deaths first among equals, then in slot order.
std::vector<int> ranking(const run_results& results) {
    std::vector<int> order(results.players.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&results](int a, int b) {
        if (count_of(results, a, kills) != count_of(results, b, kills)) {
            return count_of(results, a, kills) > count_of(results, b, kills);
        }
        return count_of(results, a, deaths) < count_of(results, b, deaths);
    });
    return order;
}

void put_head(page_writer& page, std::string_view log_path) {
    put(page,
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"");
    put(page, content_policy);
    put(page,
        "\">\n<meta name=\"referrer\" content=\"no-referrer\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<meta name=\"color-scheme\" content=\"light dark\">\n<title>fragtally: ");
    put_path(page, log_path);
    put(page, "</title>\n<style>");
    put(page, style_sheet);
    put(page, "</style>\n</head>\n<body>\n<header>\n<h1>fragtally</h1>\n<p>Statistics of ");
    put_path(page, log_path);
    put(page,
        "</p>\n<nav><a href=\"#summary\">Summary</a><a href=\"#leaderboard\">Leaderboard</a>"
        "<a href=\"#head-to-head\">Head to head</a><a href=\"#players\">Players</a>"
        "<a href=\"#rounds\">Rounds</a></nav>\n</header>\n<main>\n");
}

void put_tile(page_writer& page, std::string_view label, std::int64_t value) {
    put(page, "<dl><dt>");
    put(page, label);
    put(page, "</dt><dd>");
    put_number(page, value);
    put(page, "</dd></dl>\n");
}

void put_summary(page_writer& page) {
    const run_results& results = page.results;
    std::int64_t counted = 0;
    for (int p = 0; p < player_count_of(results); ++p) {
        counted += count_of(results, p, kills) + suicides_of(results, p);
    }
    put(page,
        "<section id=\"summary\">\n<h2>Summary</h2>\n<div class=\"tiles\">\n<dl><dt>Log</dt><dd>");
    put_path(page, results.log);
    put(page, "</dd></dl>\n");
    put_tile(page, "Lines read", static_cast<std::int64_t>(results.lines));
    put_tile(page, "Rounds", static_cast<std::int64_t>(results.rounds.size()));
    put_tile(page, "Round ends", results.round_ends);
    put_tile(page, "Players", player_count_of(results));
    put_tile(page, "Obituaries counted", counted);
    put_tile(page, "Obituaries not counted",
             static_cast<std::int64_t>(results.uncounted_obituaries));
    put(page, "<dl><dt>Stopped at the round limit</dt><dd>");
    put(page, results.stopped_at_round_limit ? "yes" : "no");
    put(page, "</dd></dl>\n<dl><dt>Rules</dt><dd>");
    put(page, results.rules == rule_set::full ? "full" : "classic");
    put(page, "</dd></dl>\n</div>\n");
    if (results.rules == rule_set::classic) {
        put(page,
            "<p class=\"note\">Counted by the classic rules: thirteen kinds of obituary, names "
            "cut as they always were. The option --rules full counts every obituary the game "
            "prints, with names exactly as it writes them.</p>\n");
    }
    if (results.uncounted_obituaries > 0) {
        put(page, "<p class=\"note\">Obituaries not counted named a player beyond the first ");
        put_number(page, max_players);
        put(page, ".</p>\n");
    }
    if (results.stopped_at_round_limit) {
        put(page, "<p class=\"note\">The run stopped at round end ");
        put_number(page, round_limit + 1);
        put(page, "; the log's later lines were not read.</p>\n");
    }
    put(page, "</section>\n");
}

// The opponent that row or column p of the kill matrix holds most of, by slot order among
// equals, or -1 when it is all zero.
int most_of(const run_results& results, int p, bool as_killer) {
    int best = -1;
    std::int32_t best_count = 0;
    for (int q = 0; q < player_count_of(results); ++q) {
        std::int32_t count = as_killer ? killed(results, p, q) : killed(results, q, p);
        if (count > best_count) {
            best = q;
            best_count = count;
        }
    }
    return best;
}

void put_count_mark(page_writer& page, std::int32_t count) {
    put(page, " <span class=\"x\">");
    put_number(page, count);
    put(page, "</span>");
}

void put_leaderboard(page_writer& page, const std::vector<int>& order) {
    const run_results& results = page.results;
    put(page,
        "<section id=\"leaderboard\">\n<h2>Leaderboard</h2>\n<div class=\"box\"><table "
        "class=\"lb\">\n<thead><tr><th>#</th><th class=\"l\">Player</th><th>Kills</th>"
        "<th>Deaths</th><th>K/D</th><th>Suicides</th><th class=\"l\">Favourite weapon</th>"
        "<th class=\"l\">Killed most</th><th class=\"l\">Killed most by</th></tr></thead>\n"
        "<tbody>\n");
    for (int rank = 0; rank < player_count_of(results); ++rank) {
        int p = order[static_cast<std::size_t>(rank)];
        put(page, "<tr><td class=\"rk\">");
        put_number(page, rank + 1);
        put(page, "</td><td class=\"l\">");
        put_name(page, name_of(results, p));
        put(page, "</td><td>");
        put_number(page, count_of(results, p, kills));
        put(page, "</td><td>");
        put_number(page, count_of(results, p, deaths));
        put(page, "</td><td>");
        put_ratio(page, count_of(results, p, kills), count_of(results, p, deaths));
        put(page, "</td><td>");
        put_number(page, suicides_of(results, p));
        put(page, "</td><td class=\"l\">");
        const weapon_row* favourite = nullptr;
        for (const auto& weapon : rows_of_rules(results.rules).weapons) {
            if (count_of(results, p, weapon.kills_for) >
                (favourite == nullptr ? 0 : count_of(results, p, favourite->kills_for))) {
                favourite = &weapon;
            }
        }
        if (favourite == nullptr) {
            put(page, "\xE2\x80\x93");
        } else {
            put(page, favourite->label);
            put_count_mark(page, count_of(results, p, favourite->kills_for));
        }
        for (bool as_killer : {true, false}) {
            put(page, "</td><td class=\"l\">");
            int q = most_of(results, p, as_killer);
            if (q < 0) {
                put(page, "\xE2\x80\x93");
            } else {
                put_name(page, name_of(results, q));
                put_count_mark(page, as_killer ? killed(results, p, q) : killed(results, q, p));
            }
        }
        put(page, "</td></tr>\n");
    }
    put(page, "</tbody></table></div>\n</section>\n");
}

void put_matrix(page_writer& page, const std::vector<int>& order) {
    const run_results& results = page.results;
    std::int64_t largest = 0;
    for (int a = 0; a < player_count_of(results); ++a) {
        for (int b = 0; b < player_count_of(results); ++b) {
            largest = std::max<std::int64_t>(largest, killed(results, a, b));
        }
    }
    put(page,
        "<section id=\"head-to-head\">\n<h2>Head to head</h2>\n<p class=\"note\">Each row is a "
        "killer, each column a victim: the cell counts how often the row's player killed the "
        "column's.</p>\n<div class=\"box\"><table class=\"m\">\n<thead><tr><th class=\"l\">"
        "Killer \\ victim</th>");
    const auto ranked = std::span(order).first(static_cast<std::size_t>(player_count_of(results)));
    for (int victim : ranked) {
        put(page, "<th class=\"v\">");
        put_name(page, name_of(results, victim));
        put(page, "</th>");
    }
    put(page, "</tr></thead>\n<tbody>\n");
    for (int killer : ranked) {
        put(page, "<tr><th class=\"l\">");
        put_name(page, name_of(results, killer));
        put(page, "</th>");
        for (int victim : ranked) {
            put_heat_cell(page, killed(results, killer, victim), largest, killer == victim);
        }
        put(page, "</tr>\n");
    }
    put(page, "</tbody></table></div>\n</section>\n");
}

// A bar of the chart beside the weapon table, scaled to the player's largest count.
void put_bar(page_writer& page, std::string_view kind, std::string_view y, std::int32_t value,
             std::int32_t largest) {
    if (value <= 0 || largest <= 0) {
        return;
    }
    put(page, "<rect class=\"");
    put(page, kind);
    put(page, "\" y=\"");
    put(page, y);
    put(page, "\" width=\"");
    put_number(page, std::max<std::int64_t>(1, std::int64_t{value} * 100 / largest));
    put(page, "\" height=\"4\"/>");
}

void put_player_card(page_writer& page, int p) {
    const run_results& results = page.results;
    std::int32_t largest = 0;
    for (const auto& weapon : rows_of_rules(results.rules).weapons) {
        largest = std::max({largest, count_of(results, p, weapon.kills_for),
                            count_of(results, p, weapon.kills_against)});
    }
    put(page, "<article class=\"card\" id=\"p");
    put_number(page, p);
    put(page, "\"><h3>");
    put_name(page, name_of(results, p));
    put(page, "</h3>\n<p>");
    put_number(page, count_of(results, p, kills));
    put(page, count_of(results, p, kills) == 1 ? " kill \xC2\xB7 " : " kills \xC2\xB7 ");
    put_number(page, count_of(results, p, deaths));
    put(page, count_of(results, p, deaths) == 1 ? " death \xC2\xB7 K/D " : " deaths \xC2\xB7 K/D ");
    put_ratio(page, count_of(results, p, kills), count_of(results, p, deaths));
    put(page,
        "</p>\n<table class=\"w\"><thead><tr><th class=\"l\">Weapon</th><th>Kills</th>"
        "<th>Deaths</th><th></th></tr></thead><tbody>\n");
    for (const auto& weapon : rows_of_rules(results.rules).weapons) {
        if (!page.shown[static_cast<std::size_t>(weapon.kills_for)]) {
            continue;
        }
        put(page, "<tr><th class=\"l\">");
        put(page, weapon.label);
        put(page, "</th><td>");
        put_number(page, count_of(results, p, weapon.kills_for));
        put(page, "</td><td>");
        put_number(page, count_of(results, p, weapon.kills_against));
        put(page,
            "</td><td class=\"bar\"><svg viewBox=\"0 0 100 10\" preserveAspectRatio=\"none\" "
            "aria-hidden=\"true\">");
        put_bar(page, "k", "0.5", count_of(results, p, weapon.kills_for), largest);
        put_bar(page, "d", "5.5", count_of(results, p, weapon.kills_against), largest);
        put(page, "</svg></td></tr>\n");
    }
    put(page, "</tbody></table>\n<ul class=\"su\"><li>Suicides <b>");
    put_number(page, suicides_of(results, p));
    put(page, "</b></li>");
    for (const auto& cause : rows_of_rules(results.rules).causes) {
        if (!page.shown[static_cast<std::size_t>(cause.count)]) {
            continue;
        }
        put(page, "<li>");
        put(page, cause.label);
        put(page, " <b>");
        put_number(page, count_of(results, p, cause.count));
        put(page, "</b></li>");
    }
    put(page, "</ul>\n</article>\n");
}

void put_players(page_writer& page, const std::vector<int>& order) {
    const run_results& results = page.results;
    put(page,
        "<section id=\"players\">\n<h2>Players</h2>\n<p class=\"note\">Kills and deaths per "
        "weapon (bars: <span class=\"lk\">kills</span><span class=\"ld\">deaths</span>), and "
        "deaths without a killer by cause.</p>\n<div class=\"cards\">\n");
    for (int rank = 0; rank < player_count_of(results); ++rank) {
        put_player_card(page, order[static_cast<std::size_t>(rank)]);
    }
    put(page, "</div>\n</section>\n");
}

// A player's kills per round as a filled step line, on the scale of the largest count.
void put_trend(page_writer& page, int p, int round_total, std::int64_t largest) {
    const run_results& results = page.results;
    put(page, "<td class=\"sp\"><svg viewBox=\"0 0 ");
    put_number(page, round_total);
    put(page, " ");
    put_number(page, largest);
    put(page, "\" preserveAspectRatio=\"none\" aria-hidden=\"true\"><polygon points=\"0,");
    put_number(page, largest);
    for (int r = 0; r < round_total; ++r) {
        std::int64_t y = largest - kills_in_round(results, r, p);
        for (int x : {r, r + 1}) {
            put(page, " ");
            put_number(page, x);
            put(page, ",");
            put_number(page, y);
        }
    }
    put(page, " ");
    put_number(page, round_total);
    put(page, ",");
    put_number(page, largest);
    put(page, "\"/></svg></td>");
}

void put_rounds(page_writer& page, const std::vector<int>& order) {
    const run_results& results = page.results;
    int round_total = static_cast<int>(results.rounds.size());
    put(page, "<section id=\"rounds\">\n<h2>Rounds</h2>\n");
    if (round_total == 0) {
        put(page, "<p class=\"note\">The log holds no lines.</p>\n</section>\n");
        return;
    }
    std::int64_t largest = 1;
    for (int r = 0; r < round_total; ++r) {
        for (int p = 0; p < player_count_of(results); ++p) {
            largest = std::max<std::int64_t>(largest, kills_in_round(results, r, p));
        }
    }
    put(page,
        "<p class=\"note\">A round runs to the next line that ends one. Kills of each player in "
        "each round:</p>\n<div class=\"box\"><table class=\"r\">\n<thead><tr><th "
        "class=\"l\">Player</th><th class=\"l\">Trend</th><th>Total</th>");
    for (int r = 0; r < round_total; ++r) {
        put(page, "<th>");
        put_number(page, r + 1);
        put(page, "</th>");
    }
    put(page, "</tr></thead>\n<tbody>\n");
    for (int rank = 0; rank < player_count_of(results); ++rank) {
        int p = order[static_cast<std::size_t>(rank)];
        put(page, "<tr><th class=\"l\">");
        put_name(page, name_of(results, p));
        put(page, "</th>");
        put_trend(page, p, round_total, largest);
        put(page, "<td>");
        put_number(page, count_of(results, p, kills));
        put(page, "</td>");
        for (int r = 0; r < round_total; ++r) {
            put_heat_cell(page, kills_in_round(results, r, p), largest, false);
        }
        put(page, "</tr>\n");
    }
    put(page,
        "</tbody></table></div>\n<h3>Round by round</h3>\n<div class=\"box\"><table "
        "class=\"rt\">\n<thead><tr><th>Round</th><th>Lines</th><th class=\"l\">Ended by</th>"
        "<th>Kills</th><th class=\"l\">Top player</th></tr></thead>\n<tbody>\n");
    for (int r = 0; r < round_total; ++r) {
        const round_result& round = results.rounds[static_cast<std::size_t>(r)];
        std::int32_t total = 0;
        std::int32_t top = 0;
        for (int p = 0; p < player_count_of(results); ++p) {
            total += kills_in_round(results, r, p);
            top = std::max(top, kills_in_round(results, r, p));
        }
        put(page, "<tr><td>");
        put_number(page, r + 1);
        put(page, "</td><td>");
        put_number(page, static_cast<std::int64_t>(round.first_line()));
        put(page, "\xE2\x80\x93");
        put_number(page, static_cast<std::int64_t>(round.last_line()));
        put(page, "</td><td class=\"l\">");
        bool limit = results.stopped_at_round_limit && r == round_total - 1;
        put(page, limit ? "the round limit" : round.ended() ? "a round end" : "the end of the log");
        put(page, "</td><td>");
        put_number(page, total);
        put(page, "</td><td class=\"l\">");
        if (top == 0) {
            put(page, "\xE2\x80\x93");
        }
        // Every player with the round's most kills, in the leaderboard's order.
        bool first = true;
        for (int rank = 0; rank < player_count_of(results) && top > 0; ++rank) {
            int p = order[static_cast<std::size_t>(rank)];
            if (kills_in_round(results, r, p) == top) {
                put(page, first ? "" : " ");
                put_name(page, name_of(results, p));
                first = false;
            }
        }
        if (top > 0) {
            put_count_mark(page, top);
        }
        put(page, "</td></tr>\n");
    }
    put(page, "</tbody></table></div>\n</section>\n");
}

void put_foot(page_writer& page) {
    put(page, "</main>\n<footer>Made by fragtally ");
    put(page, program_version);
    put(page, ". Web page: ");
    put(page, web_page);
    put(page, " \xC2\xB7 e-mail: ");
    put(page, contact_email);
    put(page, "</footer>\n</body>\n</html>\n");
}

}  // namespace

void append_name_html(std::string& page, std::string_view raw) {
    put_name(page, raw);
}

bool write_html(std::FILE* out, const run_results& results) {
    page_writer page{out, results, {}};
    page.pending.reserve(2 * page_block);
    choose_rows(page);
    const auto order = ranking(results);
    put_head(page, results.log);
    put_summary(page);
    put_leaderboard(page, order);
    put_matrix(page, order);
    put_players(page, order);
    put_rounds(page, order);
    put_foot(page);
    write_pending(page);
    return page.written && std::fflush(out) == 0 && std::ferror(out) == 0;
}
