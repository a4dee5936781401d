#include "app/progress.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view progress_suffix = " lines parsed.\n";

// The text is written out in blocks of this size but for the last write: as large as a pipe
// holds, and of whole pages, which is what a pipe fills without waking its reader more often
// than needed.
constexpr std::size_t block_size = std::size_t{64} * 1024;

// The longest line: the 20 digits of the largest 64-bit count and the suffix.
constexpr std::size_t longest_line = 20 + progress_suffix.size();

struct progress_output {
    std::FILE* out = nullptr;  // nullptr discards the text
    std::uint64_t lines = 0;   // progress lines counted so far
    // The count's digits, kept as text and counted up in place: cheaper than converting each
    // count anew. The last digits_size bytes hold them.
    std::array<char, 20> digits{};
    std::size_t digits_size = 0;
    // A block, and room for the line that fills it.
    std::array<char, block_size + longest_line> text{};
    std::size_t text_size = 0;
    bool failed = false;  // a write failed; no more progress is written
};

// One standard output.
progress_output progress;

void write_text(std::size_t size) {
    if (std::fwrite(progress.text.data(), 1, size, progress.out) != size ||
        std::fflush(progress.out) != 0) {
        progress.failed = true;
    }
    progress.text_size -= size;
    std::memmove(progress.text.data(), progress.text.data() + size, progress.text_size);
}

void count_up() {
    char* first = progress.digits.data() + progress.digits.size() - progress.digits_size;
    char* digit = progress.digits.data() + progress.digits.size();
    while (digit != first && *(digit - 1) == '9') {
        *--digit = '0';
    }
    if (digit == first) {
        *--first = '1';
        ++progress.digits_size;
    } else {
        ++*(digit - 1);
    }
}

}  // namespace

void start_progress(std::FILE* out) {
    progress.out = out;
    progress.lines = 0;
    progress.digits_size = 0;
    progress.text_size = 0;
    progress.failed = out == nullptr;
}

void add_progress_lines(std::uint64_t count) {
    if (progress.failed) {
        progress.lines += count;  // counted, not written, once the output has failed
        return;
    }
    for (; count > 0; --count) {
        ++progress.lines;
        count_up();
        char* at = progress.text.data() + progress.text_size;
        at = std::copy_n(progress.digits.end() - progress.digits_size, progress.digits_size, at);
        at = std::copy(progress_suffix.begin(), progress_suffix.end(), at);
        progress.text_size = static_cast<std::size_t>(at - progress.text.data());
        if (progress.text_size >= block_size) {
            write_text(block_size);
            if (progress.failed) {
                progress.lines += count - 1;
                return;
            }
        }
    }
}

void flush_progress() {
    if (!progress.failed && progress.text_size > 0) {
        write_text(progress.text_size);
    }
}

std::uint64_t progress_lines_counted() {
    return progress.lines;
}
