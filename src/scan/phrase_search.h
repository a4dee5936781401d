// The search for a fixed set of phrases in text, built at compile time for any set: any number
// of phrases and anchor words, of any bytes. phrases.h builds it for the phrases the pass
// looks for.
//
// Instead of one search per phrase, the text is swept once for the phrases' anchor words. A
// word is spotted by two or three of its bytes alone, which a vector sweep tests for 16 or 32
// positions at once; the phrases that hold the word there are then compared in full around
// the spot. Most lines hold no spot at all, and an obituary holds one or two. A phrase too
// common to be worth a sweep ("ate") has no anchor word and is looked for only in the texts
// that hold the phrase it goes with.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "scan/byte_bits.h"
#include "scan/cpu.h"

#if FRAGTALLY_X86_64
#include <immintrin.h>
#endif

// A set of phrases, bit p for the phrase p of a phrase list.
using phrase_set = std::uint64_t;

// One phrase of a list: its exact, case-sensitive text and the word of it that is swept for.
// Phrases may share an anchor word. A phrase without one is looked for, plainly, only in a text
// that holds the phrase numbered `with`, and is reported only there.
struct phrase_entry {
    std::string_view text;
    std::string_view anchor;
    std::size_t with = 0;
};

// Returns the set holding just phrase p.
constexpr phrase_set phrase_bit(std::size_t p) {
    return phrase_set{1} << p;
}

// Bytes after mapped data that a map of spots may read; they never change a result.
inline constexpr std::size_t phrase_scan_overread = 80;

namespace phrase_search_parts {

inline std::uint32_t load_word(const char* p) {
    std::uint32_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// A phrase is compared as a fixed number of 4-byte words that together cover it, the last ones
// overlapping the others, so that every phrase takes the same steps: no branch on its length,
// and no read outside it.
inline constexpr std::size_t word_size = 4;

// The vector sweeps test three bytes of every anchor word at once, at the same distances from
// the spot for all: a byte is split into its low and high four bits, each picks an entry of a
// 16-entry table (one shuffle), and the two entries hold bit a when anchor a of a group of
// eight has that byte there. Past the end of a short word (" by") every byte will do. The
// bytes at 0, 1, 2 would spot "rocket" in "electrocuted" and "fraglimit" in "frags left";
// 0, 2, 4 spot " by" as " ?y", which is rarer.
inline constexpr std::array<std::size_t, 3> tested_at = {0, 2, 4};

// Each table is written out twice over, so that a vector of 32 bytes loads it whole for the
// shuffle, which looks up within each 16 bytes.
struct nibble_table {
    std::array<std::uint8_t, 32> low{};
    std::array<std::uint8_t, 32> high{};
};

inline constexpr std::size_t anchors_per_group = 8;  // one bit each in a byte of the tables

#if FRAGTALLY_X86_64

inline __m128i load16(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("avx2"))) inline __m256i load32(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

// Where a word of up to 17 bytes begins among the 64 positions from `at`: all its bytes
// compared, 16 positions at a time. Reads 63 + the word's size bytes from `at`.
inline std::uint64_t word_starts64(const char* at, std::string_view word) {
    std::uint64_t starts = 0;
    for (std::size_t i = 0; i < 64; i += 16) {
        __m128i all = _mm_set1_epi8(-1);
        for (std::size_t j = 0; j < word.size(); ++j) {
            all = _mm_and_si128(all, _mm_cmpeq_epi8(load16(at + i + j), _mm_set1_epi8(word[j])));
        }
        starts |= std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(all))} << i;
    }
    return starts;
}

#endif

}  // namespace phrase_search_parts

// The search for the phrases of `phrases`, a constexpr std::array of phrase_entry. Every CPU
// path gives the same results as one plain search per phrase.
template <const auto& list>
class phrase_search {
    static constexpr const auto& phrases = list;
    static constexpr std::size_t phrase_count = phrases.size();
    static_assert(phrase_count <= 64, "one bit per phrase in a phrase_set");

    struct anchor {
        std::string_view word;
        phrase_set holders = 0;  // the phrases that hold the word
    };

    static constexpr std::size_t count_anchors() {
        std::size_t count = 0;
        for (std::size_t p = 0; p < phrase_count; ++p) {
            bool first = !phrases[p].anchor.empty();
            for (std::size_t q = 0; q < p; ++q) {
                first = first && phrases[q].anchor != phrases[p].anchor;
            }
            count += first ? 1 : 0;
        }
        return count;
    }

