#include "report/report_html.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <numeric>
#include <optional>
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
.hint{margin:-4px 0 6px;color:var(--mute);font-size:13px}.hint::after{content:" \2192"}
.facts{display:grid;grid-template-columns:repeat(4,minmax(0,1fr));gap:8px 14px;margin:0;background:var(--card);border:1px solid var(--line);border-radius:8px;padding:10px 14px}
.facts dl{margin:0;min-width:0}.facts dl:first-child{grid-column:1/-1}
.facts dt{font-size:12px;color:var(--mute);text-transform:uppercase;letter-spacing:.04em}
.facts dd{margin:0;font-size:18px;font-weight:600;overflow-wrap:anywhere}
.facts dd small{font-size:13px;font-weight:400;color:var(--mute)}
.facts dl:first-child dd{font-size:15px}
.box{overflow:auto;border:1px solid var(--line);border-radius:8px;background:linear-gradient(to right,var(--card) 30%,transparent) left/28px 100% no-repeat local,linear-gradient(to left,var(--card) 30%,transparent) right/28px 100% no-repeat local,radial-gradient(farthest-side at 0 50%,color-mix(in srgb,var(--fg) 30%,transparent),transparent) left/12px 100% no-repeat scroll,radial-gradient(farthest-side at 100% 50%,color-mix(in srgb,var(--fg) 30%,transparent),transparent) right/12px 100% no-repeat scroll,var(--card)}
.tall{max-height:min(80vh,900px)}
a{color:var(--acc)}
td a,li a{text-decoration:none}
a .n{box-shadow:inset 0 -2px 0 var(--acc)}
a:hover .n,a:focus .n{outline:2px solid var(--acc)}
.raw{font:12px ui-monospace,monospace;color:#c9d1dc;margin-left:4px}
.sc{font-weight:700}
.aw,.rv{margin:0;padding:10px 14px 10px 34px;background:var(--card);border:1px solid var(--line);border-radius:8px;display:grid;grid-template-columns:repeat(auto-fill,minmax(min(360px,100%),1fr));gap:6px 18px}
.aw{list-style:none;padding-left:14px}
.aw li,.rv li{min-width:0;overflow-wrap:anywhere}
.at{display:block;font-size:12px;color:var(--mute);text-transform:uppercase;letter-spacing:.04em}
.aw small,.facts small,.card small{color:var(--mute)}
.x2{font-weight:700;margin:0 4px;font-variant-numeric:tabular-nums}
details{margin:6px 0;background:var(--card);border:1px solid var(--line);border-radius:8px;padding:6px 10px}
details>.box{margin-top:6px}
.boards{display:grid;grid-template-columns:repeat(auto-fill,minmax(190px,1fr));gap:6px}
.boards details{margin:0;min-width:0}.boards details[open]{grid-column:1/-1}
summary{cursor:pointer;font-weight:600}
q.line{font:13px ui-monospace,monospace;quotes:"\201C" "\201D"}
.quiet{margin:0;padding:8px 14px;list-style:none;background:var(--card);border:1px solid var(--line);border-radius:8px;display:grid;grid-template-columns:repeat(auto-fill,minmax(min(300px,100%),1fr));gap:4px 16px;color:var(--mute)}
.quiet li{min-width:0;overflow-wrap:anywhere}
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
.m thead th,.r thead th{position:sticky;top:0;z-index:2}
.m th.l,.r th.l{position:sticky;left:0;z-index:1}
.m thead th.l,.r thead th.l{z-index:3}
.h1,.h2,.h3,.h4,.h5{color:var(--fg)!important}.h6,.h7,.h8{color:#fff!important;font-weight:600}
.h1{background:color-mix(in srgb,var(--heat) 10%,transparent)}.h2{background:color-mix(in srgb,var(--heat) 20%,transparent)}
.h3{background:color-mix(in srgb,var(--heat) 30%,transparent)}.h4{background:color-mix(in srgb,var(--heat) 40%,transparent)}
.h5{background:color-mix(in srgb,var(--heat) 52%,transparent)}.h6{background:color-mix(in srgb,var(--heat) 66%,#000 4%)}
.h7{background:color-mix(in srgb,var(--heat) 80%,#000 8%)}.h8{background:color-mix(in srgb,var(--heat) 88%,#000 12%)}
.r td{min-width:30px}
.cards{display:grid;grid-template-columns:repeat(auto-fill,minmax(min(340px,100%),1fr));gap:14px}
.card{background:var(--card);border:1px solid var(--line);border-radius:10px;padding:12px 14px;min-width:0}
.card h3{margin:0 0 4px;font-size:17px}
.card .n,.quiet .n,.aw .n,.rv .n{white-space:pre-wrap;overflow-wrap:anywhere}
.card p{margin:0 0 8px;color:var(--mute)}
.w{width:100%;table-layout:fixed}
.w th:first-child{width:38%}.w thead th:nth-child(2),.w thead th:nth-child(3){width:16%}
.card th,.card td{padding:3px 6px}.card th.l{white-space:normal}
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
@media (max-width:600px){body{font-size:14px}header h1{font-size:22px}th,td{padding:4px 6px}.lb .o{display:none}.facts{grid-template-columns:repeat(2,minmax(0,1fr));gap:6px 10px;padding:8px 10px}.facts dd{font-size:16px}.facts dt{font-size:11px}}
@page{margin:12mm}
@media print{*{print-color-adjust:exact;-webkit-print-color-adjust:exact}body{background:#fff;color:#000;font-size:8pt}th,td{white-space:normal;padding:2px 4px}.m td,.r td{min-width:0}header{background:none;color:#000;padding:0 0 8px}nav,.hint{display:none}main{max-width:none;padding:0}.box,.tall{overflow:visible;max-height:none;border:0;background:none}.m thead th,.r thead th,.m th.l,.r th.l{position:static}.card,tr,li{break-inside:avoid}section{break-before:auto}a{color:inherit}}
)css";

// The page goes to its stream as it is made: a page of 100 players over 50 rounds can take
// 1.7 MB, and a string grown to hold it whole about twice that at its peak. Pieces gather in a
// small buffer, so that the stream sees a few large writes.
struct page_writer {
    std::FILE* out;
    const run_results& results;
    std::string pending;           // made, not yet written
    bool written = true;           // every write so far took all its bytes
    std::vector<int> order{};      // the players by rank
    std::vector<char> with_raw{};  // by player: the name draws like another's
};

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

// What a name draws: each shown byte with its colour, so that two names drawing alike compare
// equal. A name that draws nothing but blanks is drawn as its raw bytes, so it is its own form.
std::string drawn_form(std::string_view raw) {
    std::string form;
    int colour = 7;
    bool blank = true;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '^' && i + 1 < raw.size()) {
            colour = static_cast<unsigned char>(raw[++i]) % 8;
            continue;
        }
        form += static_cast<char>('0' + colour);
        form += raw[i];
        blank = blank && raw[i] == ' ';
    }
    return blank ? "raw:" + std::string(raw) : form;
}

// The raw bytes of a name as visible text: blanks as the symbol for a space.
template <typename Page>
void put_raw_name(Page& page, std::string_view raw) {
    for (char c : raw) {
        if (c == ' ') {
            put_utf8(page, 0x2420);
        } else {
            put_name_byte(page, static_cast<unsigned char>(c));
        }
    }
}

// A name as a chip in the game's colours. A name that would draw empty or as blanks shows its
// raw bytes instead, and with_raw adds them after one that draws like another player's.
template <typename Page>
void put_name(Page& page, std::string_view raw, bool with_raw = false) {
    put(page, "<span class=\"n\" title=\"");
    put_name_text(page, raw);
    put(page, "\">");
    if (drawn_form(raw).starts_with("raw:")) {
        put(page, "<span class=\"e\">");
        put_raw_name(page, raw);
        put(page, raw.empty() ? "empty name</span></span>" : "</span></span>");
        return;
    }
    // White is the chip's own colour, so only other colours need a span of their own.
    constexpr int white = 7;
    int colour = white;
    int open = white;
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
    }
    put(page, open != white ? "</span>" : "");
    if (with_raw) {
        put(page, " <span class=\"raw\">");
        put_raw_name(page, raw);
        put(page, "</span>");
    }
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

std::int32_t count_of(const run_results& results, int p, counter c) {
    return results.players[static_cast<std::size_t>(p)].counters[static_cast<std::size_t>(c)];
}

std::int32_t killed(const run_results& results, int killer, int victim) {
    return results.head_to_head.killed(static_cast<std::size_t>(killer),
                                       static_cast<std::size_t>(victim));
}

// The deaths without a killer among the counters, by the rule set's causes.
std::int32_t suicides_in(const counter_values& counters, rule_set rules) {
    std::int32_t total = 0;
    for (const auto& cause : rows_of_rules(rules).causes) {
        total += counters[static_cast<std::size_t>(cause.count)];
    }
    return total;
}

std::int32_t suicides_of(const run_results& results, int p) {
    return suicides_in(results.players[static_cast<std::size_t>(p)].counters, results.rules);
}

// The score as the game's scoreboard counts frags: a kill scores one, a death by one's own
// hand or the world takes one away.
std::int64_t score_of(const counter_values& counters, rule_set rules) {
    return std::int64_t{counters[kills]} - suicides_in(counters, rules);
}

std::int64_t score_of(const run_results& results, int p) {
    return score_of(results.players[static_cast<std::size_t>(p)].counters, results.rules);
}

void put_player(page_writer& page, int p) {
    put_name(page, page.results.players[static_cast<std::size_t>(p)].name,
             page.with_raw[static_cast<std::size_t>(p)] != 0);
}

// A player's name linked to the player's card or line.
void put_player_link(page_writer& page, int p) {
    put(page, "<a href=\"#p");
    put_number(page, p);
    put(page, "\">");
    put_player(page, p);
    put(page, "</a>");
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

// Players by score, then by kills, fewer deaths first among equals, then in slot order.
std::vector<int> ranking(const run_results& results) {
    std::vector<int> order(results.players.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&results](int a, int b) {
        if (score_of(results, a) != score_of(results, b)) {
            return score_of(results, a) > score_of(results, b);
        }
        if (count_of(results, a, kills) != count_of(results, b, kills)) {
            return count_of(results, a, kills) > count_of(results, b, kills);
        }
        return count_of(results, a, deaths) < count_of(results, b, deaths);
    });
    return order;
}

// Which players draw exactly like another one, so that their raw bytes must tell them apart.
std::vector<char> drawn_alike(const run_results& results) {
    std::vector<std::pair<std::string, int>> forms;
    forms.reserve(results.players.size());
    for (int p = 0; p < player_count_of(results); ++p) {
        forms.emplace_back(drawn_form(results.players[static_cast<std::size_t>(p)].name), p);
    }
    std::sort(forms.begin(), forms.end());
    std::vector<char> alike(results.players.size(), 0);
    for (std::size_t i = 1; i < forms.size(); ++i) {
        if (forms[i].first == forms[i - 1].first) {
            alike[static_cast<std::size_t>(forms[i].second)] = 1;
            alike[static_cast<std::size_t>(forms[i - 1].second)] = 1;
        }
    }
    return alike;
}

// One period (a round, or a session of a history) as the page draws it: its lines, who ended
// it and each player's share. The parts take a list of these, read once from the periods.
struct period_player {
    int player;
    std::int32_t kills;
    std::int32_t deaths;
    std::int32_t suicides;

    std::int64_t score() const { return std::int64_t{kills} - suicides; }
};

struct period_view {
    std::uint64_t first_line = 0;
    std::uint64_t last_line = 0;
    bool ended = false;
    round_end_kind ended_kind = round_end_kind::line;
    std::string ended_by;
    std::optional<session_facts> session;  // a history's session: where and when it was played
    std::vector<period_player> players;    // the players it counts, in slot order
    std::int32_t kills = 0;
};

struct period_list {
    std::vector<period_view> periods;
    std::uint64_t lines_after = 0;  // lines after the last period, which counted nothing
};

// Reads the periods once, in order; a last period that is open and counts nothing (chat after
// the last round end) is not a period of play, only lines after it.
template <typename Periods>
period_list periods_of(const run_results& results, const Periods& periods) {
    period_list list;
    for (const auto& period : periods) {
        period_view view;
        view.first_line = period.first_line();
        view.last_line = period.last_line();
        view.ended = period.ended();
        view.session = period.session();
        if (view.ended && !view.session) {
            round_end end = period.ended_by();
            view.ended_kind = end.kind;
            view.ended_by = std::string(end.who);
        }
        for (int p = 0; p < player_count_of(results); ++p) {
            if (period.counts(static_cast<std::size_t>(p))) {
                // Only the figures the page shows: a page of many rounds keeps little.
                const counter_values counters = period.counters_of(static_cast<std::size_t>(p));
                view.players.push_back(
                    {p, counters[kills], counters[deaths], suicides_in(counters, results.rules)});
                view.kills += counters[kills];
            }
        }
        list.periods.push_back(std::move(view));
    }
    if (!list.periods.empty() && !list.periods.back().ended && !list.periods.back().session &&
        list.periods.back().players.empty()) {
        list.lines_after = list.periods.back().last_line - list.periods.back().first_line + 1;
        list.periods.pop_back();
    }
    return list;
}

std::int32_t kills_in(const period_view& period, int p) {
    for (const period_player& entry : period.players) {
        if (entry.player == p) {
            return entry.kills;
        }
    }
    return 0;
}

void put_head(page_writer& page, std::string_view log_path, std::string_view period_noun) {
    put(page,
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"");
    put(page, content_policy);
    put(page, "\">\n");
    const std::optional<live_facts>& live = page.results.live;
    if (live) {
        // A reload the browser does by itself: the policy still forbids every script.
        put(page, "<meta http-equiv=\"refresh\" content=\"");
        put_number(page, live->refresh_seconds);
        put(page, "\">\n");
    }
    put(page,
        "<meta name=\"referrer\" content=\"no-referrer\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<meta name=\"color-scheme\" content=\"light dark\">\n<title>fragtally: ");
    put_path(page, log_path);
    put(page, "</title>\n<style>");
    put(page, style_sheet);
    put(page, "</style>\n</head>\n<body>\n<header>\n<h1>fragtally</h1>\n<p>Statistics of ");
    put_path(page, log_path);
    if (live) {
        put(page, "</p>\n<p>Live: the log is being followed. Written at ");
        put(page, live->written_at);
        put(page, "; this page reloads itself every ");
        put_number(page, live->refresh_seconds);
        put(page, " seconds.");
    }
    put(page,
        "</p>\n<nav><a href=\"#summary\">Summary</a><a href=\"#leaderboard\">Leaderboard</a>"
        "<a href=\"#awards\">Awards</a><a href=\"#rivalries\">Rivalries</a>"
        "<a href=\"#head-to-head\">Head to head</a><a href=\"#players\">Players</a>"
        "<a href=\"#rounds\">");
    put(page, period_noun);
    put(page, "s</a></nav>\n</header>\n<main>\n");
}

// A period's noun inside a sentence.
std::string lowered(std::string_view noun) {
    std::string text(noun);
    for (char& c : text) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

void put_fact(page_writer& page, std::string_view label, std::int64_t value) {
    put(page, "<dl><dt>");
    put(page, label);
    put(page, "</dt><dd>");
    put_number(page, value);
    put(page, "</dd></dl>\n");
}

void put_summary(page_writer& page, const period_list& periods, std::string_view period_noun) {
    const run_results& results = page.results;
    std::int64_t counted = 0;
    for (int p = 0; p < player_count_of(results); ++p) {
        counted += count_of(results, p, kills) + suicides_of(results, p);
    }
    put(page, "<section id=\"summary\">\n<h2>Summary</h2>\n<div class=\"facts\">\n<dl><dt>");
    put(page, page.results.history ? "History" : "Log");
    put(page, "</dt><dd>");
    put_path(page, results.log);
    put(page, "</dd></dl>\n<dl><dt>");
    put(page, period_noun);
    put(page, "s</dt><dd>");
    put_number(page, static_cast<std::int64_t>(periods.periods.size()));
    if (periods.lines_after > 0) {
        put(page, " <small>and ");
        put_number(page, static_cast<std::int64_t>(periods.lines_after));
        put(page, periods.lines_after == 1 ? " line after the last " : " lines after the last ");
        put(page, lowered(period_noun));
        put(page, "</small>");
    }
    put(page, "</dd></dl>\n");
    put_fact(page, "Players", player_count_of(results));
    put_fact(page, "Lines read", static_cast<std::int64_t>(results.lines));
    put_fact(page, "Round ends", results.round_ends);
    put_fact(page, "Obituaries counted", counted);
    put_fact(page, "Not counted", static_cast<std::int64_t>(results.uncounted_obituaries));
    put(page, "<dl><dt>Round limit</dt><dd>");
    put(page, results.stopped_at_round_limit ? "stopped the run" : "not reached");
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

void put_count_mark(page_writer& page, std::int64_t count) {
    put(page, " <span class=\"x\">");
    put_number(page, count);
    put(page, "</span>");
}

std::int64_t family_kills(const counter_values& counters, const family_row& family) {
    std::int64_t total = 0;
    for (std::size_t i = 0; i < family.parts; ++i) {
        total += counters[static_cast<std::size_t>(family.kills_for[i])];
    }
    return total;
}

// The weapon, as players name it, the player killed most with; the first in the table among
// equals, nullptr for none.
const family_row* favourite_of(const counter_values& counters, rule_set rules) {
    const family_row* favourite = nullptr;
    for (const auto& family : rows_of_rules(rules).families) {
        if (family_kills(counters, family) >
            (favourite == nullptr ? 0 : family_kills(counters, *favourite))) {
            favourite = &family;
        }
    }
    return favourite;
}

void put_favourite(page_writer& page, int p, bool split) {
    const counter_values& counters = page.results.players[static_cast<std::size_t>(p)].counters;
    const family_row* favourite = favourite_of(counters, page.results.rules);
    if (favourite == nullptr) {
        put(page, "\xE2\x80\x93");
        return;
    }
    put(page, favourite->name);
    put_count_mark(page, family_kills(counters, *favourite));
    if (!split || favourite->parts < 2) {
        return;
    }
    put(page, " <small>(");
    for (std::size_t i = 0; i < favourite->parts; ++i) {
        for (const auto& weapon : rows_of_rules(page.results.rules).weapons) {
            if (weapon.kills_for == favourite->kills_for[i]) {
                put(page, i == 0 ? "" : ", ");
                put(page, weapon.caption);
                put(page, " ");
                put_number(page, counters[static_cast<std::size_t>(weapon.kills_for)]);
            }
        }
    }
    put(page, ")</small>");
}

void put_rival(page_writer& page, int p, bool as_killer) {
    const run_results& results = page.results;
    int q = most_of(results, p, as_killer);
    if (q < 0) {
        put(page, "\xE2\x80\x93");
        return;
    }
    put_player(page, q);
    put_count_mark(page, as_killer ? killed(results, p, q) : killed(results, q, p));
}

void put_leaderboard(page_writer& page) {
    const run_results& results = page.results;
    put(page, "<section id=\"leaderboard\">\n<h2>Leaderboard</h2>\n");
    if (results.players.empty()) {
        put(page, "<p class=\"note\">No player was counted.</p>\n</section>\n");
        return;
    }
    put(page,
        "<p class=\"note\">Score: kills minus suicides, as the game's scoreboard counts frags. "
        "A name leads to the player's card.</p>\n<div class=\"box\"><table class=\"lb\">\n"
        "<thead><tr><th>#</th><th class=\"l\">Player</th><th>Score</th><th>Kills</th>"
        "<th>Deaths</th><th>K/D</th><th class=\"o\">Suicides</th><th class=\"l o\">Favourite "
        "weapon</th><th class=\"l o\">Killed most</th><th class=\"l o\">Killed most by</th>"
        "</tr></thead>\n<tbody>\n");
    int rank = 0;
    for (int p : page.order) {
        put(page, "<tr><td class=\"rk\">");
        put_number(page, ++rank);
        put(page, "</td><td class=\"l\">");
        put_player_link(page, p);
        put(page, "</td><td class=\"sc\">");
        put_number(page, score_of(results, p));
        put(page, "</td><td>");
        put_number(page, count_of(results, p, kills));
        put(page, "</td><td>");
        put_number(page, count_of(results, p, deaths));
        put(page, "</td><td>");
        put_ratio(page, count_of(results, p, kills), count_of(results, p, deaths));
        put(page, "</td><td class=\"o\">");
        put_number(page, suicides_of(results, p));
        put(page, "</td><td class=\"l o\">");
        put_favourite(page, p, false);
        for (bool as_killer : {true, false}) {
            put(page, "</td><td class=\"l o\">");
            put_rival(page, p, as_killer);
        }
        put(page, "</td></tr>\n");
    }
    put(page, "</tbody></table></div>\n</section>\n");
}

// Players need this many kills before their kills per death compete for an award.
constexpr std::int32_t kills_for_ratio_award = 10;

// The players with the largest positive value of figure, in rank order; none when it is 0 for
// everyone, as the log then decides nothing.
template <typename Figure>
std::vector<int> leaders(const page_writer& page, Figure figure) {
    std::vector<int> best;
    double top = 0;
    for (int p : page.order) {
        double value = figure(p);
        if (value > top) {
            top = value;
            best.assign(1, p);
        } else if (value == top && value > 0) {
            best.push_back(p);
        }
    }
    return best;
}

// Winners an award names before it counts the rest: a tie of dozens decides little.
constexpr std::size_t award_names_shown = 3;

// The winners, all of them or the first `most`, then how many more.
void put_award_names(page_writer& page, const std::vector<int>& winners,
                     std::size_t most = std::numeric_limits<std::size_t>::max()) {
    std::size_t shown = 0;
    for (int p : winners) {
        if (shown == most) {
            put(page, " <small>and ");
            put_number(page, static_cast<std::int64_t>(winners.size() - most));
            put(page, " more</small>");
            break;
        }
        put(page, shown == 0 ? "" : " ");
        put_player_link(page, p);
        ++shown;
    }
}

void put_award(page_writer& page, std::string_view title, std::string_view detail,
               const std::vector<int>& winners, std::int64_t figure) {
    if (winners.empty()) {
        return;
    }
    put(page, "<li><span class=\"at\">");
    put(page, title);
    put(page, "</span> ");
    put_award_names(page, winners, award_names_shown);
    put_count_mark(page, figure);
    put(page, detail.empty() ? "" : " <small>");
    put(page, detail);
    put(page, detail.empty() ? "</li>\n" : "</small></li>\n");
}

void put_awards(page_writer& page) {
    const run_results& results = page.results;
    put(page, "<section id=\"awards\">\n<h2>Awards</h2>\n");
    auto figure_of = [&results](int p, counter c) {
        return static_cast<double>(count_of(results, p, c));
    };
    std::vector<int> most_kills = leaders(page, [&](int p) { return figure_of(p, kills); });
    if (most_kills.empty()) {
        put(page, "<p class=\"note\">No kill was counted, so there is nothing to award.</p>\n");
        put(page, "</section>\n");
        return;
    }
    put(page, "<ul class=\"aw\">\n");
    put_award(page, "Most kills", "", most_kills, count_of(results, most_kills[0], kills));
    std::vector<int> best_ratio = leaders(page, [&](int p) {
        std::int32_t k = count_of(results, p, kills);
        std::int32_t d = std::max(count_of(results, p, deaths), 1);
        return k >= kills_for_ratio_award ? static_cast<double>(k) / d : 0.0;
    });
    if (!best_ratio.empty()) {
        put(page, "<li><span class=\"at\">Best K/D</span> ");
        put_award_names(page, best_ratio, award_names_shown);
        put(page, " <span class=\"x\">");
        put_ratio(page, count_of(results, best_ratio[0], kills),
                  count_of(results, best_ratio[0], deaths));
        put(page, "</span> <small>at least ");
        put_number(page, kills_for_ratio_award);
        put(page, " kills</small></li>\n");
    }
    for (const auto& family : rows_of_rules(results.rules).families) {
        const auto& players = results.players;
        std::vector<int> best = leaders(page, [&](int p) {
            return static_cast<double>(
                family_kills(players[static_cast<std::size_t>(p)].counters, family));
        });
        if (!best.empty()) {
            std::string title = "Most kills with ";
            title += family.name;
            put_award(page, title, "", best,
                      family_kills(players[static_cast<std::size_t>(best[0])].counters, family));
        }
    }
    std::vector<int> most_suicides =
        leaders(page, [&](int p) { return static_cast<double>(suicides_of(results, p)); });
    if (!most_suicides.empty()) {
        put_award(page, "Most suicides", "", most_suicides, suicides_of(results, most_suicides[0]));
    }
    // The pair whose kills of each other differ the most.
    int winner = -1;
    int loser = -1;
    std::int32_t margin = 0;
    for (int a : page.order) {
        for (int b : page.order) {
            std::int32_t lead = a == b ? 0 : killed(results, a, b) - killed(results, b, a);
            if (lead > margin) {
                margin = lead;
                winner = a;
                loser = b;
            }
        }
    }
    if (winner >= 0) {
        put(page, "<li><span class=\"at\">Most one-sided rivalry</span> ");
        put_player_link(page, winner);
        put(page, " <span class=\"x2\">");
        put_number(page, killed(results, winner, loser));
        put(page, " : ");
        put_number(page, killed(results, loser, winner));
        put(page, "</span> ");
        put_player_link(page, loser);
        put(page, "</li>\n");
    }
    put(page, "</ul>\n</section>\n");
}

// Rivalries shown: the pairs with the most kills of each other.
constexpr std::size_t rivalries_shown = 10;

void put_rivalries(page_writer& page) {
    const run_results& results = page.results;
    struct rivalry {
        int a;
        int b;
        std::int64_t total;
    };
    std::vector<rivalry> pairs;
    for (int a = 0; a < player_count_of(results); ++a) {
        for (int b = a + 1; b < player_count_of(results); ++b) {
            std::int64_t total = std::int64_t{killed(results, a, b)} + killed(results, b, a);
            if (total > 0) {
                // The one with more kills of the other first.
                bool swap = killed(results, b, a) > killed(results, a, b);
                pairs.push_back({swap ? b : a, swap ? a : b, total});
            }
        }
    }
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const rivalry& x, const rivalry& y) { return x.total > y.total; });
    put(page, "<section id=\"rivalries\">\n<h2>Top rivalries</h2>\n");
    if (pairs.empty()) {
        put(page, "<p class=\"note\">No player killed another.</p>\n</section>\n");
        return;
    }
    put(page,
        "<p class=\"note\">The pairs with the most kills between them: how often each killed the "
        "other.</p>\n<ol class=\"rv\">\n");
    for (const rivalry& pair : std::span(pairs).first(std::min(pairs.size(), rivalries_shown))) {
        put(page, "<li>");
        put_player_link(page, pair.a);
        put(page, " <span class=\"x2\">");
        put_number(page, killed(results, pair.a, pair.b));
        put(page, " : ");
        put_number(page, killed(results, pair.b, pair.a));
        put(page, "</span> ");
        put_player_link(page, pair.b);
        put(page, "</li>\n");
    }
    put(page, "</ol>\n</section>\n");
}

// Players the head-to-head shows first; the rest are folded away below it.
constexpr std::size_t matrix_players_shown = 20;

void put_matrix_table(page_writer& page, std::span<const int> shown, std::int64_t largest) {
    const run_results& results = page.results;
    put(page,
        "<div class=\"box tall\"><table class=\"m\">\n<thead><tr><th class=\"l\">Killer \\ "
        "victim</th>");
    for (int victim : shown) {
        put(page, "<th class=\"v\">");
        put_player(page, victim);
        put(page, "</th>");
    }
    put(page, "</tr></thead>\n<tbody>\n");
    for (int killer : shown) {
        put(page, "<tr><th class=\"l\">");
        put_player(page, killer);
        put(page, "</th>");
        for (int victim : shown) {
            put_heat_cell(page, killed(results, killer, victim), largest, killer == victim);
        }
        put(page, "</tr>\n");
    }
    put(page, "</tbody></table></div>\n");
}

void put_matrix(page_writer& page) {
    const run_results& results = page.results;
    put(page, "<section id=\"head-to-head\">\n<h2>Head to head</h2>\n");
    if (results.players.empty()) {
        put(page, "<p class=\"note\">No player was counted.</p>\n</section>\n");
        return;
    }
    std::int64_t largest = 0;
    for (int a = 0; a < player_count_of(results); ++a) {
        for (int b = 0; b < player_count_of(results); ++b) {
            largest = std::max<std::int64_t>(largest, killed(results, a, b));
        }
    }
    // The most involved first: the most kills and deaths, then by rank.
    std::vector<int> involved = page.order;
    std::stable_sort(involved.begin(), involved.end(), [&results](int a, int b) {
        return std::int64_t{count_of(results, a, kills)} + count_of(results, a, deaths) >
               std::int64_t{count_of(results, b, kills)} + count_of(results, b, deaths);
    });
    std::size_t shown = std::min(involved.size(), matrix_players_shown);
    put(page,
        "<p class=\"note\">Each row is a killer, each column a victim: the cell counts how often "
        "the row's player killed the column's.");
    if (shown < involved.size()) {
        put(page, " The ");
        put_number(page, static_cast<std::int64_t>(shown));
        put(page, " players most involved in kills and deaths:");
    }
    put(page, "</p>\n");
    put_matrix_table(page, std::span<const int>(involved).first(shown), largest);
    if (shown < involved.size()) {
        put(page, "<details class=\"more\"><summary>All ");
        put_number(page, static_cast<std::int64_t>(involved.size()));
        put(page, " players (");
        put_number(page, static_cast<std::int64_t>(involved.size() - shown));
        put(page, " more)</summary>\n");
        put_matrix_table(page, involved, largest);
        put(page, "</details>\n");
    }
    put(page, "</section>\n");
}

// A bar of the chart beside the weapon table, on the scale shared by every card.
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

void put_plural(page_writer& page, std::int64_t count, std::string_view one,
                std::string_view many) {
    put_number(page, count);
    put(page, count == 1 ? one : many);
}

void put_player_card(page_writer& page, int p, std::int32_t largest) {
    const run_results& results = page.results;
    const counter_values& counters = results.players[static_cast<std::size_t>(p)].counters;
    put(page, "<article class=\"card\" id=\"p");
    put_number(page, p);
    put(page, "\"><h3>");
    put_player(page, p);
    put(page, "</h3>\n<p>Score <b>");
    put_number(page, score_of(counters, results.rules));
    put(page, "</b> \xC2\xB7 ");
    put_plural(page, counters[kills], " kill", " kills");
    put(page, " \xC2\xB7 ");
    put_plural(page, counters[deaths], " death", " deaths");
    put(page, " \xC2\xB7 K/D ");
    put_ratio(page, counters[kills], counters[deaths]);
    put(page, " \xC2\xB7 ");
    put_plural(page, suicides_in(counters, results.rules), " suicide", " suicides");
    put(page, "</p>\n<p>Favourite weapon: ");
    put_favourite(page, p, true);
    put(page, "<br>Killed most: ");
    put_rival(page, p, true);
    put(page, "<br>Killed most by: ");
    put_rival(page, p, false);
    put(page,
        "</p>\n<table class=\"w\"><thead><tr><th class=\"l\">Weapon</th><th>Kills</th>"
        "<th>Deaths</th><th></th></tr></thead><tbody>\n");
    for (const auto& weapon : rows_of_rules(results.rules).weapons) {
        std::int32_t got = counters[static_cast<std::size_t>(weapon.kills_for)];
        std::int32_t lost = counters[static_cast<std::size_t>(weapon.kills_against)];
        if (got == 0 && lost == 0) {
            continue;
        }
        put(page, "<tr><th class=\"l\">");
        put(page, weapon.caption);
        put(page, "</th><td>");
        put_number(page, got);
        put(page, "</td><td>");
        put_number(page, lost);
        put(page,
            "</td><td class=\"bar\"><svg viewBox=\"0 0 100 10\" preserveAspectRatio=\"none\" "
            "aria-hidden=\"true\">");
        put_bar(page, "k", "0.5", got, largest);
        put_bar(page, "d", "5.5", lost, largest);
        put(page, "</svg></td></tr>\n");
    }
    put(page, "</tbody></table>\n");
    bool any = false;
    for (const auto& cause : rows_of_rules(results.rules).causes) {
        std::int32_t count = counters[static_cast<std::size_t>(cause.count)];
        if (count > 0) {
            put(page, any ? "" : "<ul class=\"su\"><li>Suicides:</li>");
            put(page, "<li>");
            put(page, cause.caption);
            put(page, " <b>");
            put_number(page, count);
            put(page, "</b></li>");
            any = true;
        }
    }
    put(page, any ? "</ul>\n</article>\n" : "</article>\n");
}

void put_players(page_writer& page) {
    const run_results& results = page.results;
    put(page, "<section id=\"players\">\n<h2>Players</h2>\n");
    if (results.players.empty()) {
        put(page, "<p class=\"note\">No player was counted.</p>\n</section>\n");
        return;
    }
    // One scale for every card, so that equal counts draw equal bars.
    std::int32_t largest = 0;
    bool quiet = false;
    for (int p : page.order) {
        for (const auto& weapon : rows_of_rules(results.rules).weapons) {
            largest = std::max({largest, count_of(results, p, weapon.kills_for),
                                count_of(results, p, weapon.kills_against)});
        }
        quiet = quiet || count_of(results, p, kills) == 0;
    }
    put(page,
        "<p class=\"note\">Kills and deaths per weapon (bars: <span class=\"lk\">kills</span>"
        "<span class=\"ld\">deaths</span>, every card on one scale), and deaths without a "
        "killer by cause.</p>\n<div class=\"cards\">\n");
    for (int p : page.order) {
        if (count_of(results, p, kills) > 0) {
            put_player_card(page, p, largest);
        }
    }
    put(page, "</div>\n");
    if (quiet) {
        put(page, "<h3>Players without a kill</h3>\n<ul class=\"quiet\">\n");
        for (int p : page.order) {
            if (count_of(results, p, kills) == 0) {
                put(page, "<li id=\"p");
                put_number(page, p);
                put(page, "\">");
                put_player(page, p);
                put(page, " ");
                put_plural(page, count_of(results, p, deaths), " death", " deaths");
                put(page, ", ");
                put_plural(page, suicides_of(results, p), " suicide", " suicides");
                put(page, ", score ");
                put_number(page, score_of(results, p));
                put(page, "</li>\n");
            }
        }
        put(page, "</ul>\n");
    }
    put(page, "</section>\n");
}

// A player's kills per period as a filled step line, on the scale of the largest count.
void put_trend(page_writer& page, int p, const period_list& list, std::int64_t largest) {
    put(page, "<td class=\"sp\"><svg viewBox=\"0 0 ");
    put_number(page, static_cast<std::int64_t>(list.periods.size()));
    put(page, " ");
    put_number(page, largest);
    put(page, "\" preserveAspectRatio=\"none\" aria-hidden=\"true\"><polygon points=\"0,");
    put_number(page, largest);
    std::int64_t x = 0;
    for (const period_view& period : list.periods) {
        std::int64_t y = largest - kills_in(period, p);
        for (std::int64_t at : {x, x + 1}) {
            put(page, " ");
            put_number(page, at);
            put(page, ",");
            put_number(page, y);
        }
        ++x;
    }
    put(page, " ");
    put_number(page, x);
    put(page, ",");
    put_number(page, largest);
    put(page, "\"/></svg></td>");
}

void put_ended_by(page_writer& page, const period_view& period, bool at_limit) {
    if (const auto& session = period.session) {
        // Without a start in its log, the time it was recorded, marked so.
        put(page, session->started.empty() ? session->recorded + " (recorded)" : session->started);
        put(page, " \xC2\xB7 ");
        put_path(page, session->log);
        return;
    }
    if (!period.ended) {
        put(page, "the end of the log");
        return;
    }
    switch (period.ended_kind) {
        case round_end_kind::player:
            put_name(page, period.ended_by);
            break;
        case round_end_kind::team:
        case round_end_kind::time:
            put(page, period.ended_by);
            break;
        case round_end_kind::line:
            put(page, "<q class=\"line\">");
            put_name_text(page, period.ended_by);
            put(page, "</q>");
            break;
    }
    put(page, at_limit ? " <small>(the round limit)</small>" : "");
}

// The players of a period with its most kills, in rank order.
std::vector<int> winners_of(const page_writer& page, const period_view& period) {
    std::int32_t top = 0;
    for (const period_player& entry : period.players) {
        top = std::max(top, entry.kills);
    }
    std::vector<int> winners;
    for (int p : page.order) {
        if (top > 0 && kills_in(period, p) == top) {
            winners.push_back(p);
        }
    }
    return winners;
}

void put_winners(page_writer& page, const period_view& period) {
    std::vector<int> winners = winners_of(page, period);
    if (winners.empty()) {
        put(page, "\xE2\x80\x93");
        return;
    }
    put_award_names(page, winners);
    put_count_mark(page, kills_in(period, winners[0]));
}

void put_scoreboard(page_writer& page, const period_view& period) {
    std::vector<const period_player*> rows;
    for (const period_player& entry : period.players) {
        rows.push_back(&entry);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const period_player* a, const period_player* b) {
        return a->score() != b->score() ? a->score() > b->score() : a->kills > b->kills;
    });
    put(page,
        "<div class=\"box\"><table class=\"sb\">\n<thead><tr><th class=\"l\">Player</th>"
        "<th>Score</th><th>Kills</th><th>Deaths</th><th>Suicides</th></tr></thead>\n<tbody>\n");
    for (const period_player* entry : rows) {
        put(page, "<tr><td class=\"l\">");
        put_player_link(page, entry->player);
        put(page, "</td><td class=\"sc\">");
        put_number(page, entry->score());
        put(page, "</td><td>");
        put_number(page, entry->kills);
        put(page, "</td><td>");
        put_number(page, entry->deaths);
        put(page, "</td><td>");
        put_number(page, entry->suicides);
        put(page, "</td></tr>\n");
    }
    put(page, "</tbody></table></div>\n");
}

void put_rounds(page_writer& page, const period_list& list, std::string_view noun) {
    const run_results& results = page.results;
    put(page, "<section id=\"rounds\">\n<h2>");
    put(page, noun);
    put(page, "s</h2>\n");
    if (list.periods.empty()) {
        put(page, "<p class=\"note\">No obituary was counted.</p>\n</section>\n");
        return;
    }
    std::int64_t largest = 1;
    for (const period_view& period : list.periods) {
        for (const period_player& entry : period.players) {
            largest = std::max<std::int64_t>(largest, entry.kills);
        }
    }
    put(page,
        results.history
            ? "<p class=\"note\">The sessions in the order they began. Each session's winner is "
              "the player with the most kills in it.</p>\n"
            : "<p class=\"note\">A round runs to the next line that ends one. Each round's "
              "winner is the player with the most kills in it.</p>\n");
    put(page, "<div class=\"box\"><table class=\"rt\">\n<thead><tr><th>");
    put(page, noun);
    put(page, results.history ? "</th><th>Lines</th><th class=\"l\">Began</th>"
                              : "</th><th>Lines</th><th class=\"l\">Ended by</th>");
    put(page, "<th>Kills</th><th class=\"l\">Winner</th></tr></thead>\n<tbody>\n");
    std::int64_t number = 0;
    for (const period_view& period : list.periods) {
        ++number;
        put(page, "<tr><td>");
        put_number(page, number);
        put(page, "</td><td>");
        put_number(page, static_cast<std::int64_t>(period.first_line));
        put(page, "\xE2\x80\x93");
        put_number(page, static_cast<std::int64_t>(period.last_line));
        put(page, "</td><td class=\"l eb\">");
        bool at_limit = results.stopped_at_round_limit &&
                        static_cast<std::size_t>(number) == list.periods.size();
        put_ended_by(page, period, at_limit);
        put(page, "</td><td>");
        put_number(page, period.kills);
        put(page, "</td><td class=\"l win\">");
        put_winners(page, period);
        put(page, "</td></tr>\n");
    }
    put(page, "</tbody></table></div>\n<h3>Scoreboards</h3>\n<div class=\"boards\">\n");
    number = 0;
    for (const period_view& period : list.periods) {
        put(page, "<details class=\"rs\"><summary>");
        put(page, noun);
        put(page, " ");
        put_number(page, ++number);
        put(page, " \xC2\xB7 ");
        put_plural(page, static_cast<std::int64_t>(period.players.size()), " player", " players");
        put(page, "</summary>\n");
        if (period.players.empty()) {
            put(page, "<p class=\"note\">Nobody was counted in it.</p>\n");
        } else {
            put_scoreboard(page, period);
        }
        put(page, "</details>\n");
    }
    put(page, "</div>\n");
    if (results.players.empty()) {
        put(page, "</section>\n");
        return;
    }
    put(page, "<h3>Kills by ");
    put(page, lowered(noun));
    put(page, "</h3>\n");
    if (list.periods.size() > 10) {
        put(page, "<p class=\"hint\">The table scrolls sideways.</p>\n");
    }
    put(page,
        "<div class=\"box tall\"><table class=\"r\">\n<thead><tr><th class=\"l\">Player</th><th "
        "class=\"l\">Trend</th><th>Total</th>");
    for (std::int64_t r = 1; r <= number; ++r) {
        put(page, "<th>");
        put_number(page, r);
        put(page, "</th>");
    }
    put(page, "</tr></thead>\n<tbody>\n");
    for (int p : page.order) {
        put(page, "<tr><th class=\"l\">");
        put_player(page, p);
        put(page, "</th>");
        put_trend(page, p, list, largest);
        put(page, "<td>");
        put_number(page, count_of(results, p, kills));
        put(page, "</td>");
        for (const period_view& period : list.periods) {
            put_heat_cell(page, kills_in(period, p), largest, false);
        }
        put(page, "</tr>\n");
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
    page.order = ranking(results);
    page.with_raw = drawn_alike(results);
    const period_list periods = periods_of(results, results.rounds);
    // A history's periods are its sessions.
    const std::string_view noun = results.history ? "Session" : "Round";
    put_head(page, results.log, noun);
    put_summary(page, periods, noun);
    put_leaderboard(page);
    put_awards(page);
    put_rivalries(page);
    put_matrix(page);
    put_players(page);
    put_rounds(page, periods, noun);
    put_foot(page);
    write_pending(page);
    return page.written && std::fflush(out) == 0 && std::ferror(out) == 0;
}
