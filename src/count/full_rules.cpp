#include "count/full_rules.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "count/game_limits.h"
#include "count/line_memo.h"

namespace {

constexpr std::string_view name_end = "^7 ";
constexpr std::string_view fraglimit_end = "^7 hit the fraglimit.";

// The longest line that can be an obituary or a round end; longer lines are passed over at once.
constexpr std::size_t longest_line = [] {
    std::size_t longest = 0;
    for (const full_message& m : full_messages) {
        std::size_t size = full_name_limit + name_end.size() + m.text.size() +
                           (m.two_names ? 1 + full_name_limit + 2 + m.suffix.size() : 1);
        longest = std::max(longest, size);
    }
    return std::max(longest, full_name_limit + fraglimit_end.size());
}();

// The bytes that an obituary or a round end can end with: most lines end otherwise.
constexpr std::array<bool, 256> last_bytes = [] {
    std::array<bool, 256> last{};
    last[static_cast<unsigned char>('.')] = true;
    for (const full_message& m : full_messages) {
        if (m.two_names) {
            char c = m.suffix.empty() ? '7' : m.suffix.back();
            last[static_cast<unsigned char>(c)] = true;
        }
    }
    return last;
}();

// Whether `rest`, the text after the victim's "^7 ", is the message; sets the killer if it has
// one. The lengths are checked first, as they rule out most messages at no cost.
bool fits(const full_message& m, std::string_view rest, std::string_view& killer) {
    if (!m.two_names) {
        return rest.size() == m.text.size() + 1 && rest.back() == '.' && rest.starts_with(m.text);
    }
    // "MSG K^7SUFFIX" with K of 1 to full_name_limit bytes.
    std::size_t tail = 2 + m.suffix.size();
    std::size_t fixed = m.text.size() + 1 + tail;
    if (rest.size() < fixed + 1 || rest.size() > fixed + full_name_limit ||
        rest[m.text.size()] != ' ' || !rest.starts_with(m.text) || !rest.ends_with(m.suffix) ||
        rest[rest.size() - tail] != '^' || rest[rest.size() - tail + 1] != '7') {
        return false;
    }
    killer = rest.substr(m.text.size() + 1, rest.size() - fixed);
    return true;
}

using message_set = std::uint64_t;
static_assert(full_messages.size() <= 64, "a set of messages is one word");

// The messages that may start the rest of a line, by its first byte and by its fifth (a message
// shorter than five bytes may have any byte there): one or two for any rest, of forty-five.
struct message_sieve {
    std::array<message_set, 256> first{};
    std::array<message_set, 256> fifth{};
};

constexpr std::size_t sieve_at = 4;

constexpr message_sieve make_sieve() {
    message_sieve made{};
    for (std::size_t m = 0; m < full_messages.size(); ++m) {
        std::string_view text = full_messages[m].text;
        made.first[static_cast<unsigned char>(text[0])] |= message_set{1} << m;
        for (std::size_t b = 0; b < 256; ++b) {
            if (text.size() <= sieve_at || static_cast<unsigned char>(text[sieve_at]) == b) {
                made.fifth[b] |= message_set{1} << m;
            }
        }
    }
    return made;
}

constexpr message_sieve sieve = make_sieve();

}  // namespace

