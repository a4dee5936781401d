// The scanner's lines against a plain split of the log, on every CPU path this machine has, and
// the progress text against the plain form.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/progress.h"
#include "count/tables.h"
#include "expected_progress.h"
#include "scan/cpu.h"
#include "test_support.h"

namespace {

using Scanner = TablesTest;

// Logs of every size up to a few words of the line-feed map, of bytes that are mostly line
// feeds, blanks and the bytes the text-mode rules treat apart, with a phrase now and then so
// that some lines are handed to the pass: every path must step through the same lines. The
// second kind of log has none of the bytes of the text-mode rules, so that its runs of whole
// lines are listed from the map, words of many line feeds and all.
TEST_F(Scanner, LinesAreThoseOfAPlainSplitOnEveryPath) {
    std::mt19937 random(7);
    const std::vector<std::vector<std::string>> kinds_of_log = {
        {"\n", "\n", "\n", "a", " ", "\r", std::string(1, '\0'), "\xff", "\x8a", "cratered",
         "fraglimit"},
        {"\n", "\n", "\n", "\n", "\n", "\n", "\n", "\n", "\n", "\n", "a", " ", "\xff", "cratered",
         "fraglimit", "fraglimit"}};
    for (std::size_t size = 0; size <= 2 * 300 + 1; ++size) {
        const std::vector<std::string>& pieces = kinds_of_log[size % 2];
        std::string log;
        while (log.size() < size) {
            log += pieces[random() % pieces.size()];
        }
        // The plain split: CR dropped, a line per line feed and a last unended one.
        std::string data;
        for (char c : log) {
            if (c != '\r') {
                data += c;
            }
        }
        std::uint64_t lines = 0;
        int round_ends = 0;
        std::vector<std::uint64_t> round_end_lines;
        std::size_t start = 0;
        while (start < data.size()) {
            std::size_t lf = data.find('\n', start);
            std::size_t end = lf == std::string::npos ? data.size() : lf + 1;
            std::string line = data.substr(start, end - start);
            line = line.substr(0, line.find('\0'));
            ++lines;
            if (line.find("fraglimit") != std::string::npos) {
                ++round_ends;
                round_end_lines.push_back(lines);
            }
            start = end;
        }
        // The fastest first, so that no path runs right after a slower one on the same log and
        // finds what that one left in memory where it should have written.
        for (std::size_t p = cpu_path_names.size(); p-- > 0;) {
            auto path = static_cast<cpu_path>(p);
            if (!cpu_has(path)) {
                continue;
            }
            empty_tables();
            pass_run run = run_on(log, path);
            ASSERT_EQ(run.progress, expected_progress(lines))
                << cpu_path_names[p] << ", size " << size;
            ASSERT_EQ(tables->lines_read, lines) << cpu_path_names[p] << ", size " << size;
            ASSERT_EQ(tables->rounds, std::min(round_ends, round_limit + 1))
                << cpu_path_names[p] << ", size " << size;
            for (std::size_t r = 0; r < round_end_lines.size() && r < max_rounds; ++r) {
                ASSERT_EQ(tables->span_of_round(static_cast<int>(r)).last_line, round_end_lines[r])
                    << cpu_path_names[p] << ", size " << size << ", round " << r;
            }
        }
    }
}

std::string written(std::FILE* out) {
    std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    EXPECT_EQ(std::fread(text.data(), 1, text.size(), out), text.size());
    return text;
}

// Lines are added in batches of odd sizes, so batches straddle thousands, new digits and full
// blocks in every way.
TEST(Progress, BatchesGiveOneLinePerCountAcrossDigitsAndBlocks) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    start_progress(out);
    const std::uint64_t batches[] = {1,    1,    8,    990,  1, 1,     1,
                                     4095, 4096, 8999, 1001, 3, 77777, 1234567};
    std::uint64_t total = 0;
    for (std::uint64_t n : batches) {
        add_progress_lines(n);
        total += n;
    }
    flush_progress();
    EXPECT_EQ(progress_lines_counted(), total);
    std::string text = written(out);
    std::fclose(out);
    EXPECT_TRUE(text == expected_progress(total)) << "the progress text differs";
}

TEST(Progress, CountsOnWithoutOutput) {
    start_progress(nullptr);
    add_progress_lines(123456);
    add_progress_lines(1);
    flush_progress();
    EXPECT_EQ(progress_lines_counted(), 123457u);
}

}  // namespace
