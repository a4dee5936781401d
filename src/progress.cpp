#include "progress.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace {

// Bytes of progress text gathered before they are written out.
constexpr std::size_t progress_block = std::size_t{64} * 1024;

// The progress text is made a thousand lines at a time: within a thousand, lines differ only in
// their last three digits, so each line is the thousand's leading digits followed by one of a
// thousand ready-made endings ("042 lines parsed.\n"), both copied in pieces of fixed size.
struct progress_output {
    std::FILE* out = nullptr;          // nullptr discards the text
    std::uint64_t lines = 0;           // progress lines counted so far
    std::array<char, 32> thousands{};  // the decimal digits of (lines + 1) / 1000, if any
    std::size_t thousands_size = 0;
    std::uint64_t thousands_of = 0;  // the value those digits spell
    std::array<char, progress_block> block{};
    std::size_t used = 0;
    bool failed = false;  // a write failed; no more progress is written
};

// Large, so in static storage; there is one standard output.
progress_output progress;

constexpr std::string_view progress_suffix = " lines parsed.\n";
constexpr std::uint64_t lines_per_thousand = 1000;

// Each ending is copied as a whole piece of this size, whatever of it is the ending; a fixed
// size copies fastest.
constexpr std::size_t ending_piece = 32;
constexpr std::size_t ending_size = 3 + progress_suffix.size();
static_assert(ending_size <= ending_piece);

// The same for the leading digits.
constexpr std::size_t thousands_piece = 24;
static_assert(thousands_piece <= sizeof(progress_output::thousands));
static_assert(thousands_piece >= 17, "the thousands of any 64-bit count");

// Free bytes the copies of one line may write into past its end.
constexpr std::size_t block_slack = thousands_piece + ending_piece;

using ending = std::array<char, ending_piece>;

// "000 lines parsed.\n" to "999 lines parsed.\n".
constexpr std::array<ending, lines_per_thousand> all_endings() {
    std::array<ending, lines_per_thousand> all{};
    for (std::size_t n = 0; n < all.size(); ++n) {
        all[n][0] = static_cast<char>('0' + n / 100);
        all[n][1] = static_cast<char>('0' + n / 10 % 10);
        all[n][2] = static_cast<char>('0' + n % 10);
        std::copy(progress_suffix.begin(), progress_suffix.end(), all[n].begin() + 3);
    }
    return all;
}

constexpr std::array<ending, lines_per_thousand> endings = all_endings();

std::size_t room_left() {
    std::size_t free = progress.block.size() - progress.used;
    return free > block_slack ? free - block_slack : 0;
}

// A count below a thousand has no leading digits and no leading zeros; it is written the slow
// way, as there are only 999 such lines.
void add_short_line(std::uint64_t count) {
    char* at = progress.block.data() + progress.used;
    char* end = std::to_chars(at, at + 3, count).ptr;
    std::memcpy(end, progress_suffix.data(), progress_suffix.size());
    progress.used += static_cast<std::size_t>(end - at) + progress_suffix.size();
}

void set_thousands(std::uint64_t thousands) {
    progress.thousands.fill('\0');
    char* end = std::to_chars(progress.thousands.data(),
                              progress.thousands.data() + progress.thousands.size(), thousands)
                    .ptr;
    progress.thousands_size = static_cast<std::size_t>(end - progress.thousands.data());
    progress.thousands_of = thousands;
}

// Adds lines from one thousand, as many as fit in the block, and returns how many.
std::uint64_t add_within_thousand(std::uint64_t count) {
    std::uint64_t next = progress.lines + 1;
    if (next / lines_per_thousand != progress.thousands_of) {
        set_thousands(next / lines_per_thousand);
    }
    std::size_t line_size = progress.thousands_size + ending_size;
    std::size_t first = next % lines_per_thousand;
    std::uint64_t n =
        std::min({count, lines_per_thousand - first, std::uint64_t{room_left() / line_size}});
    char* at = progress.block.data() + progress.used;
    for (std::size_t i = 0; i < n; ++i) {
        std::memcpy(at, progress.thousands.data(), thousands_piece);
        std::memcpy(at + progress.thousands_size, endings[first + i].data(), ending_piece);
        at += line_size;
    }
    progress.used += n * line_size;
    return n;
}

}  // namespace

void start_progress(std::FILE* out) {
    progress.out = out;
    progress.lines = 0;
    progress.thousands.fill('\0');
    progress.thousands_size = 0;
    progress.thousands_of = 0;
    progress.used = 0;
    progress.failed = out == nullptr;
}

void add_progress_lines(std::uint64_t count) {
    while (count > 0 && !progress.failed) {
        std::uint64_t added = 0;
        if (room_left() < progress.thousands.size() + ending_size) {
            flush_progress();
        } else if (progress.lines + 1 < lines_per_thousand) {
            add_short_line(progress.lines + 1);
            added = 1;
        } else {
            added = add_within_thousand(count);
        }
        progress.lines += added;
        count -= added;
    }
    progress.lines += count;  // counted, not written, once the output has failed
}

void flush_progress() {
    if (!progress.failed && progress.used > 0) {
        if (std::fwrite(progress.block.data(), 1, progress.used, progress.out) != progress.used ||
            std::fflush(progress.out) != 0) {
            progress.failed = true;
        }
    }
    progress.used = 0;
}

std::uint64_t progress_lines_counted() {
    return progress.lines;
}
