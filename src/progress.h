// The progress lines "N lines parsed.", one per line of the log, written in large blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Bytes of progress text gathered before they are written out.
inline constexpr std::size_t progress_block = std::size_t{64} * 1024;

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

// Makes the output start counting from 0 and write to out (nullptr: write nothing).
void start_progress(progress_output& progress, std::FILE* out);

// Counts the given number of lines more and adds a progress line for each.
void add_progress_lines(progress_output& progress, std::uint64_t count);

// Counts one more line and adds its progress line.
inline void add_progress_line(progress_output& progress) {
    add_progress_lines(progress, 1);
}

// Writes out the gathered text. A failed write (a closed pipe, say) ends the progress output
// for the rest of the run but is not an error of the run.
void flush_progress(progress_output& progress);
