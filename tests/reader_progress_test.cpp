// The line-feed map of the log reader and the progress text, each against a plain form.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "log_reader.h"
#include "progress.h"

namespace {

// The fast map reads past the data and must still mark nothing there, so the bytes after the
// data are all line feeds.
TEST(LineFeedMap, AgreesWithThePlainMapAtEverySize) {
    std::mt19937 random(7);
    constexpr char bytes[] = "\n\n\na \r\0\x1a\xff\x8a";
    const std::string alphabet(bytes, sizeof bytes - 1);
    for (std::size_t size = 0; size <= 300; ++size) {
        std::string data(size + 64, '\n');
        for (std::size_t i = 0; i < size; ++i) {
            data[i] = alphabet[random() % alphabet.size()];
        }
        std::vector<std::uint64_t> fast((size + 63) / 64, ~std::uint64_t{0});
        std::vector<std::uint64_t> plain((size + 63) / 64, ~std::uint64_t{0});
        map_line_feeds(data.data(), size, fast.data());
        map_line_feeds_plain(data.data(), size, plain.data());
        ASSERT_EQ(fast, plain) << "size " << size;
        for (std::size_t i = 0; i < size; ++i) {
            bool marked = ((plain[i / 64] >> (i % 64)) & 1) != 0;
            ASSERT_EQ(marked, data[i] == '\n') << "size " << size << ", byte " << i;
        }
    }
}

std::string expected_progress(std::uint64_t count) {
    std::string out;
    for (std::uint64_t i = 1; i <= count; ++i) {
        out += std::to_string(i) + " lines parsed.\n";
    }
    return out;
}

// Lines are added in batches of odd sizes, so batches straddle thousands, new digits and full
// blocks in every way.
TEST(Progress, BatchesGiveOneLinePerCountAcrossDigitsAndBlocks) {
    static progress_output progress;
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    start_progress(progress, out);
    const std::uint64_t batches[] = {1, 8, 990, 1, 1, 4095, 4096, 8999, 1001, 3, 77777, 1234567};
    std::uint64_t total = 0;
    for (std::uint64_t n : batches) {
        add_progress_lines(progress, n);
        total += n;
        if (n == 1) {
            add_progress_line(progress);
            ++total;
        }
    }
    flush_progress(progress);
    EXPECT_EQ(progress.lines, total);
    std::string written(static_cast<std::size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    ASSERT_EQ(std::fread(written.data(), 1, written.size(), out), written.size());
    std::fclose(out);
    EXPECT_TRUE(written == expected_progress(total)) << "the progress text differs";
}

TEST(Progress, CountsOnWithoutOutput) {
    static progress_output progress;
    start_progress(progress, nullptr);
    add_progress_lines(progress, 123456);
    add_progress_line(progress);
    flush_progress(progress);
    EXPECT_EQ(progress.lines, 123457u);
    EXPECT_EQ(progress.used, 0u);
}

}  // namespace