  public:
    static constexpr std::size_t anchor_count = count_anchors();

  private:
    static_assert(anchor_count >= 1 && anchor_count <= 64, "one bit per anchor in a mask");

    // The anchors in order of first use.
    static constexpr std::array<anchor, anchor_count> anchors = [] {
        std::array<anchor, anchor_count> found{};
        std::size_t count = 0;
        for (std::size_t p = 0; p < phrase_count; ++p) {
            if (phrases[p].anchor.empty()) {
                continue;
            }
            std::size_t a = 0;
            while (a < count && found[a].word != phrases[p].anchor) {
                ++a;
            }
            if (a == count) {
                found[count++].word = phrases[p].anchor;
            }
            found[a].holders |= phrase_bit(p);
        }
        return found;
    }();

    static constexpr std::size_t reach(const anchor& a) { return a.word.size() - 1; }

    static constexpr std::size_t longest_reach = [] {
        std::size_t longest = 0;
        for (const anchor& a : anchors) {
            longest = std::max(longest, reach(a));
        }
        return longest;
    }();

    // Where each anchored phrase's anchor word begins within the phrase.
    static constexpr std::array<std::size_t, phrase_count> anchor_offset = [] {
        std::array<std::size_t, phrase_count> offset{};
        for (std::size_t p = 0; p < phrase_count; ++p) {
            offset[p] = phrases[p].text.find(phrases[p].anchor);
        }
        return offset;
    }();

    static constexpr std::size_t longest_phrase = [] {
        std::size_t longest = 0;
        for (const phrase_entry& p : phrases) {
            longest = std::max(longest, p.text.size());
        }
        return longest;
    }();

    static constexpr bool well_formed() {
        for (std::size_t p = 0; p < phrase_count; ++p) {
            const phrase_entry& entry = phrases[p];
            bool anchored = !entry.anchor.empty();
            if (anchored &&
                (entry.anchor.size() < 2 || anchor_offset[p] == std::string_view::npos ||
                 entry.text.size() < phrase_search_parts::word_size)) {
                return false;
            }
            // An unanchored phrase goes with an anchored one, and fits the sweep of a line.
            if (!anchored &&
                (entry.with >= phrase_count || phrases[entry.with].anchor.empty() ||
                 entry.text.empty() || 63 + entry.text.size() > phrase_scan_overread)) {
                return false;
            }
        }
        return true;
    }
    static_assert(well_formed(),
                  "an anchor word of 2 bytes or more inside a phrase of 4 bytes or more, or no "
                  "anchor and a short phrase that goes with an anchored one");
    static_assert(63 + std::max(longest_reach, phrase_search_parts::tested_at.back()) <
                      phrase_scan_overread,
                  "the sweeps read past 64 positions by the longest anchor word");

    static constexpr phrase_set unanchored = [] {
        phrase_set set = 0;
        for (std::size_t p = 0; p < phrase_count; ++p) {
            set |= phrases[p].anchor.empty() ? phrase_bit(p) : 0;
        }
        return set;
    }();

    // The phrases found only along with others: those others.
    static constexpr phrase_set partners = [] {
        phrase_set set = 0;
        for (std::size_t p = 0; p < phrase_count; ++p) {
            set |= phrases[p].anchor.empty() ? phrase_bit(phrases[p].with) : 0;
        }
        return set;
    }();

    // The anchors whose word begins with each byte.
    static constexpr std::array<std::uint64_t, 256> anchors_starting_with = [] {
        std::array<std::uint64_t, 256> starting{};
        for (std::size_t a = 0; a < anchor_count; ++a) {
            starting[static_cast<unsigned char>(anchors[a].word.front())] |= std::uint64_t{1} << a;
        }
        return starting;
    }();

    // When every anchor begins with a byte of its own, a spot's first byte names its anchor,
    // and a spot is confirmed without a loop over anchors.
    static constexpr bool first_bytes_differ = [] {
        for (std::uint64_t mask : anchors_starting_with) {
            if (std::popcount(mask) > 1) {
                return false;
            }
        }
        return true;
    }();

