// The history's pieces that need no file: the log's hash, which must not depend on how the
// bytes arrive, and the start of a session read from the log's first line.
#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "history/history.h"

namespace {

std::string hash_in_pieces(std::string_view bytes, std::size_t piece) {
    log_hash hash;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        std::string_view part = bytes.substr(at, piece);
        hash.add(reinterpret_cast<const unsigned char*>(part.data()), part.size());
    }
    return hash.digest();
}

std::string some_bytes(std::size_t size) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        bytes += static_cast<char>((i * 131 + i / 7) & 0xFF);
    }
    return bytes;
}

}  // namespace

TEST(LogHash, TheSameWhateverThePiecesTheBytesComeIn) {
    // Lengths around the 32-byte block, pieces smaller than, equal to and across blocks.
    for (std::size_t size : {0U, 1U, 7U, 8U, 31U, 32U, 33U, 64U, 100U, 1000U}) {
        std::string bytes = some_bytes(size);
        std::string whole = hash_in_pieces(bytes, size == 0 ? 1 : size);
        for (std::size_t piece : {1U, 3U, 8U, 31U, 32U, 33U, 500U}) {
            EXPECT_EQ(hash_in_pieces(bytes, piece), whole) << size << " in pieces of " << piece;
        }
    }
}

TEST(LogHash, DigestLeavesTheHashGoingOn) {
    std::string bytes = some_bytes(200);
    log_hash hash;
    hash.add(reinterpret_cast<const unsigned char*>(bytes.data()), 77);
    EXPECT_EQ(hash.digest(), hash_in_pieces(bytes.substr(0, 77), 77));
    hash.add(reinterpret_cast<const unsigned char*>(bytes.data()) + 77, bytes.size() - 77);
    EXPECT_EQ(hash.digest(), hash_in_pieces(bytes, 200));
}

TEST(LogHash, EveryByteAndTheLengthCount) {
    // Each prefix of a block of zeros, and each single byte changed, gives a hash of its own:
    // zeros padding the last block must not make two lengths alike.
    std::set<std::string> seen;
    std::string zeros(70, '\0');
    for (std::size_t size = 0; size <= zeros.size(); ++size) {
        EXPECT_TRUE(seen.insert(hash_in_pieces(zeros.substr(0, size), 16)).second) << size;
    }
    std::string bytes = some_bytes(96);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::string changed = bytes;
        changed[i] = static_cast<char>(changed[i] ^ 1);
        EXPECT_TRUE(seen.insert(hash_in_pieces(changed, 96)).second) << i;
    }
    EXPECT_EQ(hash_in_pieces(bytes, 96).size(), 16U);
}

TEST(SessionStart, FromTheFirstLine) {
    struct start_case {
        std::string_view line;
        std::optional<std::string> start;
    };
    const std::vector<start_case> cases = {
        {"logfile opened on Fri Dec 11 21:04:05 2026", "2026-12-11 21:04:05"},
        // asctime pads a day below 10 with a blank.
        {"logfile opened on Mon Feb  2 03:04:05 2026", "2026-02-02 03:04:05"},
        {"logfile opened on Tue Sep 30 23:59:59 1999\r", "1999-09-30 23:59:59"},
        {"logfile opened on Fri Foo 11 21:04:05 2026", std::nullopt},
        {"logfile opened on Fri Dec 32 21:04:05 2026", std::nullopt},
        {"logfile opened on Fri Dec 11 24:04:05 2026", std::nullopt},
        {"logfile opened on", std::nullopt},
        {"------- Server Initialization -------", std::nullopt},
        {"", std::nullopt},
    };
    for (const start_case& c : cases) {
        EXPECT_EQ(session_start_of(c.line), c.start) << c.line;
    }
}
