#include "scan/log_hash.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#if FRAGTALLY_X86_64
#include <immintrin.h>
#endif

namespace {

constexpr std::uint64_t hash_multiplier = 0x9E3779B97F4A7C15ULL;

// The eight bytes as a word in the machine's order: every platform built for is little-endian,
// so a history moved between them keeps its hashes.
std::uint64_t word_at(const unsigned char* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Spreads every bit of the value over all of it.
std::uint64_t mix(std::uint64_t value) {
    value ^= value >> 33;
    value *= 0xFF51AFD7ED558CCDULL;
    value ^= value >> 33;
    value *= 0xC4CEB9FE1A85EC53ULL;
    value ^= value >> 33;
    return value;
}

}  // namespace

namespace {

// Four independent lanes, so that the multiplications of a block overlap.
[[gnu::always_inline]] inline void mix_in_block(std::array<std::uint64_t, 4>& lanes,
                                                const unsigned char* bytes) {
    for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
        std::uint64_t state = (lanes[lane] ^ word_at(bytes + 8 * lane)) * hash_multiplier;
        lanes[lane] = state ^ (state >> 32);
    }
}

}  // namespace

void log_hash::add_block(const unsigned char* bytes) {
    mix_in_block(lanes_, bytes);
}

void log_hash::add(const unsigned char* bytes, std::size_t size) {
    length_ += size;
    if (pending_size_ > 0) {
        std::size_t take = std::min(size, block - pending_size_);
        std::memcpy(pending_.data() + pending_size_, bytes, take);
        pending_size_ += take;
        bytes += take;
        size -= take;
        if (pending_size_ < block) {
            return;
        }
        add_block(pending_.data());
        pending_size_ = 0;
    }
    // The lanes in a local copy, stored once at the end: through the object, the bytes might
    // alias them, so each block stored all four (27 instructions a block instead of 23).
    std::array<std::uint64_t, 4> lanes = lanes_;
    for (; size >= block; bytes += block, size -= block) {
        mix_in_block(lanes, bytes);
    }
    lanes_ = lanes;
    std::memcpy(pending_.data(), bytes, size);
    pending_size_ = size;
}

std::uint64_t log_hash::value() const {
    std::array<unsigned char, block> last{};
    std::memcpy(last.data(), pending_.data(), pending_size_);
    std::uint64_t value = length_;
    for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
        value = mix(value ^ lanes_[lane] ^ word_at(last.data() + 8 * lane) * hash_multiplier);
    }
    return value;
}

std::string hash_text(std::uint64_t value) {
    std::array<char, 17> text{};
    std::snprintf(text.data(), text.size(), "%016llx", static_cast<unsigned long long>(value));
    return text.data();
}

namespace {

constexpr std::string_view stripes_prefix = "stripes:";

// Fixed pseudo-random words, made once at compile time: the stripes' keys, the scrambles' keys
// and the accumulators' first values.
constexpr std::size_t stripe_key_words = stripe_hash::stripes_per_block + 8;
constexpr auto hash_words = [] {
    std::array<std::uint64_t, stripe_key_words + 16> words{};
    std::uint64_t state = 0x6A09E667F3BCC908ULL;
    for (std::uint64_t& word : words) {
        state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        word = z ^ (z >> 31);
    }
    return words;
}();
// Stripe k of a block takes the keys from word k on, one per accumulator.
constexpr const std::uint64_t* stripe_keys = hash_words.data();
constexpr const std::uint64_t* scramble_keys = hash_words.data() + stripe_key_words;
constexpr const std::uint64_t* first_values = hash_words.data() + stripe_key_words + 8;
constexpr std::uint32_t scramble_multiplier = 0x9E3779B1U;

// The portable form is the definition: each accumulator adds the product of its word's halves,
// keyed, and the word of its neighbour, so that a word whose keyed half is 0 still counts.
// After each block of stripes, every accumulator is scrambled, so that the order of the
// stripes counts.
void scramble_portable(std::uint64_t* accumulators) {
    for (std::size_t lane = 0; lane < 8; ++lane) {
        std::uint64_t value = accumulators[lane];
        value ^= value >> 47;
        value ^= scramble_keys[lane];
        accumulators[lane] = value * scramble_multiplier;
    }
}

void accumulate_portable(std::uint64_t* accumulators, const unsigned char* bytes,
                         std::size_t stripes, std::size_t stripe_in_block) {
    for (; stripes > 0; --stripes, bytes += stripe_hash::stripe) {
        for (std::size_t lane = 0; lane < 8; ++lane) {
            std::uint64_t word = word_at(bytes + 8 * lane);
            std::uint64_t keyed = word ^ stripe_keys[stripe_in_block + lane];
            accumulators[lane ^ 1] += word;
            accumulators[lane] += (keyed & 0xFFFFFFFFU) * (keyed >> 32);
        }
        if (++stripe_in_block == stripe_hash::stripes_per_block) {
            scramble_portable(accumulators);
            stripe_in_block = 0;
        }
    }
}

#if FRAGTALLY_X86_64

// The vector forms below compute what accumulate_portable does, two or four accumulators to a
// register: the multiply of 32-bit halves is what SSE2 already has.

// One register of accumulators takes its words of a stripe, and its keys.
[[gnu::target("sse2"), gnu::always_inline]] inline __m128i add_words_sse2(
    __m128i sum, const unsigned char* bytes, const std::uint64_t* keys) {
    __m128i word = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    __m128i keyed = _mm_xor_si128(word, _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys)));
    __m128i product = _mm_mul_epu32(keyed, _mm_shuffle_epi32(keyed, _MM_SHUFFLE(0, 3, 0, 1)));
    __m128i neighbour = _mm_shuffle_epi32(word, _MM_SHUFFLE(1, 0, 3, 2));
    return _mm_add_epi64(sum, _mm_add_epi64(product, neighbour));
}

