#include "progress.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view progress_suffix = " lines parsed.\n";
constexpr std::uint64_t lines_per_thousand = 1000;

// Thousands of lines held as text at once. Within a thousand, lines differ only in their last
// three digits, and from one thousand to the next only in the digits of the thousands, mostly
// the last one: the text of a few thousands is kept, moved on by rewriting the digits that
// change, and written out straight from where it lies, without being copied into a block.
constexpr std::size_t window_thousands = 4;

// Digits of the largest thousands a 64-bit count can have, and the longest line.
constexpr std::size_t most_thousands_digits = 17;
constexpr std::size_t ending_size = 3 + progress_suffix.size();
constexpr std::size_t longest_line = most_thousands_digits + ending_size;

// One thousand of the window: lines from value * 1000 (from 1 for the first thousand, whose
// lines have no leading digits and no leading zeros) to value * 1000 + 999.
struct thousand_text {
    std::uint64_t value = 0;
    std::array<char, most_thousands_digits> digits{};
    std::size_t digit_count = 0;  // 0 for the first thousand
    std::size_t offset = 0;       // of its first line in the window's text
};

struct progress_output {
    std::FILE* out = nullptr;  // nullptr discards the text
    std::uint64_t lines = 0;   // progress lines counted so far
    std::array<thousand_text, window_thousands> thousands{};
    std::array<char, window_thousands * lines_per_thousand * longest_line> text{};
    std::size_t text_size = 0;
    bool window_ready = false;
    std::uint64_t unwritten_from = 0;  // the first line counted but not written out
    bool failed = false;               // a write failed; no more progress is written
};

// Large, so in static storage; there is one standard output.
progress_output progress;

// Where the text of the first thousand's line n (1 to 999) starts in its thousand: lines 1 to
// 9 take 16 bytes, 10 to 99 take 17, 100 to 999 take 18.
constexpr std::size_t short_line_offset(std::uint64_t n) {
    constexpr std::size_t one = progress_suffix.size() + 1;
    if (n < 10) {
        return (n - 1) * one;
    }
    if (n < 100) {
        return 9 * one + (n - 10) * (one + 1);
    }
    return 9 * one + 90 * (one + 1) + (n - 100) * (one + 2);
}

constexpr std::size_t line_size(const thousand_text& thousand) {
    return thousand.digit_count + ending_size;
}

constexpr std::size_t thousand_size(const thousand_text& thousand) {
    return thousand.digit_count == 0 ? short_line_offset(lines_per_thousand)
                                     : lines_per_thousand * line_size(thousand);
}

void set_digits(thousand_text& thousand, std::uint64_t value) {
    thousand.value = value;
    if (value == 0) {
        thousand.digit_count = 0;
        return;
    }
    char* end = std::to_chars(thousand.digits.data(),
                              thousand.digits.data() + thousand.digits.size(), value)
                    .ptr;
    thousand.digit_count = static_cast<std::size_t>(end - thousand.digits.data());
}

void write_thousand(const thousand_text& thousand) {
    char* at = progress.text.data() + thousand.offset;
    for (std::uint64_t n = thousand.digit_count == 0 ? 1 : 0; n < lines_per_thousand; ++n) {
        if (thousand.digit_count == 0) {
            at = std::to_chars(at, at + 3, n).ptr;
        } else {
            at = std::copy_n(thousand.digits.data(), thousand.digit_count, at);
            *at++ = static_cast<char>('0' + n / 100);
            *at++ = static_cast<char>('0' + n / 10 % 10);
            *at++ = static_cast<char>('0' + n % 10);
        }
        at = std::copy(progress_suffix.begin(), progress_suffix.end(), at);
    }
}

// Makes the window hold the thousands from `first` on.
void move_window(std::uint64_t first) {
    bool same_layout = progress.window_ready;
    for (std::size_t j = 0; j < window_thousands && same_layout; ++j) {
        std::array<char, most_thousands_digits> unused{};
        std::uint64_t value = first + j;
        std::size_t digits =
            value == 0
                ? 0
                : static_cast<std::size_t>(
                      std::to_chars(unused.data(), unused.data() + unused.size(), value).ptr -
                      unused.data());
        same_layout = digits != 0 && digits == progress.thousands[j].digit_count;
    }
    if (!same_layout) {
        std::size_t offset = 0;
        for (std::size_t j = 0; j < window_thousands; ++j) {
            thousand_text& thousand = progress.thousands[j];
            set_digits(thousand, first + j);
            thousand.offset = offset;
            write_thousand(thousand);
            offset += thousand_size(thousand);
        }
        progress.text_size = offset;
        progress.window_ready = true;
        return;
    }
    // Every line keeps its place: only the digits that change are rewritten, one column of a
    // thousand lines at a time.
    for (std::size_t j = 0; j < window_thousands; ++j) {
        thousand_text& thousand = progress.thousands[j];
        std::array<char, most_thousands_digits> old = thousand.digits;
        set_digits(thousand, first + j);
        std::size_t size = line_size(thousand);
        char* lines = progress.text.data() + thousand.offset;
        for (std::size_t d = 0; d < thousand.digit_count; ++d) {
            if (old[d] != thousand.digits[d]) {
                char digit = thousand.digits[d];
                for (std::size_t n = 0; n < lines_per_thousand; ++n) {
                    lines[n * size + d] = digit;
                }
            }
        }
    }
}

// Where the text of line n, which must lie in the window or just past it, starts.
std::size_t line_offset(std::uint64_t n) {
    std::uint64_t j = n / lines_per_thousand - progress.thousands[0].value;
    if (j == window_thousands) {
        return progress.text_size;
    }
    const thousand_text& thousand = progress.thousands[j];
    std::uint64_t within = n % lines_per_thousand;
    return thousand.offset +
           (thousand.digit_count == 0 ? short_line_offset(within) : within * line_size(thousand));
}

// Writes out the lines counted but not written, which lie in the window.
void write_unwritten() {
    std::uint64_t to = progress.lines + 1;
    if (progress.failed || to == progress.unwritten_from) {
        return;
    }
    std::size_t from_offset = line_offset(progress.unwritten_from);
    std::size_t size = line_offset(to) - from_offset;
    if (std::fwrite(progress.text.data() + from_offset, 1, size, progress.out) != size ||
        std::fflush(progress.out) != 0) {
        progress.failed = true;
    }
    progress.unwritten_from = to;
}

}  // namespace

void start_progress(std::FILE* out) {
    progress.out = out;
    progress.lines = 0;
    progress.unwritten_from = 1;
    progress.failed = out == nullptr;
}

void add_progress_lines(std::uint64_t count) {
    while (count > 0 && !progress.failed) {
        std::uint64_t next = progress.lines + 1;
        std::uint64_t thousand = next / lines_per_thousand;
        if (!progress.window_ready || thousand < progress.thousands[0].value ||
            thousand >= progress.thousands[0].value + window_thousands) {
            write_unwritten();
            move_window(thousand);
        }
        std::uint64_t window_end =
            (progress.thousands[0].value + window_thousands) * lines_per_thousand;
        std::uint64_t added = std::min(count, window_end - next);
        progress.lines += added;
        count -= added;
    }
    progress.lines += count;  // counted, not written, once the output has failed
}

void flush_progress() {
    write_unwritten();
}

std::uint64_t progress_lines_counted() {
    return progress.lines;
}
