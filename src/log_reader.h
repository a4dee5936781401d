// Reads the log line by line through one fixed buffer, whatever the size of the log or of
// its lines, with the text-mode rules of the game's platform applied on every platform.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "game_limits.h"
#include "phrases.h"

// Bytes asked of the file per read: small enough that the data, read and mapped, is still in
// the fastest cache when its lines are examined.
inline constexpr std::size_t read_size = std::size_t{32} * 1024;

// Words of a map of the buffer, one bit per byte.
inline constexpr std::size_t map_words = (max_line_text + read_size + 63) / 64;

// Readable bytes kept after the data in the buffer, so a scan may look a little past a line.
inline constexpr std::size_t buffer_padding = 128;
static_assert(buffer_padding >= phrase_scan_overread);

// The reader's state. It is large: keep it in static storage.
struct log_reader {
    std::FILE* in = nullptr;
    std::array<char, max_line_text + read_size + buffer_padding> buffer{};
    // Where phrases might be in the buffered data, as map_spots marks them; see phrases_of.
    std::array<std::uint64_t, map_words> spots{};
    // Where the line feeds are in the buffered data, one bit per byte as in spots; none is
    // marked at or after end.
    std::array<std::uint64_t, map_words> line_feeds{};
    std::size_t begin = 0;      // first byte not yet handed out
    std::size_t end = 0;        // end of the data in the buffer
    bool skipping = false;      // inside the unexamined rest of an over-long line
    bool data_ended = false;    // end of file, or a byte 26, has been reached
    bool may_hold_nul = false;  // the buffered data holds a zero byte somewhere
    int error = 0;              // errno of a failed read
};

// Marks the line feeds among size bytes of data, one bit per byte (bit i % 64 of bits[i / 64] for
// byte i), and no bit at or after size. bits must hold (size + 63) / 64 words, and the data must
// be followed by 63 readable bytes.
void map_line_feeds(const char* data, std::size_t size, std::uint64_t* bits);

// The same, a byte at a time, reading nothing past the data: the plain form that the fast one
// is tested against.
void map_line_feeds_plain(const char* data, std::size_t size, std::uint64_t* bits);

enum class read_result { line, end_of_log, failed };

// Makes the reader start on the given open stream (opened in binary mode), from its start.
void open_reader(log_reader& reader, std::FILE* in);

// Returns the phrases of a line just handed out by next_line, from the reader's map of spots.
phrase_set phrases_of(const log_reader& reader, std::string_view text);

// Hands out the next line's text: the line up to and including its line feed (a last line may
// lack one), cut before its first zero byte and to at most max_line_text bytes; the rest of a
// longer line is skipped. Carriage returns are dropped and a byte 26 ends the data. The text
// stays valid until the next call, with buffer_padding readable bytes after it. On failed,
// reader.error holds the errno.
read_result next_line(log_reader& reader, std::string_view& text);

// Like next_line, but first passes over the lines that hold no spot of a phrase (and so no
// phrase), adding their number to passed; the line handed out is not counted there.
read_result next_line_with_spots(log_reader& reader, std::string_view& text, std::uint64_t& passed);