// The multiply by a 32-bit number as two multiplies of halves.
[[gnu::target("sse2"), gnu::always_inline]] inline __m128i scramble_sse2(
    __m128i sum, const std::uint64_t* keys) {
    const __m128i multiplier = _mm_set1_epi32(static_cast<int>(scramble_multiplier));
    __m128i value = _mm_xor_si128(sum, _mm_srli_epi64(sum, 47));
    value = _mm_xor_si128(value, _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys)));
    __m128i low = _mm_mul_epu32(value, multiplier);
    __m128i high = _mm_mul_epu32(_mm_srli_epi64(value, 32), multiplier);
    return _mm_add_epi64(low, _mm_slli_epi64(high, 32));
}

[[gnu::target("sse2")]] void accumulate_sse2(std::uint64_t* accumulators,
                                             const unsigned char* bytes, std::size_t stripes,
                                             std::size_t stripe_in_block) {
    auto* slots = reinterpret_cast<__m128i*>(accumulators);
    __m128i sum0 = _mm_loadu_si128(slots);
    __m128i sum1 = _mm_loadu_si128(slots + 1);
    __m128i sum2 = _mm_loadu_si128(slots + 2);
    __m128i sum3 = _mm_loadu_si128(slots + 3);
    for (; stripes > 0; --stripes, bytes += stripe_hash::stripe) {
        const std::uint64_t* keys = stripe_keys + stripe_in_block;
        sum0 = add_words_sse2(sum0, bytes, keys);
        sum1 = add_words_sse2(sum1, bytes + 16, keys + 2);
        sum2 = add_words_sse2(sum2, bytes + 32, keys + 4);
        sum3 = add_words_sse2(sum3, bytes + 48, keys + 6);
        if (++stripe_in_block == stripe_hash::stripes_per_block) {
            sum0 = scramble_sse2(sum0, scramble_keys);
            sum1 = scramble_sse2(sum1, scramble_keys + 2);
            sum2 = scramble_sse2(sum2, scramble_keys + 4);
            sum3 = scramble_sse2(sum3, scramble_keys + 6);
            stripe_in_block = 0;
        }
    }
    _mm_storeu_si128(slots, sum0);
    _mm_storeu_si128(slots + 1, sum1);
    _mm_storeu_si128(slots + 2, sum2);
    _mm_storeu_si128(slots + 3, sum3);
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i add_words_avx2(
    __m256i sum, const unsigned char* bytes, const std::uint64_t* keys) {
    __m256i word = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
    __m256i keyed =
        _mm256_xor_si256(word, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keys)));
    __m256i product = _mm256_mul_epu32(keyed, _mm256_shuffle_epi32(keyed, _MM_SHUFFLE(0, 3, 0, 1)));
    __m256i neighbour = _mm256_shuffle_epi32(word, _MM_SHUFFLE(1, 0, 3, 2));
    return _mm256_add_epi64(sum, _mm256_add_epi64(product, neighbour));
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i scramble_avx2(
    __m256i sum, const std::uint64_t* keys) {
    const __m256i multiplier = _mm256_set1_epi32(static_cast<int>(scramble_multiplier));
    __m256i value = _mm256_xor_si256(sum, _mm256_srli_epi64(sum, 47));
    value = _mm256_xor_si256(value, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keys)));
    __m256i low = _mm256_mul_epu32(value, multiplier);
    __m256i high = _mm256_mul_epu32(_mm256_srli_epi64(value, 32), multiplier);
    return _mm256_add_epi64(low, _mm256_slli_epi64(high, 32));
}

