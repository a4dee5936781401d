// A memo of lines already counted and what they did to the tables, so that a line seen again
// is counted without finding its phrases, cutting its names or looking them up: once every
// name of a line holds a slot, the line's effect depends on nothing but its bytes. A line seen
// again is only tallied; its effect is added to the tables, times the sightings, when the memo
// is settled.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// One kind of obituary a line was counted as (its index in obituary_kinds) and the slots it
// bumped; a one-name kind uses `victim` only.
struct fired_kind {
    std::uint8_t kind;
    std::int8_t victim;
    std::int8_t killer;
};

// Most kinds a remembered line may have been counted as; a line of more is not remembered.
inline constexpr std::size_t memo_kinds = 2;

// What a line did to the tables: the kinds it was counted as, in table order, with their slots.
struct line_effect {
    std::uint8_t count;
    std::array<fired_kind, memo_kinds> kinds;
};

// Longest line text, in bytes, that is remembered.
inline constexpr std::size_t memo_text_size = 56;

// A line's text as the memo holds it: in words, zero-filled past its length, and its place.
struct memo_key {
    std::array<std::uint64_t, memo_text_size / 8> words;
    std::size_t place;
    std::uint16_t tag;
    std::size_t length;  // 0 for a text the memo does not hold: empty, or too long
};

// Adds a remembered effect to the tables, `times` over, in the round being read.
using settle_function = void (*)(const line_effect& effect, std::uint32_t times);

// Forgets every line, and every sighting not settled; call it whenever the tables are emptied,
// as remembered slots refer to them.
void forget_lines();

// Returns the key of a text, which must be followed by memo_text_size readable bytes (as the
// scanner's lines are); they do not change the key.
inline memo_key key_of_line(std::string_view text);

// Starts loading what see_again will read for the key; changes nothing.
inline void prefetch_tags(const memo_key& key);
inline void prefetch_entry(const memo_key& key);

// Tallies one more sighting of the text of the key and returns true when the text is
// remembered; returns false and changes nothing otherwise.
inline bool see_again(const memo_key& key);

// Remembers the text's effect, in place of the line that shared its place, whose sightings are
// settled first. The caller must pass only an effect that the text would have again: no round
// end, every kind counted, every name holding a slot.
void remember_line(const memo_key& key, const line_effect& effect, settle_function settle);

// Settles every sighting tallied since the last settling: settle gets each remembered line's
// effect and its sightings. Call it before the round being read changes, and before the tables
// are read.
void settle_lines(settle_function settle);

// Sightings the memo can tally between two settlings; the caller settles before there are more.
inline constexpr std::uint64_t most_unsettled_sightings = std::uint64_t{1} << 31;

// For tests: when set, every text hashes alike, so different lines compete for one place.
void hash_lines_alike(bool alike);

// The memo's storage, for the functions above that the pass inlines.
namespace memo_detail {

inline constexpr std::size_t text_words = memo_text_size / 8;
static_assert(memo_text_size % 8 == 0);

// One remembered line in one cache line: its text and its effect.
struct alignas(64) memo_entry {
    std::array<std::uint64_t, text_words> words;
    std::uint8_t length;  // 0: empty
    line_effect effect;
};
static_assert(sizeof(memo_entry) == 64);

// Sets of four entries: a line may take any of its set's places, in place of the line seen
// longest ago; a key's place is its set's first.
inline constexpr unsigned memo_bits = 14;
inline constexpr std::size_t memo_size = std::size_t{1} << memo_bits;
inline constexpr std::size_t memo_ways = 4;
extern std::array<memo_entry, memo_size> memo;

// Sixteen more bits of each entry's hash, a set's in one word, in a table small enough to stay
// in the first-level cache: most lines not remembered are told from it without loading their
// entries.
extern std::array<std::uint64_t, memo_size / memo_ways> tags;

// Each set's ways from the one seen last to the one seen longest ago, two bits each.
extern std::array<std::uint8_t, memo_size / memo_ways> recency;

// Sightings of each entry's line not yet settled.
extern std::array<std::uint32_t, memo_size> sightings;

// The recency of a set after its way w is seen: w first, the others in their order.
using recency_table = std::array<std::array<std::uint8_t, memo_ways>, 256>;
constexpr recency_table make_seen_table() {
    recency_table table{};
    for (unsigned order = 0; order < 256; ++order) {
        for (unsigned w = 0; w < memo_ways; ++w) {
            unsigned next = w;
            unsigned kept = 1;
            for (unsigned at = 0; at < memo_ways; ++at) {
                unsigned way = (order >> (2 * at)) & 3;
                if (way != w && kept < memo_ways) {
                    next |= way << (2 * kept++);
                }
            }
            table[order][w] = static_cast<std::uint8_t>(next);
        }
    }
    return table;
}
inline constexpr recency_table after_seeing = make_seen_table();

// The order of a set no way of which was seen yet: ways 0, 1, 2, 3.
inline constexpr std::uint8_t first_recency = 0b11'10'01'00;

extern bool alike_hashes;

// memo_text_size bytes of ones, then as many zeros.
using text_mask_bytes = std::array<unsigned char, 2 * memo_text_size>;
constexpr text_mask_bytes make_text_mask() {
    text_mask_bytes mask{};
    for (std::size_t i = 0; i < mask.size(); ++i) {
        mask[i] = i < memo_text_size ? 0xFF : 0;
    }
    return mask;
}
inline constexpr text_mask_bytes text_mask = make_text_mask();

inline bool same_text(const memo_entry& entry, const memo_key& key) {
    // One test for all the words: which word differs does not matter.
    std::uint64_t differ = entry.length ^ key.length;
    for (std::size_t i = 0; i < text_words; ++i) {
        differ |= entry.words[i] ^ key.words[i];
    }
    return differ == 0;
}

}  // namespace memo_detail

