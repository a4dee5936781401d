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
#include <limits>
#include <span>
#include <string_view>

#include "count/game_limits.h"
#include "scan/cpu.h"

#if FRAGTALLY_X86_64
#include <immintrin.h>
#endif

// One kind of obituary a line was counted as (its index in obituary_kinds) and the slots it
// bumped; a one-name kind uses `victim` only.
struct fired_kind {
    std::uint8_t kind;
    std::int8_t victim;
    std::int8_t killer;
};
static_assert(max_players - 1 <= std::numeric_limits<std::int8_t>::max(),
              "a remembered slot must fit its field");

// Most kinds a remembered line may have been counted as; a line of more is not remembered.
inline constexpr std::size_t memo_kinds = 2;

// What a line did to the tables: the kinds it was counted as, in table order, with their slots.
struct line_effect {
    std::uint8_t count;
    std::array<fired_kind, memo_kinds> kinds;
};

// Longest line text, in bytes, that is remembered.
inline constexpr std::size_t memo_text_size = 56;

// Bytes that must be readable after a line's text for the memo, whatever its length.
inline constexpr std::size_t memo_reads_after_text = 64;

// Where the memo looks for a line: its text, its set and the tag that tells it from the others
// of its set most of the time.
struct memo_key {
    const char* text;
    std::size_t length;  // 0 for a text the memo does not hold: empty, or too long
    std::size_t set;
    std::uint16_t tag;
};

// A remembered line's effect and the sightings of it not yet settled.
struct line_tally {
    line_effect effect;
    std::uint32_t times;
};

// Forgets every line, and every sighting not settled. run_pass calls it when a pass starts, as
// remembered slots refer to the tables the pass before counted into; nothing else does.
void forget_lines();

// Forgets every line, as forget_lines does, and hands the memo's 2 MiB back to the system
// (on Linux; elsewhere it only forgets): for a run that has work left after its pass that
// needs memory of its own, the history's recording. The next line remembered brings the memo
// into memory again.
void give_back_lines();

// Returns the key of a text, which must be followed by memo_reads_after_text readable bytes (as
// the scanner's lines are) and stay unchanged while the key is used; those bytes do not change
// the key.
inline memo_key key_of_line(std::string_view text);

// Tells whether the first `length` bytes (below 64) of a remembered text and of `text` are the
// same; a function of this type is passed to see_known_lines, one for each CPU path.
using text_comparer = bool (*)(const char* remembered, const char* text, std::size_t length);

// The text comparers: one for any CPU, one 16 bytes at a time for x86-64, and one for the
// AVX-512 path, which only a function compiled for it may take.
inline bool same_text_portable(const char* remembered, const char* text, std::size_t length);
#if FRAGTALLY_X86_64
inline bool same_text_sse2(const char* remembered, const char* text, std::size_t length);
[[gnu::target("avx512bw,avx512vl,bmi2")]] inline bool same_text_avx512(const char* remembered,
                                                                       const char* text,
                                                                       std::size_t length);
#endif

// Most lines the memo is asked about at once.
inline constexpr std::size_t memo_batch = 16;

// A batch of lines as the memo looks them up: their keys' fields (kept apart: a key copied whole
// is written in pieces and read back in one, which the processor cannot forward from its
// stores) and the entries each may be in.
struct memo_lookup {
    std::array<const char*, memo_batch> texts;
    std::array<std::size_t, memo_batch> lengths;
    std::array<std::size_t, memo_batch> sets;
    std::array<std::uint16_t, memo_batch> tags;
    std::array<std::uint32_t, memo_batch> candidates;
    std::size_t size = 0;
};

// Makes the keys of `count` texts (at most memo_batch, each followed by memo_reads_after_text
// readable bytes) and starts loading their sets and then their entries, side by side: one
// line's wait for its entry would hold up the next. Changes nothing in the memo.
inline void look_up_lines(const std::string_view* texts, std::size_t count, memo_lookup& lookup);

// Tallies one more sighting of each line of the lookup from `from` on that the memo holds, in
// order, and returns the index of the first line it does not hold (lookup.size when there is
// none), which the caller examines and may remember before asking on from the line after it.
template <text_comparer same_text>
inline std::size_t see_known_lines(memo_lookup& lookup, std::size_t from);

// Remembers line i of the lookup with its effect, in place of an entry of its set not seen
// lately, and returns the sightings of the line pushed out, which the caller adds to the round
// being read (times 0: none). The caller must pass only an effect that the text would have
// again: no round end, every kind counted, every name holding a slot.
line_tally remember_line(memo_lookup& lookup, std::size_t i, const line_effect& effect);

