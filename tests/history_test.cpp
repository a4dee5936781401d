// The history's pieces below its SQL: the log's hash, which must not depend on how the bytes
// arrive, the hashes the scanner takes as it reads a log, how recording uses them, and the start
// of a session read from the log's first line.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "count/tables.h"
#include "history/history.h"
#include "scan/cpu.h"
#include "scan/line_scanner.h"
#include "test_support.h"

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

// The scanner hashes the file's bytes as they are read, before the text-mode rules drop carriage
// returns and cut at a zero byte or a byte 26, and takes the hash at each length asked for:
// lengths inside the 32-byte block of the hash, at and around the edges of its 128 KiB reads,
// asked twice, out of order, at the end itself and past it. Reading the log again must give
// the same hashes, which the history compares with those it recorded.
TEST(ScanHash, TheHashesOfReadingTheLogAgain) {
    // With a byte 26 the pass stops in the second read, which is still counted and hashed whole.
    for (bool stop : {false, true}) {
        std::string log;
        for (std::size_t i = 0; log.size() < 300'000; ++i) {
            log += "Ann^7 was railed by Bob^7\r\n";
            log += std::string(i % 7, '\0') + "chat " + std::to_string(i) + "\n";
            if (stop && i == 5000) {
                log += '\x1a';
            }
        }
        const std::uint64_t size = log.size();
        const std::vector<std::uint64_t> lengths = {
            1, 31, 32, 33, 131071, 131072, 131073, 262144, size - 1, 0, 32, size, size + 1, 7};
        for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
            auto path = static_cast<cpu_path>(p);
            if (!cpu_has(path)) {
                continue;
            }
            std::FILE* in = std::tmpfile();
            ASSERT_NE(in, nullptr);
            ASSERT_EQ(std::fwrite(log.data(), 1, log.size(), in), log.size());
            std::rewind(in);
            start_scan(in, path);
            hash_scan_at(lengths);
            line_batch batch;
            scan_result result = scan_result::lines;
            while ((result = next_batch(batch)) == scan_result::lines) {
            }
            EXPECT_EQ(result, scan_result::end_of_log);
            std::uint64_t read = bytes_scanned();
            EXPECT_EQ(read, stop ? 262144 : size) << cpu_path_names[p];
            std::vector<log_digest> digests = scan_digests();
            std::fclose(in);
            std::set<std::uint64_t> expected_lengths = {read};
            for (std::uint64_t length : lengths) {
                if (length <= read) {
                    expected_lengths.insert(length);
                }
            }
            ASSERT_EQ(digests.size(), expected_lengths.size()) << cpu_path_names[p];
            auto expected = expected_lengths.begin();
            for (const log_digest& digest : digests) {
                EXPECT_EQ(digest.length, *expected) << cpu_path_names[p];
                EXPECT_EQ(hash_text(digest.hash), hash_in_pieces(log.substr(0, *expected), 4096))
                    << cpu_path_names[p] << " at " << *expected;
                ++expected;
            }
        }
    }
}

// A scan not asked to hash takes no hash, but counts the bytes it reads.
TEST(ScanHash, NoneUnlessAsked) {
    std::string log = "Ann^7 was railed by Bob^7\n\r\n";
    std::FILE* in = std::tmpfile();
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(std::fwrite(log.data(), 1, log.size(), in), log.size());
    std::rewind(in);
    start_scan(in, cpu_path::portable);
    line_batch batch;
    while (next_batch(batch) == scan_result::lines) {
    }
    EXPECT_EQ(bytes_scanned(), log.size());
    EXPECT_TRUE(scan_digests().empty());
    std::fclose(in);
}

namespace {

std::uint64_t hash_of(std::string_view bytes) {
    log_hash hash;
    hash.add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return hash.value();
}

using sessions_lines = std::pair<std::uint64_t, std::uint64_t>;

class RecordingWithDigests : public TablesTest {
  protected:
    void SetUp() override {
        TablesTest::SetUp();
        folder_ = std::filesystem::temp_directory_path() /
                  ("fragtally-history-test-" +
                   std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    // Counts the log as a run does and records it with the given digests in place of the
    // scanner's.
    bool record(std::string_view bytes, const std::vector<log_digest>& digests) {
        std::string log = (folder_ / "qconsole.log").string();
        std::ofstream(log, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        empty_tables();
        run_on(bytes);
        run_results results = results_of_pass(log);
        results.log_bytes = bytes.size();
        return record_session(history(), results, digests);
    }

    std::string history() const { return (folder_ / "h.db").string(); }

    // The sessions' count and their lines, from the history.
    sessions_lines sessions_and_lines() const {
        std::optional<run_results> results = results_from_history(history(), {});
        EXPECT_TRUE(results.has_value());
        return results ? sessions_lines(results->history->sessions, results->lines)
                       : sessions_lines(0, 0);
    }

  private:
    std::filesystem::path folder_;
};

}  // namespace

// The pass hashes the log at the recorded lengths it was told of before it began; a session
// recorded meanwhile has a length it did not hash, which recording reads the log again for.
// Hashes that the pass took are what counts: a wrong one at a recorded length makes the log
// another session, though reading the log again would have matched it.
TEST_F(RecordingWithDigests, ALengthThePassDidNotHashIsReadAgain) {
    const std::string first =
        "Ann was railed by Bob\nBob was railed by Ann\nExit: fraglimit hit.\n";
    const std::string grown = first + "Cy was railed by Ann\n";
    const std::string more = grown + "Ann was railed by Cy\n";
    ASSERT_TRUE(record(first, {{first.size(), hash_of(first)}}));
    EXPECT_EQ(sessions_and_lines(), sessions_lines(1, 3));
    // Only the end hashed, as when the first session was recorded during the pass.
    ASSERT_TRUE(record(grown, {{grown.size(), hash_of(grown)}}));
    EXPECT_EQ(sessions_and_lines(), sessions_lines(1, 4));
    ASSERT_TRUE(record(more, {{grown.size(), hash_of(grown) ^ 1}, {more.size(), hash_of(more)}}));
    EXPECT_EQ(sessions_and_lines(), sessions_lines(2, 9));
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
