#include "count/tables.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <span>

namespace {

// The index works on names in the form a slot holds them, zero-terminated and zero-filled:
// equal names are then equal words, hashed and compared eight bytes at a time. A key is kept in
// words rather than bytes, as the lookup reads it straight after making it.
static_assert(name_size == 20);
static_assert(std::endian::native == std::endian::little, "a key's first byte is its lowest");

struct name_key {
    std::uint64_t head;  // bytes 0 to 7
    std::uint64_t body;  // bytes 8 to 15
    std::uint64_t tail;  // bytes 16 to 19
};

name_key words_of(const name_slot& bytes) {
    name_key key{};
    std::memcpy(&key.head, bytes.data(), 8);
    std::memcpy(&key.body, bytes.data() + 8, 8);
    std::uint32_t tail = 0;
    std::memcpy(&tail, bytes.data() + 16, 4);
    key.tail = tail;
    return key;
}

// Keeps the bytes of a word before its first zero byte (the lowest in memory order), or none
// when an earlier word held one already.
std::uint64_t before_zero(std::uint64_t word, bool& ended) {
    if (ended) {
        return 0;
    }
    // The lowest flagged byte is the first zero byte; flags above it may be false.
    std::uint64_t zeros = (word - 0x0101010101010101u) & ~word & 0x8080808080808080u;
    if (zeros == 0) {
        return word;
    }
    ended = true;
    auto kept_bits = static_cast<unsigned>(std::countr_zero(zeros)) / 8 * 8;
    return word & ((std::uint64_t{1} << kept_bits) - 1);
}

// The key of a field as the extractors fill it: its bytes before the first zero byte, at most
// max_name_length of them.
name_key key_of(const name_slot& field) {
    name_key key = words_of(field);
    key.tail &= 0x00FFFFFFu;  // byte 19 never belongs to a name
    bool ended = false;
    key.head = before_zero(key.head, ended);
    key.body = before_zero(key.body, ended);
    key.tail = before_zero(key.tail, ended);
    return key;
}

// A name given as text, in a field as the extractors fill it.
name_slot field_of(std::string_view player) {
    name_slot bytes{};
    std::copy_n(player.begin(), std::min(player.size(), max_name_length), bytes.begin());
    return bytes;
}

bool same_name(const name_slot& slot, const name_key& key) {
    name_key held = words_of(slot);
    return held.head == key.head && held.body == key.body && held.tail == key.tail;
}

// One multiplication, as a lookup waits for the hash: the three words are rotated apart and
// folded into one, and the top bits of its product, which every bit of the fold reaches, index.
std::size_t name_hash(const name_key& key) {
    std::uint64_t folded = key.head ^ std::rotl(key.body, 21) ^ std::rotl(key.tail, 42);
    return static_cast<std::size_t>((folded * 0x9E3779B97F4A7C15u) >> (64 - name_index_bits));
}

using name_index = std::array<std::int16_t, name_index_size>;

// Returns the index entry that holds the key's slot, or the empty entry where it would go.
std::size_t probe(const name_index& index, const std::array<name_slot, max_players>& names,
                  const name_key& key) {
    std::size_t i = name_hash(key) & (name_index_size - 1);
    while (index[i] >= 0 && !same_name(names[static_cast<std::size_t>(index[i])], key)) {
        i = (i + 1) & (name_index_size - 1);
    }
    return i;
}

void store_key(name_slot& text, const name_key& key) {
    std::memcpy(text.data(), &key.head, 8);
    std::memcpy(text.data() + 8, &key.body, 8);
    auto tail = static_cast<std::uint32_t>(key.tail);
    std::memcpy(text.data() + 16, &tail, 4);
}

}  // namespace

classic_tables::classic_tables() {
    for (auto& slot : name) {
        slot.fill('\0');
        std::memcpy(slot.data(), "NULL", 4);
    }
    for (auto& row : stats) {
        row.fill(0);
    }
    for (auto& row : who_killed_who) {
        row.fill(0);
    }
    slot_index_.fill(-1);
}

namespace {

// Adds one count to another, stopping at the largest count; both at least 0.
void add_counts(std::int32_t* to, const std::int32_t* from, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        auto sum = static_cast<std::uint32_t>(to[i]) + static_cast<std::uint32_t>(from[i]);
        to[i] = static_cast<std::int32_t>(
            std::min<std::uint32_t>(sum, std::numeric_limits<std::int32_t>::max()));
    }
}

}  // namespace

void classic_tables::total_up_rounds() {
    // Rounds past the last kept share it, so every count is in the closed rounds or the open one.
    stats = closed_sums_.stats;
    who_killed_who = closed_sums_.who_killed_who;
    add_counts(stats[0].data(), open_round.stats[0].data(), stats.size() * classic_counter_count);
    add_counts(who_killed_who[0].data(), open_round.who_killed_who[0].data(),
               who_killed_who.size() * max_players);
}

int classic_tables::round_count() const {
    // At the round-limit stop, rounds counts the round end that stopped the run too.
    int ended = std::min(static_cast<int>(rounds), max_rounds);
    bool lines_after =
        ended < max_rounds &&
        lines_read > (ended == 0 ? 0 : round_end_lines_[static_cast<std::size_t>(ended - 1)]);
    return ended + (lines_after ? 1 : 0);
}

round_span classic_tables::span_of_round(int r) const {
    auto k = static_cast<std::size_t>(r);
    std::uint64_t first = k == 0 ? 1 : round_end_lines_[k - 1] + 1;
    bool ended = r < rounds;
    return {first, ended ? round_end_lines_[k] : lines_read, ended};
}

