#include "phrases.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "byte_bits.h"

#if defined(__x86_64__) || defined(_M_X64) || defined(__SSE2__)
#include <emmintrin.h>
#define FRAGTALLY_SSE2 1
#if defined(__GNUC__)
// AVX2 and AVX-512 code is compiled for its own functions only and run after a CPU check.
#include <immintrin.h>
#define FRAGTALLY_AVX2 1
#endif
#endif

namespace {

// Instead of one search per phrase, the text is swept once for a few anchor words. A word is
// spotted by two or three of its bytes alone, which a vector scan tests for 16, 32 or 64
// positions at once; the phrase that holds the word there is then compared in full around the
// spot. Most lines hold no spot at all, and an obituary holds one or two.
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
static_assert(63 + longest_reach < phrase_scan_overread);

// Each anchor's word begins with a byte of its own, so a spot's first byte names its anchor;
// no_anchor stands for every other byte.
constexpr std::size_t no_anchor = anchors.size();

constexpr std::array<std::uint8_t, 256> anchor_starting_with = [] {
    std::array<std::uint8_t, 256> starting{};
    starting.fill(static_cast<std::uint8_t>(no_anchor));
    for (std::size_t a = 0; a < anchors.size(); ++a) {
        starting[static_cast<unsigned char>(anchors[a].word.front())] =
            static_cast<std::uint8_t>(a);
    }
    return starting;
}();

constexpr bool first_bytes_differ() {
    for (std::size_t a = 0; a < anchors.size(); ++a) {
        if (anchor_starting_with[static_cast<unsigned char>(anchors[a].word.front())] != a) {
            return false;
        }
    }
    return true;
}
static_assert(first_bytes_differ());

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

// One per anchor, and a last one for no_anchor that tells no phrase.
constexpr std::array<telling_byte, anchors.size() + 1> telling_bytes = [] {
    std::array<telling_byte, anchors.size() + 1> tells{};
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

// A phrase is compared as a fixed number of 4-byte words that together cover it, the last
// ones overlapping the others, so that every phrase takes the same steps: no branch on its
// length, and no read outside it. 4 bytes, since "rocket" is 6; 5 words cover 20 bytes.
constexpr std::size_t word_size = 4;
constexpr std::size_t words_per_phrase = 5;

struct phrase_words {
    std::size_t before = 0;  // bytes of the phrase before its anchor word
    std::size_t after = 0;   // bytes from the anchor word's first to the phrase's end
    std::array<std::size_t, words_per_phrase> at{};      // where each word begins in the phrase
    std::array<std::uint32_t, words_per_phrase> word{};  // the phrase's bytes there
};

constexpr std::array<phrase_words, phrase_count> words_of_phrase = [] {
    std::array<phrase_words, phrase_count> words{};
    for (unsigned p = 0; p < phrase_count; ++p) {
        if (p == ph_ate) {
            continue;  // not anchored
        }
        std::string_view text = phrase_text[p];
        words[p].before = anchor_offset[p];
        words[p].after = text.size() - anchor_offset[p];
        for (std::size_t k = 0; k < words_per_phrase; ++k) {
            std::size_t at = std::min(k * word_size, text.size() - word_size);
            std::array<char, word_size> bytes{};
            std::copy_n(text.begin() + static_cast<std::ptrdiff_t>(at), word_size, bytes.begin());
            words[p].at[k] = at;
            words[p].word[k] = std::bit_cast<std::uint32_t>(bytes);
        }
    }
    return words;
}();

constexpr bool words_cover_phrases() {
    for (unsigned p = 0; p < phrase_count; ++p) {
        std::size_t size = phrase_text[p].size();
        if (p != ph_ate && (size < word_size || size > word_size * words_per_phrase)) {
            return false;
        }
    }
    return true;
}
static_assert(words_cover_phrases());

std::uint32_t load_word(const char* p) {
    std::uint32_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Returns the phrase whose anchor word begins at position i of the text, if the phrase lies
// there wholly inside the text.
phrase_set confirm_position(std::string_view text, std::size_t i) {
    const telling_byte& tell =
        telling_bytes[anchor_starting_with[static_cast<unsigned char>(text[i])]];
    // Below 0 wraps round to above the text's size.
    std::size_t where = i + static_cast<std::size_t>(tell.distance);
    if (where >= text.size()) {
        return 0;
    }
    unsigned entry = tell.phrase[static_cast<unsigned char>(text[where])];
    if (entry == 0) {
        return 0;
    }
    const phrase_words& want = words_of_phrase[entry - 1];
    if (i < want.before || i + want.after > text.size()) {
        return 0;
    }
    const char* at = text.data() + (i - want.before);
    std::uint32_t differ = 0;
    for (std::size_t k = 0; k < words_per_phrase; ++k) {
        differ |= load_word(at + want.at[k]) ^ want.word[k];
    }
    return differ == 0 ? bit(static_cast<phrase>(entry - 1)) : 0;
}

// Returns the phrases at the spots: bit k for position from + k of the text.
phrase_set confirm_spots(std::string_view text, std::size_t from, std::uint64_t spots) {
    phrase_set found = 0;
    for (; spots != 0; spots &= spots - 1) {
        found |= confirm_position(text, from + static_cast<unsigned>(std::countr_zero(spots)));
    }
    return found;
}

// Each kind of scanner gives the spots of the 64 positions from `at`: bit k when some anchor's
// first byte is at at[k] and some more of its bytes where they belong (its last byte for the
// portable and SSE2 scanners, the bytes at tested_at for AVX2 and AVX-512). They read up to
// 63 + longest_reach bytes past `at`.

std::uint64_t spots64_portable(const char* at) {
    std::uint64_t spots = 0;
    for (unsigned k = 0; k < 64; ++k) {
        std::size_t a = anchor_starting_with[static_cast<unsigned char>(at[k])];
        if (a != no_anchor && at[k + reach(anchors[a])] == anchors[a].word.back()) {
            spots |= std::uint64_t{1} << k;
        }
    }
    return spots;
}

#if FRAGTALLY_SSE2

__m128i load16(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

std::uint64_t spots64_sse2(const char* at) {
    std::uint64_t spots = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        const char* p = at + 16 * part;
        __m128i here = load16(p);
        __m128i any = _mm_setzero_si128();
        // Unrolled even at -O2: the loop branch cost more than the comparisons.
#pragma GCC unroll 8
        for (const anchor& a : anchors) {
            __m128i first = _mm_cmpeq_epi8(here, _mm_set1_epi8(a.word.front()));
            __m128i last = _mm_cmpeq_epi8(load16(p + reach(a)), _mm_set1_epi8(a.word.back()));
            any = _mm_or_si128(any, _mm_and_si128(first, last));
        }
        auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(any));
        spots |= std::uint64_t{mask} << (16 * part);
    }
    return spots;
}

#endif

#if FRAGTALLY_AVX2

__attribute__((target("avx2"))) __m256i load32(const char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The AVX2 and AVX-512 scanners test three bytes of every anchor word at once, at the same
// distances from the spot for all: a byte is split into its low and high four bits, each
// picks an entry of a 16-entry table (one shuffle), and the two entries hold bit a when
// anchor a has that byte there. One anchor per bit: the eight anchors fill a byte. Past the
// end of a short word (" by") every byte will do. Three shuffled bytes cost fewer steps than
// the first and last byte of eight words, and spot far fewer places that hold no anchor
// (in English text, a line in 11 where first and last byte spot one in 3). The bytes at 0,
// 1, 2 would spot "rocket" in "electrocuted" and "fraglimit" in "frags left"; 0, 2, 4 spot
// " by" as " ?y", which is rarer, and a fourth byte cost more than it saved.
constexpr std::array<std::size_t, 3> tested_at = {0, 2, 4};

// Each table is written out four times over, so that a vector of 32 or 64 bytes loads it
// whole for the shuffle, which looks up within each 16 bytes.
struct nibble_table {
    std::array<std::uint8_t, 64> low{};
    std::array<std::uint8_t, 64> high{};
};

constexpr std::array<nibble_table, tested_at.size()> tested_byte_tables = [] {
    static_assert(anchors.size() <= 8);
    std::array<nibble_table, tested_at.size()> tables{};
    for (std::size_t j = 0; j < tested_at.size(); ++j) {
        for (std::size_t a = 0; a < anchors.size(); ++a) {
            auto anchor_bit = static_cast<std::uint8_t>(1u << a);
            bool past_end = tested_at[j] >= anchors[a].word.size();
            unsigned byte =
                past_end ? 0 : static_cast<unsigned char>(anchors[a].word[tested_at[j]]);
            for (unsigned n = 0; n < 64; ++n) {
                if (past_end || (byte & 15u) == n % 16) {
                    tables[j].low[n] |= anchor_bit;
                }
                if (past_end || (byte >> 4) == n % 16) {
                    tables[j].high[n] |= anchor_bit;
                }
            }
        }
    }
    return tables;
}();

// The first byte is tested, so that a spot is where an anchor word may begin; and the reads
// stay within what the other scanners read.
static_assert(tested_at.front() == 0 && tested_at.back() <= longest_reach);

__attribute__((target("avx2"))) std::uint64_t spots64_avx2(const char* at) {
    const __m256i nibble = _mm256_set1_epi8(0x0f);
    __m256i low[tested_at.size()];
    __m256i high[tested_at.size()];
    for (std::size_t j = 0; j < tested_at.size(); ++j) {
        low[j] = load32(reinterpret_cast<const char*>(tested_byte_tables[j].low.data()));
        high[j] = load32(reinterpret_cast<const char*>(tested_byte_tables[j].high.data()));
    }
    std::uint64_t spots = 0;
    for (std::size_t part = 0; part < 2; ++part) {
        const char* p = at + 32 * part;
        __m256i anchors_here = _mm256_set1_epi8(-1);
#pragma GCC unroll 4
        for (std::size_t j = 0; j < tested_at.size(); ++j) {
            __m256i bytes = load32(p + tested_at[j]);
            __m256i lows = _mm256_and_si256(bytes, nibble);
            __m256i highs = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble);
            anchors_here = _mm256_and_si256(anchors_here, _mm256_shuffle_epi8(low[j], lows));
            anchors_here = _mm256_and_si256(anchors_here, _mm256_shuffle_epi8(high[j], highs));
        }
        __m256i none = _mm256_cmpeq_epi8(anchors_here, _mm256_setzero_si256());
        auto mask = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(none));
        spots |= std::uint64_t{mask} << (32 * part);
    }
    return spots;
}

// With AVX-512 all 64 positions at once, and a test gives their bits straight away.
__attribute__((target("avx512bw"))) std::uint64_t spots64_avx512(const char* at) {
    const __m512i nibble = _mm512_set1_epi8(0x0f);
    __m512i anchors_here = _mm512_set1_epi8(-1);
#pragma GCC unroll 4
    for (std::size_t j = 0; j < tested_at.size(); ++j) {
        __m512i bytes = _mm512_loadu_si512(at + tested_at[j]);
        __m512i lows = _mm512_and_si512(bytes, nibble);
        __m512i highs = _mm512_and_si512(_mm512_srli_epi16(bytes, 4), nibble);
        anchors_here = _mm512_and_si512(
            anchors_here,
            _mm512_shuffle_epi8(_mm512_loadu_si512(tested_byte_tables[j].low.data()), lows));
        anchors_here = _mm512_and_si512(
            anchors_here,
            _mm512_shuffle_epi8(_mm512_loadu_si512(tested_byte_tables[j].high.data()), highs));
    }
    return _mm512_test_epi8_mask(anchors_here, anchors_here);
}

#endif

using spots64_function = std::uint64_t (*)(const char*);

spots64_function spots64_of(phrase_scanner scanner) {
    switch (scanner) {
#if FRAGTALLY_SSE2
        case phrase_scanner::sse2:
            return spots64_sse2;
#endif
#if FRAGTALLY_AVX2
        case phrase_scanner::avx2:
            return spots64_avx2;
        case phrase_scanner::avx512:
            return spots64_avx512;
#endif
        default:
            return spots64_portable;
    }
}

const phrase_scanner best = [] {
    for (phrase_scanner s : {phrase_scanner::avx512, phrase_scanner::avx2, phrase_scanner::sse2}) {
        if (scanner_available(s)) {
            return s;
        }
    }
    return phrase_scanner::portable;
}();

phrase_set with_ate(std::string_view text, phrase_set found) {
    if ((found & bit(ph_rocket)) != 0 && text.find(phrase_text[ph_ate]) != std::string_view::npos) {
        found |= bit(ph_ate);
    }
    return found;
}

// Returns the phrases of a text longer than 64 bytes (or empty) from the map; rare lines.
// This and confirm_line stay out of find_mapped_phrases so that a line without spots, most
// lines, costs no saving and restoring of the registers they need.
[[gnu::noinline]] phrase_set find_mapped_in_long_text(std::string_view text, std::size_t from,
                                                      const std::uint64_t* spots) {
    std::size_t to = from + text.size();
    phrase_set found = 0;
    for (std::size_t i = from; i < to; i = (i | 63) + 1) {
        std::uint64_t word = spots[i / 64] >> (i % 64);
        word &= low_bits(to - i);
        if (word != 0) {
            found |= confirm_spots(text, i - from, word);
        }
    }
    return with_ate(text, found);
}

// Whether "ate" is in a text of 1 to 64 bytes that lies in data mapped by map_spots, which
// may be read past its end. Only lines with "rocket" ask, but they are many, and a search
// from one 'a' to the next costs more than testing all 64 places at once with SSE2. That
// reads 66 bytes from the start of the text: at most 65 past the end of the mapped data.
bool mapped_line_holds_ate(std::string_view text) {
#if FRAGTALLY_SSE2
    constexpr std::string_view ate = phrase_text[ph_ate];
    static_assert(ate.size() == 3);
    constexpr std::size_t bytes_read = 64 + 2;
    static_assert(bytes_read - 1 <= phrase_scan_overread);
    std::uint64_t starts = 0;
    for (std::size_t i = 0; i < 64; i += 16) {
        const char* p = text.data() + i;
        __m128i a = _mm_cmpeq_epi8(load16(p), _mm_set1_epi8(ate[0]));
        __m128i t = _mm_cmpeq_epi8(load16(p + 1), _mm_set1_epi8(ate[1]));
        __m128i e = _mm_cmpeq_epi8(load16(p + 2), _mm_set1_epi8(ate[2]));
        auto mask =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_and_si128(_mm_and_si128(a, t), e)));
        starts |= std::uint64_t{mask} << i;
    }
    // Only where the whole word lies inside the text; a text of 2 bytes or fewer has no room.
    return text.size() > 2 && (starts & (~std::uint64_t{0} >> (bytes_read - text.size()))) != 0;