// Room for the tallies that one step of a settling hands back.
inline constexpr std::size_t settled_block = 256;
inline constexpr std::size_t settled_room = settled_block + 7;

// A settling of every sighting under way, which the caller owns: a fresh one starts from the
// first set.
struct memo_settling {
    std::size_t next_set = 0;
    std::array<line_tally, settled_room> tallies;
};

// Hands back the next block of remembered lines' effects with their sightings since the last
// settling, in no particular order, and forgets those sightings; an empty block when the
// settling is done. The caller adds them to the round being read; it settles before the round
// being read changes, and before the tables are read.
std::span<const line_tally> settle_next(memo_settling& settling);

// Tells whether every sighting has been settled; for assertions, as it reads every set.
bool lines_settled();

// Sightings the memo can tally between two settlings (2^31); the caller settles before there
// are more.
std::uint64_t most_unsettled_sightings();

// For tests: makes most_unsettled_sightings() return `most` instead, or 2^31 again for 0.
void settle_more_often(std::uint64_t most);

// For tests: when set, every text hashes alike, so different lines compete for one set.
void hash_lines_alike(bool alike);

// The memo's storage, for the functions above that the pass inlines.
namespace memo_detail {

// One remembered line in one cache line: its text (the bytes after it are anybody's guess) and
// its effect.
struct alignas(64) memo_entry {
    std::array<char, memo_text_size> text;
    std::uint8_t length;  // 0: empty
    line_effect effect;
};
static_assert(sizeof(memo_entry) == 64);

// Sets of eight entries: a line may take any of its set's entries, in place of one not seen
// lately.
inline constexpr std::size_t memo_ways = 8;
inline constexpr unsigned set_bits = 12;
inline constexpr std::size_t memo_sets = std::size_t{1} << set_bits;
extern std::array<std::array<memo_entry, memo_ways>, memo_sets> memo;

// What a set's lines are told apart by, and counted in, without loading their entries: one
// cache line.
struct alignas(64) memo_set {
    std::array<std::uint64_t, 2> tags;  // each entry's tag, sixteen bits each, entry 0 lowest
    std::array<std::uint32_t, memo_ways> sightings;  // not yet settled
    // Bit w when entry w was seen since the bits were last cleared, which they are, but for the
    // entry seen last, when they would all be set: a new line takes an entry whose bit is clear.
    std::uint8_t seen_lately;
};
extern std::array<memo_set, memo_sets> sets;

// Marks entry `way` of a set as seen.
inline void mark_seen(memo_set& set, std::size_t way) {
    auto bit = static_cast<unsigned>(1u << way);
    unsigned seen = set.seen_lately | bit;
    set.seen_lately = static_cast<std::uint8_t>(seen == 0xFF ? bit : seen);
}

// The entry a new line of the set takes: the first not seen lately.
inline std::size_t entry_to_replace(const memo_set& set) {
    return static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(~set.seen_lately)));
}

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

inline std::uint64_t load_word(const void* at) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, 8);
    return word;
}

// The entries of a set whose tag is the key's, two bits (2w and 2w + 1 for entry w) each; on
// other than x86-64, entries after one that is may be marked too, as the texts decide anyway.
inline std::uint32_t tag_matches(const memo_set& set, std::uint16_t tag) {
#if FRAGTALLY_X86_64
    __m128i tags = _mm_load_si128(reinterpret_cast<const __m128i*>(set.tags.data()));
    __m128i same = _mm_cmpeq_epi16(tags, _mm_set1_epi16(static_cast<short>(tag)));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(same));
#else
    constexpr std::uint64_t lanes = 0x0001'0001'0001'0001;
    std::uint32_t matches = 0;
    for (std::size_t half = 0; half < 2; ++half) {
        std::uint64_t differ = set.tags[half] ^ (tag * lanes);
        std::uint64_t zero = (differ - lanes) & ~differ & (lanes << 15);
        for (unsigned lane = 0; lane < 4; ++lane) {
            matches |= static_cast<std::uint32_t>((zero >> (16 * lane + 15)) & 1)
                       << (2 * (4 * half + lane));
        }
    }
    return matches;
#endif
}

// Returns the entry of the key's set that holds its text, or memo_ways, given the entries
// whose tags match.
template <text_comparer same_text>
inline std::size_t way_of(const memo_key& key, std::uint32_t maybe) {
    while (maybe != 0) {
        std::size_t way = static_cast<std::size_t>(std::countr_zero(maybe)) / 2;
        const memo_entry& entry = memo[key.set][way];
        if (entry.length == key.length && same_text(entry.text.data(), key.text, key.length)) {
            return way;
        }
        maybe &= ~(3u << (2 * way));
    }
    return memo_ways;
}

