// The hashes that tell a log's bytes apart, which the history keeps for each session and the
// scanner can take as it reads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "scan/cpu.h"

// The hashes a history may know a session by: stripe_hash for the sessions recorded now,
// log_hash for those recorded before it, which are still matched by it.
enum class hash_kind { lanes, stripes };

// A log_hash value as the history stores it: 16 hexadecimal digits.
std::string hash_text(std::uint64_t value);

// A value of either kind as the history stores it: a stripe_hash value has "stripes:" before
// its 16 digits, so that the two kinds never compare equal.
std::string hash_text(hash_kind kind, std::uint64_t value);

// The kind of hash a stored hash text was made by; any text without the stripes prefix is
// taken for log_hash, which is what every session recorded before stripe_hash holds.
hash_kind kind_of_hash_text(std::string_view text);

// A streaming hash of a log's bytes, which together with their count tells a session's log
// apart from another: the value depends on every byte and on their number. Sessions recorded
// before stripe_hash are known by it; it is bound by its 64-bit multiplies, so new sessions
// take stripe_hash.
class log_hash {
  public:
    // Adds the next bytes of the log.
    void add(const unsigned char* bytes, std::size_t size);

    // The hash of the bytes added so far; adding may go on after it.
    std::uint64_t value() const;

    // The value as the history stores it, 16 hexadecimal digits.
    std::string digest() const { return hash_text(value()); }

  private:
    static constexpr std::size_t block = 32;  // four 8-byte words, one per lane
    std::array<std::uint64_t, 4> lanes_ = {0x243F6A8885A308D3ULL, 0x13198A2E03707344ULL,
                                           0xA4093822299F31D0ULL, 0x082EFA98EC4E6C89ULL};
    std::array<unsigned char, block> pending_{};
    std::size_t pending_size_ = 0;
    std::uint64_t length_ = 0;

    void add_block(const unsigned char* bytes);
};

// A streaming hash of a log's bytes, as log_hash, made of 32-bit multiplies that the vector
// paths do two or four at a time. Its value is the same on every CPU path and platform;
// the path only picks how fast it is reached.
class stripe_hash {
  public:
    // Bytes taken at a time, one 8-byte word per accumulator.
    static constexpr std::size_t stripe = 64;
    // Stripes between two scrambles of the accumulators.
    static constexpr std::size_t stripes_per_block = 16;
    // The accumulators' words, updated for a number of stripes from the given one in its block.
    using accumulate_function = void (*)(std::uint64_t* accumulators, const unsigned char* bytes,
                                         std::size_t stripes, std::size_t stripe_in_block);

    // A hash of no bytes whose additions run with the functions of the given path, which the
    // CPU must have.
    explicit stripe_hash(cpu_path path = cpu_path::portable);

    // Adds the next bytes of the log.
    void add(const unsigned char* bytes, std::size_t size);

    // The hash of the bytes added so far; adding may go on after it.
    std::uint64_t value() const;

    // The value as the history stores it, "stripes:" and 16 hexadecimal digits.
    std::string digest() const { return hash_text(hash_kind::stripes, value()); }

  private:
    std::array<std::uint64_t, 8> accumulators_{};
    std::array<unsigned char, stripe> pending_{};
    std::size_t pending_size_ = 0;
    std::size_t stripe_in_block_ = 0;
    std::uint64_t length_ = 0;
    accumulate_function accumulate_;
};