full_line parse_full_line(std::string_view text) {
    full_line line;
    if (text.size() > longest_line || text.empty() ||
        !last_bytes[static_cast<unsigned char>(text.back())]) {
        return line;
    }
    for (std::string_view end : full_round_ends) {
        if (text == end) {
            line.kind = full_line_kind::round_end;
            return line;
        }
    }
    if (text.ends_with(fraglimit_end) && text.size() > fraglimit_end.size() &&
        text.size() - fraglimit_end.size() <= full_name_limit) {
        line.kind = full_line_kind::round_end;
        return line;
    }
    // The shortest rest is a message of three bytes and its period, so the last "^7 " that
    // can start one is five bytes before the end.
    std::size_t last_start =
        std::min(full_name_limit, text.size() - std::min(text.size(), std::size_t{8}));
    for (std::size_t at = 1; at <= last_start; ++at) {
        if (text[at] != '^' || text[at + 1] != '7' || text[at + 2] != ' ') {
            continue;
        }
        std::string_view rest = text.substr(at + name_end.size());
        message_set candidates = sieve.first[static_cast<unsigned char>(rest[0])] &
                                 sieve.fifth[static_cast<unsigned char>(rest[sieve_at])];
        while (candidates != 0) {
            auto m = static_cast<std::size_t>(std::countr_zero(candidates));
            candidates &= candidates - 1;
            std::string_view killer;
            if (fits(full_messages[m], rest, killer)) {
                line.kind = full_line_kind::obituary;
                line.message = m;
                line.victim = text.substr(0, at);
                line.killer = killer;
                return line;
            }
        }
    }
    return line;
}

namespace {

using full_name = std::array<char, full_name_limit>;

constexpr std::size_t no_player = max_players;

// Entries of the name index: more than twice the slots, so that probes stay short.
constexpr std::size_t index_size = 256;
static_assert(index_size / 2 > static_cast<std::size_t>(max_players) && max_players < 255);

// Counts stop at the largest value rather than wrap round to a negative one.
void bump(std::int32_t& count) {
    if (count < std::numeric_limits<std::int32_t>::max()) {
        ++count;
    }
}

// Adds counts to others, stopping at the largest count, as bump does: a sum of counts that each
// stopped there is the count that would have.
void add_counts(std::int32_t* to, const std::int32_t* from, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        auto sum = static_cast<std::uint32_t>(to[i]) + static_cast<std::uint32_t>(from[i]);
        to[i] = static_cast<std::int32_t>(
            std::min<std::uint32_t>(sum, std::numeric_limits<std::int32_t>::max()));
    }
}

}  // namespace

// Entries of the memo of lines, one line each, in pairs: a line may take either entry of its
// pair, the one seen last first; a power of two.
constexpr std::size_t memo_lines = 32768;

// No obituary or round end is shorter ("V^7 died.").
constexpr std::size_t shortest_line = 9;

// The memo's pair of entries for a line, from its length and its first, middle and last eight
// bytes (it has at least nine): names and messages both tell lines apart.
std::size_t memo_place(std::string_view text) {
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    std::memcpy(&head, text.data(), sizeof head);
    std::memcpy(&tail, text.data() + text.size() - sizeof tail, sizeof tail);
    std::uint64_t middle = 0;
    std::memcpy(&middle, text.data() + text.size() / 2 - 4, sizeof middle);
    std::uint64_t mixed = (head * 0x9E3779B97F4A7C15u) ^
                          (tail + text.size()) * 0xC2B2AE3D27D4EB4Fu ^
                          (middle * 0x165667B19E3779F9u);
    return (static_cast<std::size_t>(mixed >> 50) & (memo_lines / 2 - 1)) * 2;
}

struct full_count::state {
    std::array<full_name, max_players> names{};
    std::array<std::uint8_t, max_players> name_sizes{};
    std::size_t players = 0;
    std::array<counter_values, max_players> totals{};
    std::array<std::array<std::int32_t, max_players>, max_players> killed{};
    // The round being read.
    std::array<counter_values, max_players> round{};
    std::array<std::array<std::int32_t, max_players>, max_players> killed_in_round{};
    std::uint64_t round_first_line = 1;
    std::int32_t round_ends = 0;
    round_list rounds;

    std::string_view name_of(std::size_t p) const { return {names[p].data(), name_sizes[p]}; }

    // Slots by a hash of the name, each entry the slot plus one (0: free), probed in turn.
    std::array<std::uint8_t, index_size> index{};

