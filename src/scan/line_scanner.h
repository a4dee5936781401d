// Reads the log through one fixed buffer, whatever the size of the log or of its lines, with
// the text-mode rules of the game's platform applied on every platform, and hands the pass its
// lines, most of them in runs.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "count/phrases.h"

// Readable bytes that follow the text of every line handed out, whatever its length: reads a
// little past a line stay inside the scanner's buffer (their bytes are anybody's guess).
inline constexpr std::size_t readable_after_text = 128;

// Lines handed to the pass at once: a run of whole lines of the scanner's buffer, or one line
// on its own. Each line's text runs up to and including its line feed (a last line may lack
// one), cut before its first zero byte and to at most max_line_text bytes (the rest of a longer
// line is skipped); carriage returns are dropped. The lines stay valid until the next call.
struct scanned_lines {
    // For one line on its own (line_feeds null): its text. For a run: bytes begin to end of data,
    // each line ended by a line feed and free of zero bytes; line_feeds marks data's line feeds,
    // bit i % 64 of word i / 64 for byte i, and none after the run.
    std::string_view text;
    const char* data = nullptr;
    const std::uint64_t* line_feeds = nullptr;
    // For a run: where phrases may be, mapped as the line feeds are, readable up to a word past
    // the run.
    const std::uint64_t* spots = nullptr;
    std::size_t begin = 0;
    std::size_t end = 0;
};

enum class scan_result { lines, end_of_log, failed };

// Makes the scanner start on the given open stream (opened in binary mode), from its start.
void start_scan(std::FILE* in);

// Hands out the next lines, at least one, in log order. On failed, scan_error() tells why. A
// byte 26 ends the data.
scan_result next_scanned_lines(scanned_lines& lines);

// Lines of a run that may hold a phrase, gathered a few at a time: the others are only counted.
inline constexpr std::size_t line_batch = 16;
struct line_batch_of_run {
    std::array<std::string_view, line_batch> texts;
    std::array<std::uint32_t, line_batch> passed_before;  // lines without a phrase before each
    std::size_t size = 0;
    std::uint64_t passed_after = 0;  // lines without a phrase after the last text
};

// Counts a batch of lines; returns false to stop.
using batch_counter = bool (*)(const line_batch_of_run& batch);

// Calls count(batch) on the lines handed out, in order, and returns false as soon as a call
// does, true otherwise. Every line is in one batch: as one of its texts when it may hold a
// phrase (every line with one is), or passed over.
bool for_each_batch(const scanned_lines& lines, batch_counter count);

// Returns the pass_phrases in the text of a line last handed out, from the scanner's map of
// its buffer: what find_phrases returns for that text.
phrase_set phrases_of_line(std::string_view text);

// The errno of the read that failed.
int scan_error();