#else
    return text.find(phrase_text[ph_ate]) != std::string_view::npos;
#endif
}

// Returns the phrases of a line of 64 bytes at most that has spots (bit k for byte k).
[[gnu::noinline]] phrase_set confirm_line(std::string_view text, std::uint64_t spots) {
    phrase_set found = confirm_spots(text, 0, spots);
    if ((found & bit(ph_rocket)) != 0 && mapped_line_holds_ate(text)) {
        found |= bit(ph_ate);
    }
    return found;
}

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
        case phrase_scanner::avx512:
#if FRAGTALLY_AVX2
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx512bw") != 0;
#else
            return false;
#endif
    }
    return false;
}

phrase_scanner fastest_scanner() {
    return best;
}

phrase_set find_phrases_with(phrase_scanner scanner, std::string_view text) {
    spots64_function spots64 = spots64_of(scanner);
    phrase_set found = 0;
    // Whole blocks while their reads stay inside the text, then the rest byte by byte.
    std::size_t i = 0;
    for (; text.size() - i >= 64 + longest_reach; i += 64) {
        std::uint64_t spots = spots64(text.data() + i);
        if (spots != 0) {
            found |= confirm_spots(text, i, spots);
        }
    }
    for (; i < text.size(); ++i) {
        found |= confirm_position(text, i);
    }
    return with_ate(text, found);
}