// Starts loading the entry that a key's text is most likely in, and returns the entries whose
// tags match, which hold until a line of the same set is remembered.
inline std::uint32_t prefetch_entry(std::size_t set, std::uint16_t tag) {
    std::uint32_t maybe = tag_matches(sets[set], tag);
    std::size_t way = static_cast<std::size_t>(std::countr_zero(maybe | (1u << 31))) / 2;
    __builtin_prefetch(&memo[set][way % memo_ways]);
    return maybe;
}

}  // namespace memo_detail

inline memo_key key_of_line(std::string_view text) {
    using namespace memo_detail;
    memo_key key{text.data(), 0, 0, 0};
    if (text.empty() || text.size() > memo_text_size) {
        return key;
    }
    key.length = text.size();
    // The first sixteen bytes and the last sixteen, and the length: lines that differ only in
    // between share a set and a tag, and are told apart by their texts.
    const unsigned char* mask = text_mask.data() + memo_text_size - text.size();
    std::uint64_t first = load_word(text.data()) & load_word(mask);
    std::uint64_t second = load_word(text.data() + 8) & load_word(mask + 8);
    std::uint64_t last = first;
    std::uint64_t next_to_last = second;
    if (text.size() >= 16) {
        next_to_last = load_word(text.data() + text.size() - 16);
        last = load_word(text.data() + text.size() - 8);
    }
    std::uint64_t mixed =
        ((first ^ last) * 0x9E3779B97F4A7C15u) ^
        std::rotl((second ^ next_to_last ^ text.size()) * 0xC2B2AE3D27D4EB4Fu, 31);
    std::uint64_t hash = alike_hashes ? 0 : mixed * 0x165667B19E3779F9u;
    key.set = static_cast<std::size_t>(hash >> (64 - set_bits));
    key.tag = static_cast<std::uint16_t>(hash >> (64 - set_bits - 16));
    return key;
}

inline bool same_text_portable(const char* remembered, const char* text, std::size_t length) {
    return std::memcmp(remembered, text, length) == 0;
}

#if FRAGTALLY_X86_64
inline bool same_text_sse2(const char* remembered, const char* text, std::size_t length) {
    std::uint64_t same = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        __m128i ours = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16 * part));
        __m128i theirs = _mm_load_si128(reinterpret_cast<const __m128i*>(remembered) + part);
        auto equal = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(ours, theirs)));
        same |= std::uint64_t{equal} << (16 * part);
    }
    std::uint64_t wanted = (std::uint64_t{1} << length) - 1;
    return (same & wanted) == wanted;
}

inline bool same_text_avx512(const char* remembered, const char* text, std::size_t length) {
    __mmask64 wanted = _bzhi_u64(~std::uint64_t{0}, static_cast<unsigned>(length));
    __m512i ours = _mm512_maskz_loadu_epi8(wanted, text);
    __m512i theirs = _mm512_load_si512(remembered);
    return _mm512_mask_cmpneq_epi8_mask(wanted, ours, theirs) == 0;
}
#endif

inline void look_up_lines(const std::string_view* texts, std::size_t count, memo_lookup& lookup) {
    using namespace memo_detail;
    lookup.size = count;
    for (std::size_t i = 0; i < count; ++i) {
        memo_key key = key_of_line(texts[i]);
        __builtin_prefetch(&sets[key.set]);
        lookup.texts[i] = key.text;
        lookup.lengths[i] = key.length;
        lookup.sets[i] = key.set;
        lookup.tags[i] = key.tag;
    }
    for (std::size_t i = 0; i < count; ++i) {
        lookup.candidates[i] = prefetch_entry(lookup.sets[i], lookup.tags[i]);
    }
}

template <text_comparer same_text>
inline std::size_t see_known_lines(memo_lookup& lookup, std::size_t from) {
    using namespace memo_detail;
    std::size_t i = from;
    for (; i < lookup.size; ++i) {
        // An empty entry has length 0, and so has a text the memo does not hold: they must not
        // match.
        memo_key key{lookup.texts[i], lookup.lengths[i], lookup.sets[i], lookup.tags[i]};
        std::size_t way =
            key.length == 0 ? memo_ways : way_of<same_text>(key, lookup.candidates[i]);
        if (way == memo_ways) {
            break;
        }
        memo_set& set = sets[key.set];
        mark_seen(set, way);
        ++set.sightings[way];
    }
    return i;
}
