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

// A hash of either kind: log_hash, which sessions recorded before stripe_hash hold, or
// stripe_hash on one CPU path.
struct hash_maker {
    std::string name;
    hash_kind kind;
    cpu_path path;
};

std::vector<hash_maker> hash_makers() {
    std::vector<hash_maker> makers = {{"lanes", hash_kind::lanes, cpu_path::portable}};
    for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
        auto path = static_cast<cpu_path>(p);
        if (cpu_has(path)) {
            makers.push_back(
                {"stripes on " + std::string(cpu_path_names[p]), hash_kind::stripes, path});
        }
    }
    return makers;
}

template <typename Hash>
std::uint64_t add_in_pieces(Hash hash, std::string_view bytes, std::size_t piece) {
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        std::string_view part = bytes.substr(at, piece);
        hash.add(reinterpret_cast<const unsigned char*>(part.data()), part.size());
    }
    return hash.value();
}

std::string hash_in_pieces(const hash_maker& maker, std::string_view bytes, std::size_t piece) {
    std::uint64_t value = maker.kind == hash_kind::lanes
                              ? add_in_pieces(log_hash(), bytes, piece)
                              : add_in_pieces(stripe_hash(maker.path), bytes, piece);
    return hash_text(maker.kind, value);
}

std::string hash_in_pieces(std::string_view bytes, std::size_t piece) {
    return hash_in_pieces({"lanes", hash_kind::lanes, cpu_path::portable}, bytes, piece);
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
    // Lengths around the 32-byte block of log_hash and the 64-byte stripe and 1 KiB block of
    // stripe_hash, pieces smaller than, equal to and across them.
    for (const hash_maker& maker : hash_makers()) {
        for (std::size_t size :
             {0U, 1U, 7U, 8U, 31U, 32U, 33U, 63U, 64U, 65U, 100U, 1000U, 1024U, 1025U, 3100U}) {
            std::string bytes = some_bytes(size);
            std::string whole = hash_in_pieces(maker, bytes, size == 0 ? 1 : size);
            for (std::size_t piece : {1U, 3U, 8U, 31U, 32U, 33U, 64U, 500U, 1024U}) {
                EXPECT_EQ(hash_in_pieces(maker, bytes, piece), whole)
                    << maker.name << ": " << size << " in pieces of " << piece;
            }
        }
    }
}

TEST(LogHash, DigestLeavesTheHashGoingOn) {
    std::string bytes = some_bytes(2200);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    log_hash lanes;
    lanes.add(data, 77);
    EXPECT_EQ(lanes.digest(), hash_in_pieces(bytes.substr(0, 77), 77));
    lanes.add(data + 77, bytes.size() - 77);
    EXPECT_EQ(lanes.digest(), hash_in_pieces(bytes, 200));
    for (const hash_maker& maker : hash_makers()) {
        if (maker.kind != hash_kind::stripes) {
            continue;
        }
        stripe_hash stripes(maker.path);
        std::size_t done = 0;
        for (std::size_t at : {77U, 1024U, 1100U, 2200U}) {
            stripes.add(data + done, at - done);
            done = at;
            EXPECT_EQ(stripes.digest(), hash_in_pieces(maker, bytes.substr(0, at), 5))
                << maker.name << " at " << at;
        }
    }
}

TEST(LogHash, EveryByteAndTheLengthCount) {
    // Each prefix of a run of zeros, and each single byte changed, gives a hash of its own:
    // zeros padding the last block or stripe must not make two lengths alike.
    for (const hash_maker& maker : hash_makers()) {
        std::set<std::string> seen;
        std::string zeros(140, '\0');
        for (std::size_t size = 0; size <= zeros.size(); ++size) {
            EXPECT_TRUE(seen.insert(hash_in_pieces(maker, zeros.substr(0, size), 16)).second)
                << maker.name << ": " << size;
        }
        std::string bytes = some_bytes(1100);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            for (int bit : {0, 7}) {
                std::string changed = bytes;
                changed[i] = static_cast<char>(changed[i] ^ (1 << bit));
                EXPECT_TRUE(seen.insert(hash_in_pieces(maker, changed, 1100)).second)
                    << maker.name << ": byte " << i << " bit " << bit;
            }
        }
    }
    EXPECT_EQ(hash_in_pieces(some_bytes(96), 96).size(), 16U);
}

// stripe_hash sums its stripes' products, so the scramble at each block is what makes their
// order count: stripes swapped within a block and across blocks give other hashes.
TEST(LogHash, StripesInAnotherOrderDiffer) {
    std::string bytes = some_bytes(4096);
    auto swapped = [&](std::size_t a, std::size_t b) {
        std::string copy = bytes;
        for (std::size_t k = 0; k < stripe_hash::stripe; ++k) {
            std::swap(copy[a * stripe_hash::stripe + k], copy[b * stripe_hash::stripe + k]);
        }
        return copy;
    };
    for (const hash_maker& maker : hash_makers()) {
        std::string original = hash_in_pieces(maker, bytes, 4096);
        for (auto [a, b] : {std::pair(0U, 1U), std::pair(3U, 15U), std::pair(0U, 16U),
                            std::pair(15U, 16U), std::pair(17U, 63U)}) {
            EXPECT_NE(hash_in_pieces(maker, swapped(a, b), 4096), original)
                << maker.name << ": stripes " << a << " and " << b;
        }
    }
}

