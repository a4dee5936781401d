// The name cutter's fast way, for x86-64, where SSE2 is always there.
//
// Where each name ends is anybody's guess, so a byte-by-byte search mispredicts a branch at
// every name end. Instead the first window_size bytes of the text become one 64-bit word per
// byte value the rules use, bit k telling whether byte k is that value. A pattern matches where
// all its bytes do: the AND of those words, each shifted down by the byte's place in the
// pattern, kept to the positions where the whole pattern lies inside the text (so that the
// zeros after the text never make a match). The lowest bit left is the first match. Lines are
// shorter than the window; name_cutter.h hands longer texts to the portable way.
#pragma once

#if defined(__x86_64__) || defined(_M_X64) || defined(__SSE2__)
#define FRAGTALLY_CUTTER_SSE2 1

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "extractors/cut_rules.h"
#include "extractors/extractors.h"

namespace sse2_cut {

inline constexpr std::size_t window_size = 64;  // one bit per byte of a std::uint64_t
inline constexpr std::size_t chunk_size = 16;   // bytes in an SSE2 register
inline constexpr std::size_t chunk_count = window_size / chunk_size;

using positions = std::uint64_t;  // bit k for byte k of the window

// The text's bytes, then zeros: room for a name of name_size bytes starting anywhere in the
// window to be copied in one piece.
struct window {
    alignas(chunk_size) std::array<char, window_size + 2 * chunk_size> bytes;  // see load
    std::size_t size = 0;
};
static_assert(sizeof(window::bytes) >= window_size + name_size);
static_assert(sizeof(window::bytes) % chunk_size == 0);

inline __m128i load_chunk(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void store_chunk(char* p, __m128i chunk) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), chunk);
}

// The text must be at most window_size bytes; it is copied, so nothing past it is read. The
// window is cleared and filled with a few fixed-size stores: the compiler's own clearing and
// copying of a short variable length cost more than the rest of the cut.
inline window load(std::string_view text) {
    window w;
    for (std::size_t c = 0; c < sizeof(w.bytes) / chunk_size; ++c) {
        store_chunk(&w.bytes[c * chunk_size], _mm_setzero_si128());
    }
    std::size_t n = text.size();
    if (n >= chunk_size) {
        // Four chunks of the text, each wholly inside it, that together cover it: from 0, from
        // 16 or 32 unless they would run past the end, and the last 16 bytes. Overlaps copy
        // the same bytes twice.
        const char* from = text.data();
        std::size_t second = std::min(chunk_size, n - chunk_size);
        std::size_t third = std::min(2 * chunk_size, n - chunk_size);
        std::size_t last = n - chunk_size;
        store_chunk(&w.bytes[0], load_chunk(from));
        store_chunk(&w.bytes[second], load_chunk(from + second));
        store_chunk(&w.bytes[third], load_chunk(from + third));
        store_chunk(&w.bytes[last], load_chunk(from + last));
    } else {
        std::copy(text.begin(), text.end(), w.bytes.begin());
    }
    w.size = n;
    return w;
}

// Where the window holds the byte.
inline positions where(const window& w, char byte) {
    __m128i wanted = _mm_set1_epi8(byte);
    positions found = 0;
    for (std::size_t c = 0; c < chunk_count; ++c) {
        __m128i chunk = _mm_load_si128(reinterpret_cast<const __m128i*>(&w.bytes[c * chunk_size]));
        auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, wanted)));
        found |= positions{bits} << (c * chunk_size);
    }
    return found;
}

// Positions 0 to n - 1; all of them for n >= window_size.
inline positions below(std::size_t n) {
    return n >= window_size ? ~positions{0} : (positions{1} << n) - 1;
}

// Returns the first of the positions from `from` on and before `limit` (at most window_size);
// limit when there is none.
inline std::size_t first_of(positions found, std::size_t from, std::size_t limit) {
    positions allowed = below(limit) & ~below(from);
    return std::min(static_cast<std::size_t>(std::countr_zero(found & allowed)), limit);
}

