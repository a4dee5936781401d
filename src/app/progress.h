// The progress lines "N lines parsed.", one per line of the log, written in large blocks.
#pragma once

#include <cstdint>
#include <cstdio>

// Makes the output start counting from 0 and write to out (nullptr: write nothing).
void start_progress(std::FILE* out);

// Counts the given number of lines more and adds a progress line for each.
void add_progress_lines(std::uint64_t count);

// Returns the number of progress lines counted since start_progress.
std::uint64_t progress_lines_counted();

// Writes out the gathered text. A failed write (a closed pipe, say) ends the progress output
// for the rest of the run but is not an error of the run.
void flush_progress();

// The progress output as the pass takes it.
struct progress_output {
    // Counts the given number of lines more and adds a progress line for each.
    void add(std::uint64_t lines) const { add_progress_lines(lines); }
};
