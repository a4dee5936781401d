// A log read as it grows: the scanner's follow mode, the pass that waits and goes on, and results
// taken mid-pass, each compared with one pass over the whole log.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/progress.h"
#include "count/classic_rules.h"
#include "count/full_rules.h"
#include "count/pass.h"
#include "count/tables.h"
#include "report/report_json.h"
#include "scan/line_scanner.h"
#include "scan/log_hash.h"

namespace {

// A log with every kind of line the scanner treats apart: obituaries seen again (the memo),
// round ends, a carriage return, a zero byte, an empty line and a line longer than the scanner
// examines.
std::string sample_log() {
    std::string log;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 40; ++i) {
            log +=
                "P" + std::to_string(i % 7) + "^7 was railed by P" + std::to_string(i % 5) + "^7\n";
            log += i % 9 == 0 ? "chat: gg\r\n" : "P3^7 ate P1^7's rocket\n";
        }
        log += "P2^7 hit the fraglimit.\n";
    }
    log += std::string(300, 'x') + " was railed by Sam\n\nKim^7 cratered.\n";
    log += std::string("Bob^7 died.\0tail\n", 17);
    log += "Bob^7 was railed by Kim^7";  // no line feed: waits while the log is followed
    return log;
}

std::string json_of(const run_results& results) {
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    EXPECT_TRUE(write_json(out, results));
    std::rewind(out);
    std::string text;
    std::vector<char> chunk(4096);
    for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), out)) > 0;) {
        text.append(chunk.data(), got);
    }
    std::fclose(out);
    return text;
}

std::FILE* file_of(const std::string& bytes) {
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fflush(file);
    std::rewind(file);
    return file;
}

// A log on disk that a scan reads while the test writes on, through a stream of its own, as
// the game does.
class growing_log {
  public:
    explicit growing_log(const std::string& start) {
        std::string name = ::testing::TempDir() + "follow_XXXXXX";
        int fd = mkstemp(name.data());
        EXPECT_GE(fd, 0);
        close(fd);
        path_ = name;
        append(start);
        in_ = std::fopen(path_.c_str(), "rb");
        EXPECT_NE(in_, nullptr);
    }
    ~growing_log() {
        std::fclose(in_);
        std::remove(path_.c_str());
    }
    growing_log(const growing_log&) = delete;
    growing_log& operator=(const growing_log&) = delete;

    std::FILE* in() const { return in_; }

