// What the name cutter's vector paths share: the search for the patterns in words of positions.
//
// Where each name ends is anybody's guess, so a byte-by-byte search mispredicts a branch at
// every name end. Instead the first window_size bytes of the text become one 64-bit word per
// byte value the rules use, bit k telling whether byte k is that value; how is up to each path
// (name_cutter_sse2.h, name_cutter_avx512.h). A pattern matches where all its bytes do: the AND
// of those words, each shifted down by the byte's place in the pattern, kept to the positions
// where the whole pattern lies inside the text (so that whatever a path puts after the text
// never makes a match). The lowest bit left is the first match. Lines are shorter than the
// window; name_cutter.h hands longer texts to the portable path.
//
// Nothing here needs more than the base instruction set, so the functions can be inlined into
// a path compiled for more.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "count/extractors/cut_rules.h"
#include "count/game_limits.h"
#include "scan/byte_bits.h"

namespace cut_masks {

inline constexpr std::size_t window_size = 64;  // one bit per byte of a std::uint64_t

using positions = std::uint64_t;  // bit k for byte k of the text

static_assert(window_size == 64, "a window is what low_bits and byte_positions cover");

// Returns the first of the positions from `from` on and before `limit` (at most window_size);
// limit when there is none.
inline std::size_t first_of(positions found, std::size_t from, std::size_t limit) {
    positions allowed = low_bits(limit) & ~low_bits(from);
    return std::min(static_cast<std::size_t>(std::countr_zero(found & allowed)), limit);
}

// Where each slot's byte is in the text; slot 0 ('?') is everywhere.
template <std::size_t slot_count>
using slot_positions = std::array<positions, slot_count>;

template <cut_pattern pattern, std::size_t slot_count, std::size_t... i>
positions matches(std::size_t size, const slot_positions<slot_count>& at,
                  std::index_sequence<i...>) {
    positions fits = pattern.length > size ? 0 : low_bits(size - pattern.length + 1);
    return (fits & ... & (at[pattern.slots[i]] >> i));
}

// Where the pattern matches and lies wholly inside the text of the given size.
template <cut_pattern pattern, std::size_t slot_count>
positions matches(std::size_t size, const slot_positions<slot_count>& at) {
    return matches<pattern>(size, at, std::make_index_sequence<pattern.length>{});
}

// Where a name lies in the text.
struct name_span {
    std::size_t begin;
    std::size_t length;
};

template <cut_pattern first_end, std::size_t slot_count>
name_span first_name(std::size_t size, const slot_positions<slot_count>& at) {
    // A mark at position max_name_length or later cannot shorten the name any further.
    std::size_t limit = std::min(size, max_name_length);
    return {0, first_of(matches<first_end>(size, at), 1, limit)};
}

template <two_name_rules rules, std::size_t slot_count>
name_span second_name(std::size_t size, const slot_positions<slot_count>& at) {
    // The first occurrence counts, even one inside the victim's name.
    std::size_t j = first_of(matches<rules.start>(size, at), 0, size);
    // The byte right after the pattern (a blank on a well-formed line) is skipped unseen.
    std::size_t begin = j + rules.start.length + 1;
    if (begin >= size) {
        return {0, 0};
    }
    std::size_t limit = std::min(size, begin + max_name_length);
    std::size_t end = first_of(matches<rules.second_end>(size, at), begin + 1, limit);
    if constexpr (rules.second_ends_at_line_feed) {
        end = first_of(at[rules.line_feed_slot], begin + 1, end);
    }
    return {begin, end - begin};
}

}  // namespace cut_masks
