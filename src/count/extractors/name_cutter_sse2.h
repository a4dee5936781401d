// The name cutter's SSE2 path, for x86-64, where SSE2 is always there: the text is copied into
// a window of zeros, and each byte value the rules use is compared with it 16 bytes at a time
// to give its word of positions (name_cutter_masks.h does the rest).
#pragma once

#include "scan/cpu.h"

#if FRAGTALLY_X86_64

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "count/extractors/cut_rules.h"
#include "count/extractors/extractors.h"
#include "count/extractors/name_cutter_masks.h"

namespace sse2_cut {

using cut_masks::name_span;
using cut_masks::positions;
using cut_masks::slot_positions;
using cut_masks::window_size;

inline constexpr std::size_t chunk_size = 16;  // bytes in an SSE2 register

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
    return byte_positions(w.bytes.data(), byte);
}

// Where each of the rules' bytes is in the window, slot by slot; slot 0 ('?') is everywhere.
template <rule_bytes table, std::size_t... b>
slot_positions<table.count + 1> where_each(const window& w, std::index_sequence<b...>) {
    return {~positions{0}, where(w, table.bytes[b])...};
}

template <rule_bytes table>
slot_positions<table.count + 1> where_each(const window& w) {
    return where_each<table>(w, std::make_index_sequence<table.count>{});
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
    result.curname = stored(w, cut_masks::first_name<rules.first_end>(w.size, at));
    return result;
}

// The text must be at most window_size bytes.
template <two_name_rules rules>
stats_t cut_two_names(std::string_view text) {
    window w = load(text);
    auto at = where_each<rules.bytes>(w);
    stats_t result;
    result.vicname = stored(w, cut_masks::first_name<rules.first_end>(w.size, at));
    result.aggname = stored(w, cut_masks::second_name<rules>(w.size, at));
    return result;
}

}  // namespace sse2_cut

#endif
