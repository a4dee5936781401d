#include "progress.h"

#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view progress_suffix = " lines parsed.\n";
constexpr std::size_t digits_end = 20;
constexpr std::size_t copied = 40;  // a constant size copies fastest; covers the longest line
static_assert(digits_end + progress_suffix.size() <= copied);
static_assert(digits_end + copied <= sizeof(progress_output::line));

// Turns the line's count into the next one.
void count_up(progress_output& progress) {
    std::size_t i = digits_end;
    while (i > progress.first_digit && progress.line[i - 1] == '9') {
        progress.line[--i] = '0';
    }
    if (i == progress.first_digit) {
        progress.line[--progress.first_digit] = '1';
    } else {
        ++progress.line[i - 1];
    }
}

}  // namespace

void start_progress(progress_output& progress, std::FILE* out) {
    progress.out = out;
    progress.lines = 0;
    progress.line.fill('\0');
    std::memcpy(progress.line.data() + digits_end, progress_suffix.data(), progress_suffix.size());
    progress.first_digit = digits_end;
    count_up(progress);
    progress.used = 0;
    progress.failed = out == nullptr;
}

void add_progress_line(progress_output& progress) {
    ++progress.lines;
    if (!progress.failed) {
        if (progress.block.size() - progress.used < copied) {
            flush_progress(progress);
        }
        std::memcpy(progress.block.data() + progress.used,
                    progress.line.data() + progress.first_digit, copied);
        progress.used += digits_end - progress.first_digit + progress_suffix.size();
    }
    // The line is made ready for the next call only now: copied out right after its digits
    // change, it would wait for those small writes to land.
    count_up(progress);
}

void flush_progress(progress_output& progress) {
    if (!progress.failed && progress.used > 0) {
        if (std::fwrite(progress.block.data(), 1, progress.used, progress.out) != progress.used ||
            std::fflush(progress.out) != 0) {
            progress.failed = true;
        }
    }
    progress.used = 0;
}
