#include "phrases.h"

#include <algorithm>
#include <bit>

#if defined(__x86_64__) || defined(_M_X64) || defined(__SSE2__)
#include <emmintrin.h>
#define FRAGTALLY_SSE2 1
#if defined(__GNUC__)
#include <immintrin.h>
#define FRAGTALLY_AVX2 1
#endif
#endif

namespace {

// Instead of one search per phrase, the line is scanned once for a few anchor words. A word is
// spotted by its first and last byte alone, which a vector scan tests for 16 or 32 positions at
// once; each phrase that holds the word is then compared in full around the spot. Most lines
// hold no spot at all, and an obituary holds one or two.
struct anchor {
    std::string_view word;
    phrase_set phrases;  // the phrases that hold the word
};

constexpr phrase_set ends_in_by = bit(ph_railed_by) | bit(ph_electrocuted_by) |
                                  bit(ph_gunned_down_by) | bit(ph_machinegunned_by) |
                                  bit(ph_melted_by) | bit(ph_pummeled_by);

// "ate" has no anchor: it is looked for only in the few lines that hold "rocket".
constexpr std::array<anchor, 8> anchors = {{
    {" by", ends_in_by},
    {"himself", bit(ph_melted_himself) | bit(ph_blew_himself_up)},
    {"rocket", bit(ph_rocket)},
    {"dodged", bit(ph_almost_dodged)},
    {"cratered", bit(ph_cratered)},
    {"wrong", bit(ph_wrong_place)},
    {"lava", bit(ph_into_lava)},
    {"fraglimit", bit(ph_fraglimit)},
}};

constexpr std::size_t reach(const anchor& a) {
    return a.word.size() - 1;
}

// Where each phrase's anchor word begins within the phrase.
constexpr std::array<std::size_t, phrase_count> anchor_offset = [] {
    std::array<std::size_t, phrase_count> offset{};
    for (const anchor& a : anchors) {
        for (unsigned p = 0; p < phrase_count; ++p) {
            if ((a.phrases & bit(static_cast<phrase>(p))) != 0) {
                offset[p] = phrase_text[p].find(a.word);
            }
        }
    }
    return offset;
}();

constexpr bool every_phrase_anchored_once() {
    phrase_set seen = 0;
    for (const anchor& a : anchors) {
        if ((seen & a.phrases) != 0 || a.word.size() < 2) {
            return false;
        }
        seen |= a.phrases;
    }
    for (unsigned p = 0; p < phrase_count; ++p) {
        bool anchored = (seen & bit(static_cast<phrase>(p))) != 0;
        if (anchored != (p != ph_ate) || (anchored && anchor_offset[p] == std::string_view::npos)) {
            return false;
        }
    }
    return true;
}
static_assert(every_phrase_anchored_once());

constexpr std::size_t longest_reach = [] {
    std::size_t longest = 0;
    for (const anchor& a : anchors) {
        longest = std::max(longest, reach(a));
    }
    return longest;
}();
static_assert(32 + longest_reach <= phrase_scan_overread);

// For the portable scan: the anchors whose word begins with each byte value.
constexpr std::array<std::uint8_t, 256> anchors_starting_with = [] {
    static_assert(anchors.size() <= 8);
    std::array<std::uint8_t, 256> starting{};
    for (std::size_t a = 0; a < anchors.size(); ++a) {
        starting[static_cast<unsigned char>(anchors[a].word.front())] |=
            static_cast<std::uint8_t>(1u << a);
    }
    return starting;
}();

// Where an anchor is shared, one byte at a fixed distance from the spot tells its phrases
// apart, so a spot needs one full comparison at most. The byte lies inside every phrase of
// the anchor, so a spot too near either end of the text for it cannot hold any of them.
struct telling_byte {
    int distance = 0;                        // from the first byte of the anchor's word
    std::array<std::uint8_t, 256> phrase{};  // 1 + the phrase with this byte there; 0: none
};

constexpr bool tells_apart(const anchor& a, int distance) {
    std::array<bool, 256> taken{};
    for (unsigned p = 0; p < phrase_count; ++p) {
        if ((a.phrases & bit(static_cast<phrase>(p))) == 0) {
            continue;
        }
        int in_phrase = static_cast<int>(anchor_offset[p]) + distance;
        if (in_phrase < 0 || in_phrase >= static_cast<int>(phrase_text[p].size())) {
            return false;
        }
        auto byte = static_cast<unsigned char>(phrase_text[p][static_cast<std::size_t>(in_phrase)]);
        if (taken[byte]) {
            return false;
        }
        taken[byte] = true;
    }
    return true;
}

constexpr std::array<telling_byte, anchors.size()> telling_bytes = [] {
    std::array<telling_byte, anchors.size()> tells{};
    for (std::size_t a = 0; a < anchors.size(); ++a) {
        int distance = 0;
        while (!tells_apart(anchors[a], distance)) {
            // Nearest first: 0, -1, 1, -2, 2, ...; the phrases differ, so this ends.
            distance = distance <= 0 ? 1 - distance : -distance;
        }
        tells[a].distance = distance;
        for (unsigned p = 0; p < phrase_count; ++p) {
            if ((anchors[a].phrases & bit(static_cast<phrase>(p))) != 0) {
                // In range: tells_apart accepted this distance for every phrase of the anchor.
                int in_phrase = static_cast<int>(anchor_offset[p]) + distance;
                auto byte = phrase_text[p][static_cast<std::size_t>(in_phrase)];
                tells[a].phrase[static_cast<unsigned char>(byte)] =
                    static_cast<std::uint8_t>(p + 1);
            }
        }
    }
    return tells;
}();

// Returns the phrase of anchor a that lies wholly inside the text around the spot where the
// anchor's word would begin at position `at`, if there is one.
phrase_set confirm(std::string_view text, std::size_t at, std::size_t a) {
    const telling_byte& tell = telling_bytes[a];
    auto where = static_cast<std::ptrdiff_t>(at) + tell.distance;
    if (where < 0 || where >= static_cast<std::ptrdiff_t>(text.size())) {
        return 0;
    }
    unsigned entry = tell.phrase[static_cast<unsigned char>(text[static_cast<std::size_t>(where)])];
    if (entry == 0) {
        return 0;
    }
    unsigned p = entry - 1;
    std::size_t offset = anchor_offset[p];
    std::string_view want = phrase_text[p];
    if (at < offset || at - offset + want.size() > text.size()) {
        return 0;
    }
    const char* start = text.data() + (at - offset);
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (start[i] != want[i]) {
            return 0;
        }
    }
    return bit(static_cast<phrase>(p));
}