int classic_tables::lookup_player(std::string_view player) const {
    return lookup_name(field_of(player));
}

int classic_tables::find_player(std::string_view player) {
    return find_name(field_of(player));
}

int classic_tables::lookup_name(const name_slot& field) const {
    return slot_index_[probe(slot_index_, name, key_of(field))];
}

int classic_tables::find_name(const name_slot& field) {
    name_key key = key_of(field);
    std::size_t entry = probe(slot_index_, name, key);
    if (slot_index_[entry] >= 0) {
        return slot_index_[entry];
    }
    if (player_count == max_players) {
        return no_slot;
    }
    int slot = player_count++;
    store_key(name[static_cast<std::size_t>(slot)], key);
    slot_index_[entry] = static_cast<std::int16_t>(slot);
    return slot;
}

namespace {

// The matrix over the first `players` slots, which are all a kill can name.
void copy_kills(kill_matrix& to,
                const std::array<std::array<std::int32_t, max_players>, max_players>& from,
                std::size_t players) {
    std::size_t cells = 0;
    for (std::size_t k = 0; k < players; ++k) {
        cells += static_cast<std::size_t>(
            std::count_if(from[k].begin(), from[k].begin() + static_cast<std::ptrdiff_t>(players),
                          [](std::int32_t n) { return n != 0; }));
    }
    to.reserve(cells);
    for (std::size_t k = 0; k < players; ++k) {
        for (std::size_t v = 0; v < players; ++v) {
            if (from[k][v] != 0) {
                to.add(static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(v), from[k][v]);
            }
        }
    }
}

// The counts of a round, kept dense, as the results hold them.
round_result result_of_round(const round_tally& tally, round_span span, std::size_t players) {
    round_result round(
        span.first_line, span.last_line, span.ended,
        span.ended ? std::string(tally.end_text.data(), tally.end_text_length) : std::string());
    std::size_t entries = 0;
    for (std::size_t p = 0; p < players; ++p) {
        entries += static_cast<std::size_t>(std::count_if(
            tally.stats[p].begin(), tally.stats[p].end(), [](std::int32_t n) { return n != 0; }));
    }
    round.reserve(entries);
    for (std::size_t p = 0; p < players; ++p) {
        for (std::size_t c = 0; c < tally.stats[p].size(); ++c) {
            if (tally.stats[p][c] != 0) {
                round.add_count(static_cast<std::uint32_t>(p), static_cast<counter>(c),
                                tally.stats[p][c]);
            }
        }
    }
    copy_kills(round.kills(), tally.who_killed_who, players);
    return round;
}

}  // namespace

void classic_tables::end_round(std::uint64_t line, std::string_view text) {
    if (rounds < max_rounds) {
        auto r = static_cast<std::size_t>(rounds);
        round_end_lines_[r] = line;
        open_round.end_line = line;
        open_round.end_text_length = std::min(text.size(), round_end_text_size);
        std::copy_n(text.begin(), open_round.end_text_length, open_round.end_text.begin());
    }
    int ended = rounds++;
    if (ended < max_rounds - 1) {
        // Only the claimed slots can hold counts, so only their rows and cells are cleared.
        auto players = static_cast<std::size_t>(player_count);
        closed_rounds_.push_back(result_of_round(open_round, span_of_round(ended), players));
        for (std::size_t p = 0; p < players; ++p) {
            add_counts(closed_sums_.stats[p].data(), open_round.stats[p].data(),
                       classic_counter_count);
            add_counts(closed_sums_.who_killed_who[p].data(), open_round.who_killed_who[p].data(),
                       players);
            open_round.stats[p].fill(0);
            std::fill_n(open_round.who_killed_who[p].begin(), players, 0);
        }
    }
}

void classic_tables::spill_rounds_to(std::FILE* stream) {
    closed_rounds_.spill_to(stream);
}

std::uint64_t classic_tables::obituaries_counted() const {
    // Every classic obituary bumps at least one of its players' counters, or is left uncounted.
    std::uint64_t counted = uncounted_obituaries;
    for (std::size_t p = 0; p < static_cast<std::size_t>(player_count); ++p) {
        for (std::int32_t count : stats[p]) {
            counted += static_cast<std::uint64_t>(count);
        }
    }
    return counted;
}

run_results results_of_pass(const classic_tables& tables, std::string_view log) {
    run_results results;
    results.log = std::string(log);
    results.lines = tables.lines_read;
    results.round_ends = tables.rounds;
    results.stopped_at_round_limit = tables.stopped_at_round_limit;
    results.uncounted_obituaries = tables.uncounted_obituaries;
    auto players = static_cast<std::size_t>(tables.player_count);
    results.players.reserve(players);
    for (std::size_t p = 0; p < players; ++p) {
        player_result& player = results.players.emplace_back();
        player.name = std::string(name_text(tables.name[p]));
        std::copy(tables.stats[p].begin(), tables.stats[p].end(), player.counters.begin());
    }
    copy_kills(results.head_to_head, tables.who_killed_who, players);
    // The closed rounds stay with the tables, so that a run that follows a growing log can take
    // results again later; the copy reads the same temporary file.
    results.rounds = tables.closed_rounds_so_far();
    auto closed = static_cast<int>(results.rounds.size());
    if (tables.round_count() > closed) {
        results.rounds.add_in_memory(
            result_of_round(tables.open_round, tables.span_of_round(closed), players));
    }
    return results;
}
