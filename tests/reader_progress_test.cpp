// The scanner's lines against a plain split of the log, on every CPU path this machine has, and
// the progress text against the plain form.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "cpu.h"
#include "expected_progress.h"
#include "progress.h"
#include "tables.h"
#include "test_support.h"

namespace {

using Scanner = TablesTest;

// Logs of every size up to a few words of the line-feed map, of bytes that are mostly line
// feeds, blanks and the bytes the text-mode rules treat apart, with a phrase now and then so
// that some lines are handed to the pass: every path must step through the same lines.
TEST_F(Scanner, LinesAreThoseOfAPlainSplitOnEveryPath) {
    std::mt19937 random(7);
    const std::vector<std::string> pieces = {
        "\n",   "\n",   "\n",       "a",        " ", "\r", std::string(1, '\0'),
        "\xff", "\x8a", "cratered", "fraglimit"};
    for (std::size_t size = 0; size <= 300; ++size) {
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
        std::size_t start = 0;
        while (start < data.size()) {
            std::size_t lf = data.find('\n', start);
            std::size_t end = lf == std::string::npos ? data.size() : lf + 1;
            std::string line = data.substr(start, end - start);
            line = line.substr(0, line.find('\0'));
            round_ends += line.find("fraglimit") != std::string::npos ? 1 : 0;
            ++lines;
            start = end;
        }
        for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
            auto path = static_cast<cpu_path>(p);
            if (!cpu_has(path)) {
                continue;
            }
            cpu_path_scope on(path);
            init();
            pass_run run = run_on(log);
            ASSERT_EQ(run.progress, expected_progress(lines))
                << cpu_path_names[p] << ", size " << size;
            ASSERT_EQ(lines_read, lines) << cpu_path_names[p] << ", size " << size;
            ASSERT_EQ(rounds, std::min(round_ends, round_limit + 1))
                << cpu_path_names[p] << ", size " << size;
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