    static constexpr std::array<std::uint8_t, 256> anchor_of_first_byte = [] {
        std::array<std::uint8_t, 256> anchor_of{};
        for (std::size_t b = 0; b < 256; ++b) {
            std::uint64_t mask = anchors_starting_with[b];
            anchor_of[b] = static_cast<std::uint8_t>(
                mask == 0 ? anchor_count : static_cast<std::size_t>(std::countr_zero(mask)));
        }
        return anchor_of;
    }();

    // One byte at a fixed distance from a spot tells the phrases of its anchor apart, so that
    // a spot needs one full comparison at most. When no byte inside all of them does, the byte
    // at the spot is taken, which all share, and each phrase is compared.
    struct telling_byte {
        int distance = 0;                          // from the first byte of the anchor's word
        std::array<phrase_set, 256> candidates{};  // the phrases with this byte there
    };

    static constexpr bool tells_apart(const anchor& a, int distance) {
        std::array<bool, 256> taken{};
        for (std::size_t p = 0; p < phrase_count; ++p) {
            if ((a.holders & phrase_bit(p)) == 0) {
                continue;
            }
            int in_phrase = static_cast<int>(anchor_offset[p]) + distance;
            if (in_phrase < 0 || in_phrase >= static_cast<int>(phrases[p].text.size())) {
                return false;
            }
            auto byte =
                static_cast<unsigned char>(phrases[p].text[static_cast<std::size_t>(in_phrase)]);
            if (taken[byte]) {
                return false;
            }
            taken[byte] = true;
        }
        return true;
    }

    // One per anchor, and a last one, for a byte that begins no anchor, that tells no phrase.
    static constexpr std::array<telling_byte, anchor_count + 1> telling_bytes = [] {
        std::array<telling_byte, anchor_count + 1> tells{};
        const int farthest = static_cast<int>(longest_phrase);
        for (std::size_t a = 0; a < anchor_count; ++a) {
            // Nearest first: 0, 1, -1, 2, -2, ...
            int distance = 0;
            while (!tells_apart(anchors[a], distance) && distance <= farthest) {
                distance = distance <= 0 ? 1 - distance : -distance;
            }
            if (distance > farthest) {
                distance = 0;
            }
            tells[a].distance = distance;
            for (std::size_t p = 0; p < phrase_count; ++p) {
                if ((anchors[a].holders & phrase_bit(p)) != 0) {
                    // In range: the distance is 0, or tells_apart took it for every phrase.
                    int in_phrase_signed = static_cast<int>(anchor_offset[p]) + distance;
                    auto in_phrase = static_cast<std::size_t>(in_phrase_signed);
                    auto byte = static_cast<unsigned char>(phrases[p].text[in_phrase]);
                    tells[a].candidates[byte] |= phrase_bit(p);
                }
            }
        }
        return tells;
    }();

    static constexpr std::size_t words_per_phrase =
        (longest_phrase + phrase_search_parts::word_size - 1) / phrase_search_parts::word_size;

    struct phrase_words {
        std::size_t before = 0;  // bytes of the phrase before its anchor word
        std::size_t after = 0;   // bytes from the anchor word's first to the phrase's end
        std::array<std::size_t, words_per_phrase> at{};      // where each word begins
        std::array<std::uint32_t, words_per_phrase> word{};  // the phrase's bytes there
    };

    static constexpr std::array<phrase_words, phrase_count> words_of_phrase = [] {
        constexpr std::size_t size = phrase_search_parts::word_size;
        std::array<phrase_words, phrase_count> words{};
        for (std::size_t p = 0; p < phrase_count; ++p) {
            std::string_view text = phrases[p].text;
            if (phrases[p].anchor.empty()) {
                continue;
            }
            words[p].before = anchor_offset[p];
            words[p].after = text.size() - anchor_offset[p];
            for (std::size_t k = 0; k < words_per_phrase; ++k) {
                std::size_t at = std::min(k * size, text.size() - size);
                std::array<char, size> bytes{};
                std::copy_n(text.begin() + static_cast<std::ptrdiff_t>(at), size, bytes.begin());
                words[p].at[k] = at;
                words[p].word[k] = std::bit_cast<std::uint32_t>(bytes);
            }
        }
        return words;
    }();

    // Whether every telling byte tells the phrases of its anchor apart.
    static constexpr bool bytes_tell_apart = [] {
        for (const telling_byte& tell : telling_bytes) {
            for (phrase_set candidates : tell.candidates) {
                if (std::popcount(candidates) > 1) {
                    return false;
                }
            }
        }
        return true;
    }();

