// Reads the log through one fixed buffer, whatever the size of the log or of its lines, with
// the text-mode rules of the game's platform applied on every platform, and hands the pass the
// lines that hold a phrase, each with its phrases.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "phrases.h"

// A line handed to the pass: its text up to and including its line feed (a last line may lack
// one), cut before its first zero byte and to at most max_line_text bytes (the rest of a longer
// line is skipped); carriage returns dropped. The text stays valid until the next call.
struct scanned_line {
    std::string_view text;
    phrase_set phrases = 0;          // the pass_phrases in the text, never none
    std::uint64_t lines_before = 0;  // lines without any phrase passed over before this one
};

enum class scan_result { line, end_of_log, failed };

// Makes the scanner start on the given open stream (opened in binary mode), from its start.
void start_scan(std::FILE* in);

// Hands out the next line that holds a phrase. On end_of_log and failed, lines_before holds the
// lines passed over before the end; on failed, scan_error() tells why. A byte 26 ends the data.
scan_result next_scanned_line(scanned_line& line);

// The errno of the read that failed.
int scan_error();