    static std::size_t hash_of(std::string_view player) {
        std::uint32_t hash = 2166136261u;
        for (char c : player) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        }
        return hash % index_size;
    }

    // Returns the player's slot, or no_player when the name has none.
    std::size_t find(std::string_view player) const {
        for (std::size_t i = hash_of(player);; i = (i + 1) % index_size) {
            if (index[i] == 0) {
                return no_player;
            }
            std::size_t p = index[i] - 1u;
            if (name_sizes[p] == player.size() &&
                std::memcmp(names[p].data(), player.data(), player.size()) == 0) {
                return p;
            }
        }
    }

    // Gives a name that has no slot the next one; there must be one free.
    std::size_t claim(std::string_view player) {
        std::copy(player.begin(), player.end(), names[players].begin());
        name_sizes[players] = static_cast<std::uint8_t>(player.size());
        std::size_t i = hash_of(player);
        while (index[i] != 0) {
            i = (i + 1) % index_size;
        }
        index[i] = static_cast<std::uint8_t>(players + 1);
        return players++;
    }

    // Counts go to the round alone; close_round adds the round to the totals.
    void add(std::size_t p, counter c) { bump(round[p][static_cast<std::size_t>(c)]); }

    // Counts what line number `line`, of this text, does: a round end, or an obituary of the
    // message on the slots given.
    void apply(full_line_kind kind, std::size_t message, std::size_t victim, std::size_t killer,
               std::uint64_t line, std::string_view text) {
        if (kind == full_line_kind::round_end) {
            ++round_ends;
            close_round(line, true, text);
            return;
        }
        if (kind != full_line_kind::obituary) {
            return;
        }
        const full_message& m = full_messages[message];
        if (!m.two_names) {
            add(victim, suicides);
            add(victim, m.victim);
            return;
        }
        add(victim, deaths);
        add(victim, m.victim);
        add(killer, kills);
        add(killer, m.killer);
        bump(killed_in_round[killer][victim]);
    }

    // Lines seen lately, by memo_place of their text.
    std::array<remembered_line, memo_lines> memo{};

    // The round being read as a round ending at `last_line`; an ended round keeps the first
    // bytes of the line that ended it, as the classic pass does.
    round_result round_to(std::uint64_t last_line, bool ended, std::string_view end_text) const {
        round_result result(round_first_line, last_line, ended,
                            std::string(end_text.substr(0, round_end_text_size)));
        std::size_t entries = 0;
        std::size_t cells = 0;
        for (std::size_t p = 0; p < players; ++p) {
            entries += static_cast<std::size_t>(
                std::count_if(round[p].begin(), round[p].end(), [](auto n) { return n != 0; }));
            cells += static_cast<std::size_t>(std::count_if(killed_in_round[p].begin(),
                                                            killed_in_round[p].begin() + players,
                                                            [](auto n) { return n != 0; }));
        }
        result.reserve(entries);
        result.kills().reserve(cells);
        for (std::size_t p = 0; p < players; ++p) {
            for (std::size_t c = 0; c < round[p].size(); ++c) {
                if (round[p][c] != 0) {
                    result.add_count(static_cast<std::uint32_t>(p), static_cast<counter>(c),
                                     round[p][c]);
                }
            }
            for (std::size_t v = 0; v < players; ++v) {
                if (killed_in_round[p][v] != 0) {
                    result.kills().add(static_cast<std::uint32_t>(p), static_cast<std::uint32_t>(v),
                                       killed_in_round[p][v]);
                }
            }
        }
        return result;
    }

    // Closes the round at `last_line`, its lines' counts handed to the store and added to the
    // totals, and starts the next.
    void close_round(std::uint64_t last_line, bool ended, std::string_view end_text) {
        rounds.push_back(round_to(last_line, ended, end_text));
        for (std::size_t p = 0; p < players; ++p) {
            add_counts(totals[p].data(), round[p].data(), round[p].size());
            add_counts(killed[p].data(), killed_in_round[p].data(), players);
            round[p].fill(0);
            std::fill(killed_in_round[p].begin(), killed_in_round[p].begin() + players, 0);
        }
        round_first_line = last_line + 1;
    }

    // The results of the count, with the given rounds.
    run_results results(std::string_view log, std::uint64_t lines, std::uint64_t uncounted,
                        round_list list) const;
};