    // Returns phrase p when its anchor word begins at position i of the text and the phrase
    // lies there wholly inside the text.
    static phrase_set compare_phrase(std::size_t p, std::string_view text, std::size_t i) {
        const phrase_words& want = words_of_phrase[p];
        if (i < want.before || i + want.after > text.size()) {
            return 0;
        }
        const char* at = text.data() + (i - want.before);
        std::uint32_t differ = 0;
        for (std::size_t k = 0; k < words_per_phrase; ++k) {
            differ |= phrase_search_parts::load_word(at + want.at[k]) ^ want.word[k];
        }
        return differ == 0 ? phrase_bit(p) : 0;
    }

    // Returns the phrases of the anchor's whose anchor word begins at position i of the text,
    // when they lie there wholly inside the text.
    static phrase_set confirm_anchor(std::size_t a, std::string_view text, std::size_t i) {
        const telling_byte& tell = telling_bytes[a];
        // Below 0 wraps round to above the text's size.
        std::size_t where = i + static_cast<std::size_t>(tell.distance);
        if (where >= text.size()) {
            return 0;
        }
        phrase_set candidates = tell.candidates[static_cast<unsigned char>(text[where])];
        if constexpr (bytes_tell_apart) {
            // One phrase at most, compared without a loop.
            if (candidates == 0) {
                return 0;
            }
            return compare_phrase(static_cast<std::size_t>(std::countr_zero(candidates)), text, i);
        } else {
            phrase_set found = 0;
            for (; candidates != 0; candidates &= candidates - 1) {
                found |=
                    compare_phrase(static_cast<std::size_t>(std::countr_zero(candidates)), text, i);
            }
            return found;
        }
    }

    static phrase_set confirm_position(std::string_view text, std::size_t i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if constexpr (first_bytes_differ) {
            return confirm_anchor(anchor_of_first_byte[byte], text, i);
        } else {
            phrase_set found = 0;
            for (std::uint64_t mask = anchors_starting_with[byte]; mask != 0; mask &= mask - 1) {
                found |= confirm_anchor(static_cast<std::size_t>(std::countr_zero(mask)), text, i);
            }
            return found;
        }
    }

    // Returns the phrases at the spots: bit k for position from + k of the text.
    static phrase_set confirm_spots(std::string_view text, std::size_t from, std::uint64_t spots) {
        phrase_set found = 0;
        for (; spots != 0; spots &= spots - 1) {
            found |= confirm_position(text, from + static_cast<unsigned>(std::countr_zero(spots)));
        }
        return found;
    }

    // Each path's sweep gives the spots of the 64 positions from `at`: bit k when some anchor's
    // first byte is at at[k] and some more of its bytes where they belong (its last byte for the
    // portable and SSE2 sweeps, the bytes at tested_at for AVX2). They read up to
    // 63 + longest_reach bytes past `at`, or 63 + tested_at.back().

    static std::uint64_t spots64_portable(const char* at) {
        std::uint64_t spots = 0;
        for (unsigned k = 0; k < 64; ++k) {
            for (std::uint64_t mask = anchors_starting_with[static_cast<unsigned char>(at[k])];
                 mask != 0; mask &= mask - 1) {
                const anchor& a = anchors[static_cast<std::size_t>(std::countr_zero(mask))];
                if (at[k + reach(a)] == a.word.back()) {
                    spots |= std::uint64_t{1} << k;
                }
            }
        }
        return spots;
    }

#if FRAGTALLY_X86_64

