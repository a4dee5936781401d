// The hash that tells a log's bytes apart, which the history keeps for each session and the
// scanner can take as it reads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// A hash value as the history stores it: 16 hexadecimal digits.
std::string hash_text(std::uint64_t value);

// A streaming hash of a log's bytes, which together with their count tells a session's log
// apart from another: the value depends on every byte and on their number.
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