full_count::full_count() : state_(std::make_unique<state>()) {
    // There is no round limit, so the rounds go to a temporary file as they end, and the
    // writers read them back one at a time; without one they stay in memory.
    if (std::FILE* spill = std::tmpfile()) {
        state_->rounds.spill_to(spill);
    }
}

full_count::~full_count() = default;

namespace {

// Whether a remembered line holds the text, compared with the classic memo's comparer, which
// reads the entry whole: which byte first differs, and so how long a loop would run, is
// anybody's guess, and a mispredicted loop costs more than the compare. Every x86-64 CPU has
// SSE2. The text is followed by readable bytes.
bool same_text(const char* remembered, std::size_t remembered_size, std::string_view text) {
    static_assert(readable_after_text >= memo_reads_after_text);
#if FRAGTALLY_X86_64
    bool same = same_text_sse2(remembered, text.data(), text.size());
#else
    bool same = same_text_portable(remembered, text.data(), text.size());
#endif
    return static_cast<bool>(static_cast<unsigned>(remembered_size == text.size()) &
                             static_cast<unsigned>(same));
}

// A line's text without its line feed, or empty when its length or last byte tells that it is
// neither an obituary nor a round end, as most lines are.
std::string_view may_count(std::string_view text) {
    if (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    if (text.size() > longest_line || text.size() < shortest_line ||
        !last_bytes[static_cast<unsigned char>(text.back())]) {
        return {};
    }
    return text;
}

}  // namespace

void full_count::count_lines(std::span<const std::string_view> texts) {
    state& s = *state_;
    // The entries of a few lines are loaded side by side first: each is a wait on memory.
    constexpr std::size_t batch = 16;
    for (std::size_t from = 0; from < texts.size(); from += batch) {
        std::size_t size = std::min(batch, texts.size() - from);
        // Left unset past `size`, and places for the lines the memo holds only: zeroing them
        // every batch costs more than it would guard.
        std::array<const char*, batch> starts;
        std::array<std::size_t, batch> sizes;
        std::array<std::size_t, batch> places;
        for (std::size_t i = 0; i < size; ++i) {
            std::string_view line = may_count(texts[from + i]);
            starts[i] = line.data();
            sizes[i] = line.size();
            if (!line.empty() && line.size() <= remembered_text) {
                places[i] = memo_place(line);
                __builtin_prefetch(&s.memo[places[i]]);
                __builtin_prefetch(&s.memo[places[i] + 1]);
            }
        }
        for (std::size_t i = 0; i < size; ++i) {
            ++lines_;
            std::string_view text(starts[i], sizes[i]);
            if (text.empty()) {
                continue;
            }
            if (text.size() > remembered_text) {
                count_parsed(text);
                continue;
            }
            // A line seen before does what it did then: the slots it named keep their players.
            remembered_line& first = s.memo[places[i]];
            remembered_line& second = s.memo[places[i] + 1];
            if (same_text(first.text.data(), first.size, text)) {
                s.apply(first.kind, first.message, first.victim, first.killer, lines_, text);
                continue;
            }
            if (same_text(second.text.data(), second.size, text)) {
                s.apply(second.kind, second.message, second.victim, second.killer, lines_, text);
                std::swap(first, second);
                continue;
            }
            remembered_line effect = count_parsed(text);
            if (effect.kind != full_line_kind::other || effect.size == 0) {
                effect.size = static_cast<std::uint8_t>(text.size());
                std::copy(text.begin(), text.end(), effect.text.begin());
                second = first;
                first = effect;
            }
        }
    }
}

full_count::remembered_line full_count::count_parsed(std::string_view text) {
    remembered_line effect{};
    full_line line = parse_full_line(text);
    state& s = *state_;
    if (line.kind != full_line_kind::obituary) {
        effect.kind = line.kind;
        s.apply(line.kind, 0, 0, 0, lines_, text);
        return effect;
    }
    const full_message& m = full_messages[line.message];
    std::size_t victim = s.find(line.victim);
    std::size_t killer = m.two_names ? s.find(line.killer) : no_player;
    std::size_t new_names = victim == no_player ? 1 : 0;
    if (m.two_names && killer == no_player && line.killer != line.victim) {
        ++new_names;
    }
    // Either every name of the line gets a slot or the line changes nothing. Such a line is
    // not remembered, as it counts as uncounted each time it is seen.
    if (s.players + new_names > static_cast<std::size_t>(max_players)) {
        ++uncounted_;
        effect.kind = full_line_kind::other;
        effect.size = 1;  // not remembered
        return effect;
    }
    if (victim == no_player) {
        victim = s.claim(line.victim);
    }
    if (m.two_names && killer == no_player) {
        killer = line.killer == line.victim ? victim : s.claim(line.killer);
    }
    effect.kind = full_line_kind::obituary;
    effect.message = static_cast<std::uint8_t>(line.message);
    effect.victim = static_cast<std::uint8_t>(victim);
    effect.killer = static_cast<std::uint8_t>(m.two_names ? killer : victim);
    s.apply(effect.kind, effect.message, effect.victim, effect.killer, lines_, text);
    return effect;
}

run_results full_count::state::results(std::string_view log, std::uint64_t lines,
                                       std::uint64_t uncounted, round_list list) const {
    run_results results;
    results.log = std::string(log);
    results.rules = rule_set::full;
    results.lines = lines;
    results.round_ends = round_ends;
    results.uncounted_obituaries = uncounted;
    results.players.reserve(players);
    for (std::size_t p = 0; p < players; ++p) {
        // The round being read is added to the totals only when it closes.
        counter_values counters = totals[p];
        add_counts(counters.data(), round[p].data(), counters.size());
        results.players.push_back({std::string(name_of(p)), counters});
    }
    std::size_t cells = 0;
    std::vector<std::array<std::int32_t, max_players>> kills(players);
    for (std::size_t k = 0; k < players; ++k) {
        kills[k] = killed[k];
        add_counts(kills[k].data(), killed_in_round[k].data(), players);
        cells += static_cast<std::size_t>(std::count_if(
            kills[k].begin(), kills[k].begin() + players, [](auto n) { return n != 0; }));
    }
    results.head_to_head.reserve(cells);
    for (std::size_t k = 0; k < players; ++k) {
        for (std::size_t v = 0; v < players; ++v) {
            if (kills[k][v] != 0) {
                results.head_to_head.add(static_cast<std::uint32_t>(k),
                                         static_cast<std::uint32_t>(v), kills[k][v]);
            }
        }
    }
    results.rounds = std::move(list);
    return results;
}

run_results full_count::finish(std::string_view log) {
    state& s = *state_;
    if (lines_ >= s.round_first_line) {
        s.close_round(lines_, false, {});
    }
    return s.results(log, lines_, uncounted_, std::move(s.rounds));
}

std::int32_t full_count::round_ends() const {
    return state_->round_ends;
}

std::uint64_t full_count::obituaries() const {
    const state& s = *state_;
    std::uint64_t victims = 0;
    for (std::size_t p = 0; p < s.players; ++p) {
        // The round being read is not in the totals yet.
        victims += static_cast<std::uint64_t>(s.totals[p][deaths]) +
                   static_cast<std::uint64_t>(s.totals[p][suicides]) +
                   static_cast<std::uint64_t>(s.round[p][deaths]) +
                   static_cast<std::uint64_t>(s.round[p][suicides]);
    }
    return victims;
}

run_results full_count::results_so_far(std::string_view log) const {
    const state& s = *state_;
    round_list list = s.rounds.shared_copy();
    if (lines_ >= s.round_first_line) {
        list.add_in_memory(s.round_to(lines_, false, {}));
    }
    return s.results(log, lines_, uncounted_, std::move(list));
}