// Positions from `from` to the end of the text, one byte at a time.
phrase_set scan_portable(std::string_view text, std::size_t from) {
    phrase_set found = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        unsigned candidates = anchors_starting_with[static_cast<unsigned char>(text[i])];
        for (; candidates != 0; candidates &= candidates - 1) {
            auto a = static_cast<std::size_t>(std::countr_zero(candidates));
            std::size_t last = i + reach(anchors[a]);
            if (last < text.size() && text[last] == anchors[a].word.back()) {
                found |= confirm(text, i, a);
            }
        }
    }
    return found;
}

// Bits of the positions i + k with k < width that lie before `end`.
unsigned positions_before(std::size_t i, std::size_t end, std::size_t width) {
    std::size_t left = end - i;
    return left >= width ? ~0u >> (32 - width) : (1u << left) - 1;
}

// Confirms the spots of anchor a in a vector step at position i: bit k for position i + k.
phrase_set confirm_spots(std::string_view text, std::size_t i, std::size_t a, unsigned spots) {
    phrase_set found = 0;
    for (; spots != 0; spots &= spots - 1) {
        found |= confirm(text, i + static_cast<unsigned>(std::countr_zero(spots)), a);
    }
    return found;
}

// Each anchor's first and last byte, repeated across a vector.
using byte_row = std::array<char, 32>;
struct alignas(32) anchor_rows {
    std::array<byte_row, anchors.size()> first;
    std::array<byte_row, anchors.size()> last;
};
constexpr anchor_rows rows = [] {
    anchor_rows r{};
    for (std::size_t a = 0; a < anchors.size(); ++a) {
        r.first[a].fill(anchors[a].word.front());
        r.last[a].fill(anchors[a].word.back());
    }
    return r;
}();

#if FRAGTALLY_SSE2