    void append(const std::string& bytes) const {
        std::FILE* out = std::fopen(path_.c_str(), "ab");
        ASSERT_NE(out, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    }

  private:
    std::string path_;
    std::FILE* in_ = nullptr;
};

// The log's bytes up to its last line feed: what a followed log has counted.
std::string whole_lines(const std::string& bytes) {
    return bytes.substr(0, bytes.rfind('\n') + 1);
}

std::uint64_t line_feeds_in(const std::string& bytes) {
    return static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

// The classic results of one pass over the whole log.
std::string classic_whole(const std::string& log) {
    auto tables = std::make_unique<classic_tables>();
    std::FILE* in = file_of(log);
    start_scan(in, cpu_path_of_environment());
    start_progress(nullptr);
    classic_rules rules(*tables, cpu_path_of_environment());
    progress_output progress;
    EXPECT_EQ(run_pass(rules, progress, cpu_path_of_environment()), pass_end::end_of_log);
    std::fclose(in);
    return json_of(results_of_pass(*tables, "log"));
}

std::string full_whole(const std::string& log) {
    std::FILE* in = file_of(log);
    start_scan(in, cpu_path_of_environment());
    start_progress(nullptr);
    full_count count;
    progress_output progress;
    EXPECT_EQ(run_full_pass(count, progress), scan_result::end_of_log);
    std::fclose(in);
    return json_of(count.finish("log"));
}

// Where the log is cut into three pieces: inside a line, right after a line feed, among lines
// seen again before a round end (their sightings not yet settled), inside the over-long line,
// between a carriage return and its line feed, inside the last line.
std::vector<std::pair<std::size_t, std::size_t>> cuts_of(const std::string& log) {
    std::size_t long_line = log.find(std::string(300, 'x'));
    std::size_t cr = log.find('\r');
    std::size_t round_end = log.find("fraglimit");
    return {{1, 2},
            {log.find('\n') + 1, log.size() - 3},
            {round_end - 200, round_end + 3},
            {long_line + 150, long_line + 299},
            {cr + 1, round_end + 3},
            {round_end + 24, log.size() - 1},
            {log.size() - 5, log.size()}};
}

TEST(Follow, ClassicPassWaitsAtThePieceAndCountsEachLineOnce) {
    const std::string log = sample_log();
    const std::string whole = classic_whole(log);
    cpu_path path = cpu_path_of_environment();
    for (auto [first, second] : cuts_of(log)) {
        SCOPED_TRACE(std::to_string(first) + ", " + std::to_string(second));
        auto tables = std::make_unique<classic_tables>();
        growing_log file(log.substr(0, first));
        start_scan(file.in(), path, scan_mode::follow);
        start_progress(nullptr);
        classic_rules rules(*tables, path);
        progress_output progress;
        pass_position at;
        EXPECT_EQ(run_pass(rules, progress, path, at), pass_end::waiting);
        EXPECT_EQ(at.lines, line_feeds_in(log.substr(0, first)));
        // Results mid-pass are those of the whole lines so far, and the pass goes on after them.
        std::string early = json_of(results_of_pass(*tables, "log"));
        file.append(log.substr(first, second - first));
        EXPECT_EQ(run_pass(rules, progress, path, at), pass_end::waiting);
        EXPECT_EQ(run_pass(rules, progress, path, at), pass_end::waiting);
        EXPECT_EQ(at.lines, line_feeds_in(log.substr(0, second)));
        file.append(log.substr(second));
        end_scan_input(true);
        EXPECT_EQ(run_pass(rules, progress, path, at), pass_end::end_of_log);
        EXPECT_EQ(progress_lines_counted(), at.lines);
        EXPECT_EQ(json_of(results_of_pass(*tables, "log")), whole);
        // After the last use of the tables: a pass over the whole lines of the first piece.
        EXPECT_EQ(early, classic_whole(whole_lines(log.substr(0, first))));
    }
}

TEST(Follow, EndingTheInputWithoutReadingLeavesTheFileUnread) {
    auto tables = std::make_unique<classic_tables>();
    growing_log file("Bob^7 was railed by Kim^7\nKim^7 cra");
    cpu_path path = cpu_path_of_environment();
    start_scan(file.in(), path, scan_mode::follow);
    start_progress(nullptr);
    classic_rules rules(*tables, path);
    progress_output progress;
    pass_position at;
    EXPECT_EQ(run_pass(rules, progress, path, at), pass_end::waiting);
    file.append("tered.\nSam^7 was railed by Kim^7\n");
    end_scan_input(false);
    EXPECT_EQ(run_pass(rules, progress, path, at), pass_end::end_of_log);
    // The piece is the last line, as the end of a normal log; what came after it is not read.
    EXPECT_EQ(at.lines, 2u);
    EXPECT_EQ(json_of(results_of_pass(*tables, "log")),
              classic_whole("Bob^7 was railed by Kim^7\nKim^7 cra"));
}

TEST(Follow, FullResultsMidPassLeaveTheCountAsItWas) {
    const std::string log = sample_log();
    const std::string whole = full_whole(log);
    for (auto [first, second] : cuts_of(log)) {
        SCOPED_TRACE(std::to_string(first) + ", " + std::to_string(second));
        growing_log file(log.substr(0, first));
        start_scan(file.in(), cpu_path_of_environment(), scan_mode::follow);
        start_progress(nullptr);
        auto count = std::make_unique<full_count>();
        progress_output progress;
        EXPECT_EQ(run_full_pass(*count, progress), scan_result::waiting);
        run_results early = count->results_so_far("log");
        std::string early_json = json_of(early);
        EXPECT_EQ(early.lines, line_feeds_in(log.substr(0, first)));
        file.append(log.substr(first, second - first));
        EXPECT_EQ(run_full_pass(*count, progress), scan_result::waiting);
        run_results later = count->results_so_far("log");
        file.append(log.substr(second));
        end_scan_input(true);
        EXPECT_EQ(run_full_pass(*count, progress), scan_result::end_of_log);
        // Rounds spilled since still leave the earlier results' rounds readable as they were.
        EXPECT_EQ(json_of(early), early_json);
        std::string later_json = json_of(later);
        EXPECT_EQ(json_of(count->finish("log")), whole);
        EXPECT_EQ(early_json, full_whole(whole_lines(log.substr(0, first))));
        EXPECT_EQ(later_json, full_whole(whole_lines(log.substr(0, second))));
    }
}

}  // namespace

// The history of a followed log takes digests as it grows, one at each recording: every call
// hands out the earlier ones again, with the lengths asked for beforehand in their place, and
// each is the hash of the log's first bytes of its length.
TEST(Follow, DigestsTakenAsTheLogGrowsKeepTheEarlierOnes) {
    const std::string log = sample_log();
    auto hash_of = [&](const log_digest& digest) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(log.data());
        auto size = static_cast<std::size_t>(digest.length);
        if (digest.kind == hash_kind::lanes) {
            log_hash hash;
            hash.add(bytes, size);
            return hash.value();
        }
        stripe_hash hash;
        hash.add(bytes, size);
        return hash.value();
    };
    const std::vector<std::size_t> pieces = {100, 101, 1500, log.size()};
    // A length recorded before, by the hash of earlier sessions, reached by the third piece.
    const std::uint64_t asked = 700;
    growing_log file(log.substr(0, pieces[0]));
    start_scan(file.in(), cpu_path_of_environment(), scan_mode::follow);
    hash_scan_at({{asked, hash_kind::lanes}, {log.size() + 10, hash_kind::stripes}});
    std::vector<log_digest> before;
    for (std::size_t piece = 0; piece < pieces.size(); ++piece) {
        SCOPED_TRACE(pieces[piece]);
        if (piece > 0) {
            file.append(log.substr(pieces[piece - 1], pieces[piece] - pieces[piece - 1]));
        }
        line_batch batch;
        while (next_batch(batch) == scan_result::lines) {
        }
        ASSERT_EQ(bytes_scanned(), pieces[piece]);
        std::vector<log_digest> digests = scan_digests();
        ASSERT_GE(digests.size(), before.size() + 1);
        for (std::size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(digests[i].length, before[i].length);
            EXPECT_EQ(digests[i].hash, before[i].hash);
        }
        for (std::size_t i = 0; i < digests.size(); ++i) {
            EXPECT_EQ(digests[i].hash, hash_of(digests[i])) << digests[i].length;
            // Only the length asked for takes the earlier hash.
            EXPECT_EQ(digests[i].kind,
                      digests[i].length == asked ? hash_kind::lanes : hash_kind::stripes);
            if (i > 0) {
                EXPECT_LT(digests[i - 1].length, digests[i].length);
            }
        }
        EXPECT_EQ(digests.back().length, pieces[piece]);
        bool has_asked = std::any_of(digests.begin(), digests.end(),
                                     [&](const log_digest& d) { return d.length == asked; });
        EXPECT_EQ(has_asked, pieces[piece] >= asked);
        before = digests;
    }
    // Asked again at the same length, nothing is added.
    EXPECT_EQ(scan_digests().size(), before.size());
}