// The histories on every platform and CPU path hold these values for these bytes: a change
// would make every session recorded before it another log.
TEST(LogHash, ValuesThatRecordedSessionsHold) {
    struct pinned {
        std::size_t size;
        std::string lanes;
        std::string stripes;
    };
    const std::vector<pinned> values = {
        {0, "aa80f7466ca3941f", "stripes:4caa019ed83658d9"},
        {5, "cd9f53a482c9ee99", "stripes:eba41d11beac1893"},
        {1100, "910a237941254a19", "stripes:ebea223cb656d191"},
        {70000, "5d26e125a8fe3405", "stripes:fae55610b1555691"},
    };
    for (const pinned& value : values) {
        std::string bytes = some_bytes(value.size);
        for (const hash_maker& maker : hash_makers()) {
            EXPECT_EQ(hash_in_pieces(maker, bytes, 999),
                      maker.kind == hash_kind::lanes ? value.lanes : value.stripes)
                << maker.name << ": " << value.size;
        }
    }
}

TEST(LogHash, KindOfAStoredText) {
    EXPECT_EQ(kind_of_hash_text(hash_text(hash_kind::stripes, 12)), hash_kind::stripes);
    EXPECT_EQ(kind_of_hash_text(hash_text(hash_kind::lanes, 12)), hash_kind::lanes);
    EXPECT_EQ(hash_text(hash_kind::lanes, 12), "000000000000000c");
    EXPECT_EQ(hash_text(hash_kind::stripes, 12), "stripes:000000000000000c");
}

// The scanner hashes the file's bytes as they are read, before the text-mode rules drop carriage
// returns and cut at a zero byte or a byte 26, and takes the hash of the kind asked for at each
// length: lengths inside the blocks of the hashes, at and around the edges of its 128 KiB reads,
// asked twice, of both kinds at one length, out of order, at the end itself and past it, and
// stripe_hash at the end. Reading the log again must give the same hashes, which the history
// compares with those it recorded.
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
        using enum hash_kind;
        const std::vector<hash_point> points = {
            {1, stripes},      {31, lanes},     {32, lanes},     {33, stripes},
            {64, stripes},     {1025, lanes},   {131071, lanes}, {131072, stripes},
            {131073, stripes}, {131073, lanes}, {262144, lanes}, {size - 1, stripes},
            {0, lanes},        {32, lanes},     {size, lanes},   {size + 1, stripes},
            {7, stripes},      {200000, lanes}};
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
            hash_scan_at(points);
            line_batch batch;
            scan_result result = scan_result::lines;
            while ((result = next_batch(batch)) == scan_result::lines) {
            }
            EXPECT_EQ(result, scan_result::end_of_log);
            std::uint64_t read = bytes_scanned();
            EXPECT_EQ(read, stop ? 262144 : size) << cpu_path_names[p];
            std::vector<log_digest> digests = scan_digests();
            std::fclose(in);
            std::set<std::pair<std::uint64_t, hash_kind>> expected_points = {{read, stripes}};
            for (const hash_point& point : points) {
                if (point.length <= read) {
                    expected_points.insert({point.length, point.kind});
                }
            }
            ASSERT_EQ(digests.size(), expected_points.size()) << cpu_path_names[p];
            auto expected = expected_points.begin();
            for (const log_digest& digest : digests) {
                auto [length, kind] = *expected;
                EXPECT_EQ(digest.length, length) << cpu_path_names[p];
                EXPECT_EQ(digest.kind, kind) << cpu_path_names[p] << " at " << length;
                EXPECT_EQ(
                    hash_text(digest.kind, digest.hash),
                    hash_in_pieces({"", kind, cpu_path::portable}, log.substr(0, length), 4096))
                    << cpu_path_names[p] << " at " << length;
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
    stripe_hash hash;
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
    using enum hash_kind;
    ASSERT_TRUE(record(first, {{first.size(), stripes, hash_of(first)}}));
    EXPECT_EQ(sessions_and_lines(), sessions_lines(1, 3));
    // Only the end hashed, as when the first session was recorded during the pass.
    ASSERT_TRUE(record(grown, {{grown.size(), stripes, hash_of(grown)}}));
    EXPECT_EQ(sessions_and_lines(), sessions_lines(1, 4));
    ASSERT_TRUE(record(more, {{grown.size(), stripes, hash_of(grown) ^ 1},
                              {more.size(), stripes, hash_of(more)}}));
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