// Where each slot's byte is in the window; slot 0 ('?') is everywhere.
template <std::size_t slot_count>
using slot_positions = std::array<positions, slot_count>;

template <rule_bytes table, std::size_t... b>
slot_positions<table.count + 1> where_each(const window& w, std::index_sequence<b...>) {
    return {~positions{0}, where(w, table.bytes[b])...};
}

template <rule_bytes table>
slot_positions<table.count + 1> where_each(const window& w) {
    return where_each<table>(w, std::make_index_sequence<table.count>{});
}

template <cut_pattern pattern, std::size_t slot_count, std::size_t... i>
positions matches(const window& w, const slot_positions<slot_count>& at,
                  std::index_sequence<i...>) {
    positions fits = pattern.length > w.size ? 0 : below(w.size - pattern.length + 1);
    return (fits & ... & (at[pattern.slots[i]] >> i));
}

// Where the pattern matches and lies wholly inside the text.
template <cut_pattern pattern, std::size_t slot_count>
positions matches(const window& w, const slot_positions<slot_count>& at) {
    return matches<pattern>(w, at, std::make_index_sequence<pattern.length>{});
}

// Where a name lies in the window.
struct name_span {
    std::size_t begin;
    std::size_t length;
};

template <cut_pattern first_end, std::size_t slot_count>
name_span first_name(const window& w, const slot_positions<slot_count>& at) {
    // A mark at position max_name_length or later cannot shorten the name any further.
    std::size_t limit = std::min(w.size, max_name_length);
    return {0, first_of(matches<first_end>(w, at), 1, limit)};
}

template <two_name_rules rules, std::size_t slot_count>
name_span second_name(const window& w, const slot_positions<slot_count>& at) {
    // The first occurrence counts, even one inside the victim's name.
    std::size_t j = first_of(matches<rules.start>(w, at), 0, w.size);
    // The byte right after the pattern (a blank on a well-formed line) is skipped unseen.
    std::size_t begin = j + rules.start.length + 1;
    if (begin >= w.size) {
        return {0, 0};
    }
    std::size_t limit = std::min(w.size, begin + max_name_length);
    std::size_t end = first_of(matches<rules.second_end>(w, at), begin + 1, limit);
    if constexpr (rules.second_ends_at_line_feed) {
        end = first_of(at[rules.line_feed_slot], begin + 1, end);
    }
    return {begin, end - begin};
}

// Returns the name as a record stores it: its bytes, then zeros. One fixed-size copy from the
// window and a mask, instead of a copy of the name's own length after clearing the slot.
inline std::array<char, name_size> stored(const window& w, name_span name) {
    // keep[name_size - length + i] is all ones for i < length and zero after.
    static constexpr auto keep = [] {
        std::array<unsigned char, 2 * name_size> ones_then_zeros{};
        std::fill_n(ones_then_zeros.begin(), name_size, static_cast<unsigned char>(0xff));
        return ones_then_zeros;
    }();
    const char* from = &w.bytes[name.begin];
    const unsigned char* mask = &keep[name_size - name.length];
    std::array<char, name_size> slot;
    for (std::size_t i = 0; i < name_size; ++i) {
        slot[i] = static_cast<char>(from[i] & mask[i]);
    }
    return slot;
}

// The text must be at most window_size bytes.
template <one_name_rules rules>
stats_t cut_one_name(std::string_view text) {
    window w = load(text);
    auto at = where_each<rules.bytes>(w);
    stats_t result;
    result.curname = stored(w, first_name<rules.first_end>(w, at));
    return result;
}

// The text must be at most window_size bytes.
template <two_name_rules rules>
stats_t cut_two_names(std::string_view text) {
    window w = load(text);
    auto at = where_each<rules.bytes>(w);
    stats_t result;
    result.vicname = stored(w, first_name<rules.first_end>(w, at));
    result.aggname = stored(w, second_name<rules>(w, at));
    return result;
}

}  // namespace sse2_cut

#endif