    static std::uint64_t spots64_sse2(const char* at) {
        using phrase_search_parts::load16;
        std::uint64_t spots = 0;
        for (std::size_t part = 0; part < 4; ++part) {
            const char* p = at + 16 * part;
            __m128i here = load16(p);
            __m128i any = _mm_setzero_si128();
            // Unrolled even at -O2: the loop branch cost more than the comparisons.
#pragma GCC unroll 16
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

    static constexpr std::size_t group_count =
        (anchor_count + phrase_search_parts::anchors_per_group - 1) /
        phrase_search_parts::anchors_per_group;

    using group_tables =
        std::array<phrase_search_parts::nibble_table, phrase_search_parts::tested_at.size()>;

    static constexpr std::array<group_tables, group_count> tested_byte_tables = [] {
        using phrase_search_parts::tested_at;
        std::array<group_tables, group_count> tables{};
        for (std::size_t a = 0; a < anchor_count; ++a) {
            group_tables& group = tables[a / phrase_search_parts::anchors_per_group];
            auto anchor_bit =
                static_cast<std::uint8_t>(1u << (a % phrase_search_parts::anchors_per_group));
            for (std::size_t j = 0; j < tested_at.size(); ++j) {
                bool past_end = tested_at[j] >= anchors[a].word.size();
                unsigned byte =
                    past_end ? 0 : static_cast<unsigned char>(anchors[a].word[tested_at[j]]);
                for (unsigned n = 0; n < 32; ++n) {
                    if (past_end || (byte & 15u) == n % 16) {
                        group[j].low[n] |= anchor_bit;
                    }
                    if (past_end || (byte >> 4) == n % 16) {
                        group[j].high[n] |= anchor_bit;
                    }
                }
            }
        }
        return tables;
    }();

    __attribute__((target("avx2"))) static std::uint64_t spots64_avx2(const char* at) {
        using phrase_search_parts::load32;
        using phrase_search_parts::tested_at;
        const __m256i nibble = _mm256_set1_epi8(0x0f);
        std::uint64_t spots = 0;
        for (std::size_t part = 0; part < 2; ++part) {
            const char* p = at + 32 * part;
            __m256i lows[tested_at.size()];
            __m256i highs[tested_at.size()];
            for (std::size_t j = 0; j < tested_at.size(); ++j) {
                __m256i bytes = load32(p + tested_at[j]);
                lows[j] = _mm256_and_si256(bytes, nibble);
                highs[j] = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble);
            }
            __m256i any = _mm256_setzero_si256();
#pragma GCC unroll 8
            for (const group_tables& group : tested_byte_tables) {
                __m256i anchors_here = _mm256_set1_epi8(-1);
#pragma GCC unroll 4
                for (std::size_t j = 0; j < tested_at.size(); ++j) {
                    anchors_here = _mm256_and_si256(
                        anchors_here, _mm256_shuffle_epi8(load32(group[j].low.data()), lows[j]));
                    anchors_here = _mm256_and_si256(
                        anchors_here, _mm256_shuffle_epi8(load32(group[j].high.data()), highs[j]));
                }
                any = _mm256_or_si256(any, anchors_here);
            }
            __m256i none = _mm256_cmpeq_epi8(any, _mm256_setzero_si256());
            auto mask = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(none));
            spots |= std::uint64_t{mask} << (32 * part);
        }
        return spots;
    }

#endif

    using spots64_function = std::uint64_t (*)(const char*);

    static spots64_function spots64_of(cpu_path path) {
        switch (path) {
#if FRAGTALLY_X86_64
            case cpu_path::sse2:
                return spots64_sse2;
            // A sweep of 64 positions at once with AVX-512 gave less than the noise over two
            // of 32 with AVX2.
            case cpu_path::avx2:
            case cpu_path::avx512:
                return spots64_avx2;
#endif
            default:
                return spots64_portable;
        }
    }

  public:
    // The search's functions for one CPU path: the sweep for anchor words, and whether the
    // words without an anchor are looked for with vector compares.
    struct sweep {
        spots64_function spots64;
        bool vector_words;
    };

    // Returns the functions of the given CPU path, which the CPU must have.
    static sweep sweep_for(cpu_path path) {
#if FRAGTALLY_X86_64
        return {spots64_of(path), path != cpu_path::portable};
#else
        return {spots64_of(path), false};
#endif
    }

  private:
    // Adds the unanchored phrases whose partner was found and that the text holds.
    static phrase_set with_unanchored(std::string_view text, phrase_set found) {
        if constexpr (unanchored != 0) {
            if ((found & partners) != 0) {
                for (phrase_set left = unanchored; left != 0; left &= left - 1) {
                    auto p = static_cast<std::size_t>(std::countr_zero(left));
                    if ((found & phrase_bit(phrases[p].with)) != 0 &&
                        text.find(phrases[p].text) != std::string_view::npos) {
                        found |= phrase_bit(p);
                    }
                }
            }
        }
        return found;
    }

