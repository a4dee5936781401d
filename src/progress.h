// The progress lines "N lines parsed.", one per line of the log, written in large blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Bytes of progress text gathered before they are written out.
inline constexpr std::size_t progress_block = std::size_t{64} * 1024;

// The next progress line kept whole: the count's decimal digits end where " lines parsed.\n"
// begins, so adding 1 touches the last digits only, and the line is copied out in one piece of
// fixed size, which may run past it into the free part of the block.
struct progress_output {
    std::FILE* out = nullptr;  // nullptr discards the text
    std::uint64_t lines = 0;
    std::array<char, 64> line{};  // digits before position 20 (enough for any 64-bit count)
    std::size_t first_digit = 20;
    std::array<char, progress_block> block{};
    std::size_t used = 0;
    bool failed = false;  // a write failed; no more progress is written
};

// Makes the output start counting from 0 and write to out (nullptr: write nothing).
void start_progress(progress_output& progress, std::FILE* out);

// Counts one more line and adds its progress line.
void add_progress_line(progress_output& progress);

// Writes out the gathered text. A failed write (a closed pipe, say) ends the progress output
// for the rest of the run but is not an error of the run.
void flush_progress(progress_output& progress);