inline memo_key key_of_line(std::string_view text) {
    using namespace memo_detail;
    memo_key key{};
    if (text.empty() || text.size() > memo_text_size) {
        return key;
    }
    key.length = text.size();
    // Whole words read past the text and cut back to it by a mask that slides over a row of
    // ones and zeros, with no branch on where the text ends.
    std::uint64_t folded = 0;
    const unsigned char* mask = text_mask.data() + memo_text_size - text.size();
    for (std::size_t i = 0; i < text_words; ++i) {
        std::uint64_t word = 0;
        std::uint64_t kept = 0;
        std::memcpy(&word, text.data() + 8 * i, 8);
        std::memcpy(&kept, mask + 8 * i, 8);
        word &= kept;
        key.words[i] = word;
        folded = ((folded << 23) | (folded >> 41)) ^ word;
    }
    std::uint64_t hash = alike_hashes ? 0 : folded * 0x9E3779B97F4A7C15u;
    key.place = static_cast<std::size_t>(hash >> (64 - memo_bits)) & ~(memo_ways - 1);
    key.tag = static_cast<std::uint16_t>(hash >> (64 - memo_bits - 16));
    return key;
}

namespace memo_detail {

// Returns the way of the key's set that holds its text, or memo_ways.
inline std::size_t way_of(const memo_key& key) {
    constexpr std::uint64_t lanes = 0x0001'0001'0001'0001;
    std::uint64_t differ = tags[key.place / memo_ways] ^ (key.tag * lanes);
    // A lane of zero is marked, and lanes above one may be marked too: the texts decide.
    std::uint64_t maybe = (differ - lanes) & ~differ & (lanes << 15);
    while (maybe != 0) {
        std::size_t way = static_cast<std::size_t>(std::countr_zero(maybe)) / 16;
        if (same_text(memo[key.place + way], key)) {
            return way;
        }
        maybe &= maybe - 1;
    }
    return memo_ways;
}

}  // namespace memo_detail

inline bool see_again(const memo_key& key) {
    using namespace memo_detail;
    // An empty entry has length 0, and so has a key the memo does not hold: they must not match.
    if (key.length == 0) {
        return false;
    }
    std::size_t way = way_of(key);
    if (way == memo_ways) {
        return false;
    }
    std::uint8_t& order = recency[key.place / memo_ways];
    order = after_seeing[order][way];
    ++sightings[key.place + way];
    return true;
}

inline void prefetch_tags(const memo_key& key) {
    __builtin_prefetch(&memo_detail::tags[key.place / memo_detail::memo_ways]);
}

inline void prefetch_entry(const memo_key& key) {
    using namespace memo_detail;
    constexpr std::uint64_t lanes = 0x0001'0001'0001'0001;
    std::uint64_t differ = tags[key.place / memo_ways] ^ (key.tag * lanes);
    std::uint64_t maybe = (differ - lanes) & ~differ & (lanes << 15);
    std::size_t way = static_cast<std::size_t>(std::countr_zero(maybe | (1ULL << 63))) / 16;
    __builtin_prefetch(&memo[key.place + (way & (memo_ways - 1))]);
}
