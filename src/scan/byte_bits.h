// Maps of 64 bytes in one 64-bit word, bit k for byte k, as the scanner, the phrase search and
// the name cutter use them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scan/cpu.h"

#if FRAGTALLY_X86_64
#include <emmintrin.h>
#endif

// Bits 0 to n - 1 set, all 64 for n >= 64.
constexpr std::uint64_t low_bits(std::size_t n) {
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

#if FRAGTALLY_X86_64

// Returns where the 64 bytes from `at` hold the byte, 16 at a time with SSE2.
inline std::uint64_t byte_positions(const char* at, char byte) {
    __m128i wanted = _mm_set1_epi8(byte);
    std::uint64_t found = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * part));
        auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
        found |= std::uint64_t{mask} << (16 * part);
    }
    return found;
}

#endif