[[gnu::target("avx2")]] void accumulate_avx2(std::uint64_t* accumulators,
                                             const unsigned char* bytes, std::size_t stripes,
                                             std::size_t stripe_in_block) {
    auto* slots = reinterpret_cast<__m256i*>(accumulators);
    __m256i low_sum = _mm256_loadu_si256(slots);
    __m256i high_sum = _mm256_loadu_si256(slots + 1);
    while (stripes > 0) {
        if (stripe_in_block == 0 && stripes >= stripe_hash::stripes_per_block) {
            // A whole block, its keys' places known when compiled: a third fewer instructions.
#pragma GCC unroll 16
            for (std::size_t k = 0; k < stripe_hash::stripes_per_block; ++k) {
                const unsigned char* at = bytes + k * stripe_hash::stripe;
                low_sum = add_words_avx2(low_sum, at, stripe_keys + k);
                high_sum = add_words_avx2(high_sum, at + 32, stripe_keys + k + 4);
            }
            low_sum = scramble_avx2(low_sum, scramble_keys);
            high_sum = scramble_avx2(high_sum, scramble_keys + 4);
            stripes -= stripe_hash::stripes_per_block;
            bytes += stripe_hash::stripe * stripe_hash::stripes_per_block;
            continue;
        }
        low_sum = add_words_avx2(low_sum, bytes, stripe_keys + stripe_in_block);
        high_sum = add_words_avx2(high_sum, bytes + 32, stripe_keys + stripe_in_block + 4);
        if (++stripe_in_block == stripe_hash::stripes_per_block) {
            low_sum = scramble_avx2(low_sum, scramble_keys);
            high_sum = scramble_avx2(high_sum, scramble_keys + 4);
            stripe_in_block = 0;
        }
        --stripes;
        bytes += stripe_hash::stripe;
    }
    _mm256_storeu_si256(slots, low_sum);
    _mm256_storeu_si256(slots + 1, high_sum);
}

#endif

stripe_hash::accumulate_function accumulate_for(cpu_path path) {
#if FRAGTALLY_X86_64
    switch (path) {
        case cpu_path::portable:
            return accumulate_portable;
        case cpu_path::sse2:
            return accumulate_sse2;
        case cpu_path::avx2:
        case cpu_path::avx512:
            // GCC 12 warns of uninitialised registers in its 512-bit shifts, and the loads
            // from the second-level cache, not the arithmetic, bound the AVX2 form already.
            return accumulate_avx2;
    }
#endif
    (void)path;
    return accumulate_portable;
}

}  // namespace

std::string hash_text(hash_kind kind, std::uint64_t value) {
    return kind == hash_kind::stripes ? std::string(stripes_prefix) + hash_text(value)
                                      : hash_text(value);
}

hash_kind kind_of_hash_text(std::string_view text) {
    return text.starts_with(stripes_prefix) ? hash_kind::stripes : hash_kind::lanes;
}

stripe_hash::stripe_hash(cpu_path path) : accumulate_(accumulate_for(path)) {
    std::copy(first_values, first_values + accumulators_.size(), accumulators_.begin());
}

void stripe_hash::add(const unsigned char* bytes, std::size_t size) {
    length_ += size;
    if (pending_size_ > 0) {
        std::size_t take = std::min(size, stripe - pending_size_);
        std::memcpy(pending_.data() + pending_size_, bytes, take);
        pending_size_ += take;
        bytes += take;
        size -= take;
        if (pending_size_ < stripe) {
            return;
        }
        accumulate_(accumulators_.data(), pending_.data(), 1, stripe_in_block_);
        stripe_in_block_ = (stripe_in_block_ + 1) % stripes_per_block;
        pending_size_ = 0;
    }
    std::size_t stripes = size / stripe;
    if (stripes > 0) {
        accumulate_(accumulators_.data(), bytes, stripes, stripe_in_block_);
        stripe_in_block_ = (stripe_in_block_ + stripes) % stripes_per_block;
        bytes += stripes * stripe;
        size -= stripes * stripe;
    }
    std::memcpy(pending_.data(), bytes, size);
    pending_size_ = size;
}

std::uint64_t stripe_hash::value() const {
    std::array<std::uint64_t, 8> accumulators = accumulators_;
    if (pending_size_ > 0) {
        // The last bytes padded with zeros: the length, mixed in below, tells the padding apart.
        std::array<unsigned char, stripe> last{};
        std::memcpy(last.data(), pending_.data(), pending_size_);
        accumulate_portable(accumulators.data(), last.data(), 1, stripe_in_block_);
    }
    std::uint64_t value = mix(length_ * hash_multiplier);
    for (std::uint64_t accumulator : accumulators) {
        value = mix(value ^ accumulator);
    }
    return value;
}