__m128i load16(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Where anchor a sits in the 16 positions from `at`: all ones at each spot.
__m128i spots16(const char* at, std::size_t a) {
    __m128i first = _mm_cmpeq_epi8(load16(at), load16(rows.first[a].data()));
    __m128i last = _mm_cmpeq_epi8(load16(at + reach(anchors[a])), load16(rows.last[a].data()));
    return _mm_and_si128(first, last);
}

// The vector scans test `width` positions per step and stop before `end`, reading up to
// width - 1 + longest_reach bytes past it. A step without a spot, the usual case, costs two
// comparisons per anchor and one test; a step with one is looked at again anchor by anchor.
phrase_set scan_sse2(std::string_view text, std::size_t end) {
    constexpr std::size_t width = 16;
    phrase_set found = 0;
    for (std::size_t i = 0; i < end; i += width) {
        const char* at = text.data() + i;
        __m128i any = _mm_setzero_si128();
        for (std::size_t a = 0; a < anchors.size(); ++a) {
            any = _mm_or_si128(any, spots16(at, a));
        }
        unsigned valid = positions_before(i, end, width);
        if ((static_cast<unsigned>(_mm_movemask_epi8(any)) & valid) != 0) {
            for (std::size_t a = 0; a < anchors.size(); ++a) {
                unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(spots16(at, a))) & valid;
                found |= confirm_spots(text, i, a, mask);
            }
        }
    }
    return found;
}

#endif

#if FRAGTALLY_AVX2

__attribute__((target("avx2"))) __m256i load32(const char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) __m256i spots32(const char* at, std::size_t a) {
    __m256i first = _mm256_cmpeq_epi8(load32(at), load32(rows.first[a].data()));
    __m256i last = _mm256_cmpeq_epi8(load32(at + reach(anchors[a])), load32(rows.last[a].data()));
    return _mm256_and_si256(first, last);
}

__attribute__((target("avx2"))) phrase_set scan_avx2(std::string_view text, std::size_t end) {
    constexpr std::size_t width = 32;
    phrase_set found = 0;
    for (std::size_t i = 0; i < end; i += width) {
        const char* at = text.data() + i;
        __m256i any = _mm256_setzero_si256();
        for (std::size_t a = 0; a < anchors.size(); ++a) {
            any = _mm256_or_si256(any, spots32(at, a));
        }
        unsigned valid = positions_before(i, end, width);
        if ((static_cast<unsigned>(_mm256_movemask_epi8(any)) & valid) != 0) {
            for (std::size_t a = 0; a < anchors.size(); ++a) {
                unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(spots32(at, a))) & valid;
                found |= confirm_spots(text, i, a, mask);
            }
        }
    }
    return found;
}

#endif

// How far a vector scan of `width` positions per step may go without reading past the text:
// a whole number of steps, the rest being left to the portable scan.
std::size_t safe_vector_end(std::string_view text, std::size_t width) {
    if (text.size() < width + longest_reach) {
        return 0;
    }
    return (text.size() - longest_reach) / width * width;
}

phrase_set scan(phrase_scanner scanner, std::string_view text, bool padded) {
    switch (scanner) {
#if FRAGTALLY_SSE2
        case phrase_scanner::sse2:
            if (padded) {
                return scan_sse2(text, text.size());
            } else {
                std::size_t end = safe_vector_end(text, 16);
                return scan_sse2(text, end) | scan_portable(text, end);
            }
#endif
#if FRAGTALLY_AVX2
        case phrase_scanner::avx2:
            if (padded) {
                return scan_avx2(text, text.size());
            } else {
                std::size_t end = safe_vector_end(text, 32);
                return scan_avx2(text, end) | scan_portable(text, end);
            }
#endif
        default:
            return scan_portable(text, 0);
    }
}

const phrase_scanner best = [] {
    for (phrase_scanner s : {phrase_scanner::avx2, phrase_scanner::sse2}) {
        if (scanner_available(s)) {
            return s;
        }
    }
    return phrase_scanner::portable;
}();

}  // namespace

bool scanner_available(phrase_scanner scanner) {
    switch (scanner) {
        case phrase_scanner::portable:
            return true;
        case phrase_scanner::sse2:
#if FRAGTALLY_SSE2
            return true;
#else
            return false;
#endif
        case phrase_scanner::avx2:
#if FRAGTALLY_AVX2
            // Also called before main, when the CPU may not have been examined yet.
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") != 0;
#else
            return false;
#endif
    }
    return false;
}

phrase_scanner fastest_scanner() {
    return best;
}

phrase_set find_phrases_with(phrase_scanner scanner, std::string_view text, bool padded) {
    phrase_set found = scan(scanner, text, padded);
    if ((found & bit(ph_rocket)) != 0 && text.find(phrase_text[ph_ate]) != std::string_view::npos) {
        found |= bit(ph_ate);
    }
    return found;
}

phrase_set find_phrases(std::string_view text) {
    return find_phrases_with(best, text, false);
}

phrase_set find_phrases_in_buffer(std::string_view text) {
    return find_phrases_with(best, text, true);
}
