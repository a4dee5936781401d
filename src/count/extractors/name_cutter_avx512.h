// The name cutter's AVX-512 path. Its functions are compiled for AVX-512 (BW and VL) and BMI2
// alone, whatever the rest of the program is compiled for, and run only on a CPU that has them
// (cpu_has tells).
//
// A load masked to the text's size brings the whole text into one register without reading
// past it and without a copy; one comparison with a byte gives that byte's word of positions
// (name_cutter_masks.h does the rest); and a load masked to a name's length, from its first
// byte, gives the name followed by zeros, as a record stores it.
#pragma once

#include "scan/cpu.h"

#if FRAGTALLY_X86_64

#include <immintrin.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>

#include "count/extractors/cut_rules.h"
#include "count/extractors/extractors.h"
#include "count/extractors/name_cutter_masks.h"

// BMI2 is there for the shifts of the words of positions, which it does with fewer steps.
#define FRAGTALLY_AVX512_CUT __attribute__((target("avx512bw,avx512vl,bmi2")))
// A cut's whole search is inlined into it, so that the words of positions stay in registers
// and the search too is compiled for those instruction sets.
#define FRAGTALLY_AVX512_CUT_ALL __attribute__((target("avx512bw,avx512vl,bmi2"), flatten))

namespace avx512_cut {

using cut_masks::name_span;
using cut_masks::positions;
using cut_masks::slot_positions;
using cut_masks::window_size;

// The text must be at most window_size bytes; the bytes after it are zeros.
FRAGTALLY_AVX512_CUT inline __m512i load(std::string_view text) {
    return _mm512_maskz_loadu_epi8(low_bits(text.size()), text.data());
}

// Where each of the rules' bytes is in the text, slot by slot; slot 0 ('?') is everywhere.
template <rule_bytes table, std::size_t... b>
FRAGTALLY_AVX512_CUT slot_positions<table.count + 1> where_each(__m512i text,
                                                                std::index_sequence<b...>) {
    return {~positions{0}, _mm512_cmpeq_epi8_mask(text, _mm512_set1_epi8(table.bytes[b]))...};
}

template <rule_bytes table>
FRAGTALLY_AVX512_CUT slot_positions<table.count + 1> where_each(__m512i text) {
    return where_each<table>(text, std::make_index_sequence<table.count>{});
}

// Stores the name in the record's field as a record holds it: its bytes, then zeros. Reads
// only the name's bytes. The field is written with plain stores of 16 and 4 bytes, not a
// masked one: the name is looked up by loading its words straight after, and a load is
// forwarded from a plain store but waits for a masked one to reach the cache.
FRAGTALLY_AVX512_CUT inline void store(std::array<char, name_size>& field, std::string_view text,
                                       name_span name) {
    static_assert(name_size == 16 + 4);
    auto name_bytes = static_cast<__mmask32>(low_bits(name.length));
    __m256i bytes = _mm256_maskz_loadu_epi8(name_bytes, text.data() + name.begin);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(field.data()), _mm256_castsi256_si128(bytes));
    auto tail = static_cast<std::uint32_t>(_mm256_extract_epi32(bytes, 4));
    std::memcpy(field.data() + 16, &tail, sizeof tail);
}

// The text must be at most window_size bytes.
template <one_name_rules rules>
FRAGTALLY_AVX512_CUT_ALL stats_t cut_one_name(std::string_view text) {
    auto at = where_each<rules.bytes>(load(text));
    stats_t result;
    store(result.curname, text, cut_masks::first_name<rules.first_end>(text.size(), at));
    return result;
}

// The text must be at most window_size bytes.
template <two_name_rules rules>
FRAGTALLY_AVX512_CUT_ALL stats_t cut_two_names(std::string_view text) {
    auto at = where_each<rules.bytes>(load(text));
    stats_t result;
    store(result.vicname, text, cut_masks::first_name<rules.first_end>(text.size(), at));
    store(result.aggname, text, cut_masks::second_name<rules>(text.size(), at));
    return result;
}

}  // namespace avx512_cut

#endif
