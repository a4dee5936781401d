#include "scan/log_hash.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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
