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
// change, and written out from where it lies rather than copied line by line into a block.
constexpr std::size_t window_thousands = 4;

// The text is written out in blocks of this size but for the last write: as large as a pipe
// holds, and of whole pages, which is what a pipe fills without waking its reader more often
// than needed. What is left short of a block when the window moves on goes just before it, in
// room kept for it.
constexpr std::size_t block_size = std::size_t{64} * 1024;

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
    // Room for what is left over, then the window's text.
    std::array<char, block_size + window_thousands * lines_per_thousand * longest_line> text{};
    std::size_t text_size = 0;  // of the window's text
    bool window_ready = false;
    std::size_t unwritten_at = block_size;  // where the text counted but not written starts
    bool failed = false;                    // a write failed; no more progress is written
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

char* window_text() {
    return progress.text.data() + block_size;
}

void write_thousand(const thousand_text& thousand) {
    char* at = window_text() + thousand.offset;
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
    std::array<thousand_text, window_thousands> next = progress.thousands;
    bool same_layout = progress.window_ready;
    for (std::size_t j = 0; j < window_thousands; ++j) {
        set_digits(next[j], first + j);
        same_layout = same_layout && next[j].digit_count != 0 &&
                      next[j].digit_count == progress.thousands[j].digit_count;
    }
    if (!same_layout) {
        std::size_t offset = 0;
        for (thousand_text& thousand : next) {
            thousand.offset = offset;
            write_thousand(thousand);
            offset += thousand_size(thousand);
        }
        progress.text_size = offset;
        progress.window_ready = true;
    } else {
        // Every line keeps its place: only the digits that change are rewritten, one column of
        // a thousand lines at a time.
        for (std::size_t j = 0; j < window_thousands; ++j) {
            std::size_t size = line_size(next[j]);
            char* lines = window_text() + next[j].offset;
            for (std::size_t d = 0; d < next[j].digit_count; ++d) {
                char digit = next[j].digits[d];
                if (progress.thousands[j].digits[d] != digit) {
                    for (std::size_t n = 0; n < lines_per_thousand; ++n) {
                        lines[n * size + d] = digit;
                    }
                }
            }
        }
    }
    progress.thousands = next;
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

// Writes out the text of the lines counted but not written, which lie in the window (or, what
// was left over, just before it): all of it, or only whole blocks of it.
void write_unwritten(bool all) {
    if (progress.failed || !progress.window_ready) {
        return;
    }
    std::size_t counted_end = block_size + line_offset(progress.lines + 1);
    while (!progress.failed && counted_end - progress.unwritten_at >= (all ? 1 : block_size)) {
        std::size_t size = std::min(counted_end - progress.unwritten_at, block_size);
        if (std::fwrite(progress.text.data() + progress.unwritten_at, 1, size, progress.out) !=
                size ||
            std::fflush(progress.out) != 0) {
            progress.failed = true;
        }
        progress.unwritten_at += size;
    }
}

// Makes the window hold the thousands from `first` on, after writing out what can be written
// of the text counted so far and keeping the rest.
void move_window_on(std::uint64_t first) {
    std::size_t left = 0;
    if (progress.window_ready && !progress.failed) {
        write_unwritten(false);
        std::size_t counted_end = block_size + line_offset(progress.lines + 1);
        left = counted_end - progress.unwritten_at;
        std::memmove(progress.text.data() + block_size - left,
                     progress.text.data() + progress.unwritten_at, left);
    }
    progress.unwritten_at = block_size - left;
    move_window(first);
}

}  // namespace

void start_progress(std::FILE* out) {
    progress.out = out;
    progress.lines = 0;
    progress.window_ready = false;
    progress.unwritten_at = block_size;
    progress.failed = out == nullptr;
}

void add_progress_lines(std::uint64_t count) {
    while (count > 0 && !progress.failed) {
        std::uint64_t next = progress.lines + 1;
        std::uint64_t thousand = next / lines_per_thousand;
        if (!progress.window_ready || thousand < progress.thousands[0].value ||
            thousand >= progress.thousands[0].value + window_thousands) {
            move_window_on(thousand);
        }
        // A thousand at most before the text is written out as it fills blocks.
        std::uint64_t added = std::min(count, (thousand + 1) * lines_per_thousand - next);
        progress.lines += added;
        count -= added;
        write_unwritten(false);
    }
    progress.lines += count;  // counted, not written, once the output has failed
}

void flush_progress() {
    write_unwritten(true);
}

std::uint64_t progress_lines_counted() {
    return progress.lines;
}