phrase_set find_phrases(std::string_view text) {
    return find_phrases_with(best, text);
}

void map_spots_with(phrase_scanner scanner, const char* data, std::size_t size,
                    std::uint64_t* spots) {
    spots64_function spots64 = spots64_of(scanner);
    for (std::size_t i = 0; i < size; i += 64) {
        spots[i / 64] = spots64(data + i);
    }
}

void map_spots(const char* data, std::size_t size, std::uint64_t* spots) {
    map_spots_with(best, data, size, spots);
}

phrase_set find_mapped_phrases(std::string_view text, const char* base,
                               const std::uint64_t* spots) {
    auto from = static_cast<std::size_t>(text.data() - base);
    // Sizes 1 to 64 are most lines; an empty text wraps round to the long way, which finds
    // nothing in it.
    if (text.size() - 1 >= 64) {
        return find_mapped_in_long_text(text, from, spots);
    }
    // The line's bits lie in one word or two, gathered without a branch on which, since that
    // depends on where the line happens to lie. When the line ends in the first word, the
    // second read is of that word again and lands its bits at 64 - shift and above, past the
    // line's size (at most 64 - shift then), so the mask drops them.
    std::size_t first = from / 64;
    std::size_t last = (from + text.size() - 1) / 64;
    unsigned shift = from % 64;
    std::uint64_t bits = spots[first] >> shift;
    bits |= (spots[last] << 1) << (63 - shift);
    bits &= ~std::uint64_t{0} >> (64 - text.size());
    return bits == 0 ? 0 : confirm_line(text, bits);
}