    // The same for a text of 1 to 64 bytes inside mapped data, which may be read up to
    // phrase_scan_overread bytes past its end. Lines with a partner ("rocket") are many, and a
    // search from one first byte to the next costs more than testing all 64 places at once.
    static phrase_set with_unanchored_in_line(std::string_view text, phrase_set found,
                                              bool vector_words) {
        if constexpr (unanchored != 0) {
#if FRAGTALLY_X86_64
            if ((found & partners) == 0) {
                return found;
            }
            if (vector_words) {
                for (phrase_set left = unanchored; left != 0; left &= left - 1) {
                    auto p = static_cast<std::size_t>(std::countr_zero(left));
                    std::string_view word = phrases[p].text;
                    if ((found & phrase_bit(phrases[p].with)) != 0 && text.size() >= word.size()) {
                        // Only where the whole phrase lies inside the text.
                        std::uint64_t starts =
                            phrase_search_parts::word_starts64(text.data(), word);
                        found |= (starts & low_bits(text.size() - word.size() + 1)) != 0
                                     ? phrase_bit(p)
                                     : 0;
                    }
                }
                return found;
            }
#endif
            static_cast<void>(vector_words);
            return with_unanchored(text, found);
        }
        static_cast<void>(vector_words);
        return found;
    }

    // Returns the phrases of a text longer than 64 bytes (or empty) from the map; rare lines.
    // This and confirm_line stay out of find_mapped so that a line without spots, most lines,
    // costs no saving and restoring of the registers they need.
    [[gnu::noinline]] static phrase_set find_mapped_in_long_text(std::string_view text,
                                                                 std::size_t from,
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
        return with_unanchored(text, found);
    }

    // Returns the phrases of a line of 64 bytes at most that has spots (bit k for byte k).
    [[gnu::noinline]] static phrase_set confirm_line(std::string_view text, std::uint64_t spots,
                                                     bool vector_words) {
        return with_unanchored_in_line(text, confirm_spots(text, 0, spots), vector_words);
    }

  public:
    // Returns the set of phrases found in the text, reading nothing outside it, with the given
    // CPU path's functions.
    static phrase_set find(std::string_view text, const sweep& on) {
        spots64_function spots64 = on.spots64;
        phrase_set found = 0;
        // Whole blocks while their reads stay inside the text, then the rest byte by byte.
        constexpr std::size_t block_reads =
            64 + std::max(longest_reach, phrase_search_parts::tested_at.back());
        std::size_t i = 0;
        for (; text.size() - i >= block_reads; i += 64) {
            std::uint64_t spots = spots64(text.data() + i);
            if (spots != 0) {
                found |= confirm_spots(text, i, spots);
            }
        }
        for (; i < text.size(); ++i) {
            found |= confirm_position(text, i);
        }
        return with_unanchored(text, found);
    }

    // Marks, one bit per byte, where in the data a phrase might be (bit i % 64 of spots[i / 64]
    // for byte i), with the given CPU path's sweep, so that the phrases of many lines are looked
    // for in one sweep. spots must hold (size + 63) / 64 words, and the data must be followed by
    // phrase_scan_overread readable bytes.
    static void map(const char* data, std::size_t size, std::uint64_t* spots, const sweep& on) {
        spots64_function spots64 = on.spots64;
        for (std::size_t i = 0; i < size; i += 64) {
            spots[i / 64] = spots64(data + i);
        }
    }

    // Returns what find returns for a text that lies within data mapped by map (starting at
    // base), from the map and the text alone, with the functions it was mapped with.
    static phrase_set find_mapped(std::string_view text, const char* base,
                                  const std::uint64_t* spots, const sweep& on) {
        auto from = static_cast<std::size_t>(text.data() - base);
        // Sizes 1 to 64 are most lines; an empty text wraps round to the search of long texts,
        // which finds nothing in it.
        if (text.size() - 1 >= 64) {
            return find_mapped_in_long_text(text, from, spots);
        }
        // The line's bits lie in one word or two, gathered without a branch on which, since
        // that depends on where the line happens to lie. When the line ends in the first word,
        // the second read is of that word again and lands its bits at 64 - shift and above,
        // past the line's size (at most 64 - shift then), so the mask drops them.
        std::size_t first = from / 64;
        std::size_t last = (from + text.size() - 1) / 64;
        unsigned shift = from % 64;
        std::uint64_t bits = spots[first] >> shift;
        bits |= (spots[last] << 1) << (63 - shift);
        bits &= ~std::uint64_t{0} >> (64 - text.size());
        return bits == 0 ? 0 : confirm_line(text, bits, on.vector_words);
    }
};
