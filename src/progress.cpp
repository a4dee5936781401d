#include "progress.h"

#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view progress_suffix = " lines parsed.\n";
constexpr std::size_t longest_line = 20 + progress_suffix.size();

void count_one_more(progress_output& progress) {
    std::size_t i = progress.digits.size();
    while (i > progress.first_digit && progress.digits[i - 1] == '9') {
        progress.digits[--i] = '0';
    }
    if (i == progress.first_digit) {
        progress.digits[--progress.first_digit] = '1';
    } else {
        ++progress.digits[i - 1];
    }
    ++progress.lines;
}

}  // namespace

void start_progress(progress_output& progress, std::FILE* out) {
    progress.out = out;
    progress.lines = 0;
    progress.first_digit = progress.digits.size();
    progress.used = 0;
    progress.failed = out == nullptr;
}

void add_progress_line(progress_output& progress) {
    count_one_more(progress);
    if (progress.failed) {
        return;
    }
    if (progress.block.size() - progress.used < longest_line) {
        flush_progress(progress);
    }
    std::size_t width = progress.digits.size() - progress.first_digit;
    char* at = progress.block.data() + progress.used;
    std::memcpy(at, progress.digits.data() + progress.first_digit, width);
    std::memcpy(at + width, progress_suffix.data(), progress_suffix.size());
    progress.used += width + progress_suffix.size();
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
