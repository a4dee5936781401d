// Reads the log through one fixed buffer, whatever the size of the log or of its lines, with
// the text-mode rules of the game's platform applied on every platform, and hands the pass the
// lines that may hold a phrase.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "phrases.h"

// Readable bytes that follow the text of every line handed out, whatever its length: reads a
// little past a line stay inside the scanner's buffer (their bytes are anybody's guess).
inline constexpr std::size_t readable_after_text = 128;

// A line handed to the pass: its text up to and including its line feed (a last line may lack
// one), cut before its first zero byte and to at most max_line_text bytes (the rest of a longer
// line is skipped); carriage returns dropped. The text stays valid until the next call.
struct scanned_line {
    std::string_view text;
    std::uint64_t lines_before = 0;  // lines without any phrase passed over before this one
};

enum class scan_result { line, end_of_log, failed };

// Makes the scanner start on the given open stream (opened in binary mode), from its start.
void start_scan(std::FILE* in);

// Hands out the next line that may hold a phrase: every line with one, and a few without (where
// an anchor word of a phrase is, but not the phrase). On end_of_log and failed, lines_before holds
// the lines passed over before the end; on failed, scan_error() tells why. A byte 26 ends the data.
scan_result next_scanned_line(scanned_line& line);

// Returns the text of the line the next call of next_scanned_line will hand out, when the
// scanner has found it already (no read is needed for it), or an empty text. It stays valid as
// long as the text of the line last handed out.
std::string_view upcoming_line();

// Returns the pass_phrases in the text of the line last handed out, from the scanner's map of
// its buffer: what find_phrases returns for that text.
phrase_set phrases_of_line(std::string_view text);

// The errno of the read that failed.
int scan_error();
