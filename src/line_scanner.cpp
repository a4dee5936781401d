#include "line_scanner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>

#include "byte_bits.h"
#include "game_limits.h"

namespace {

// Bytes asked of the file per read: small enough that the data, read and mapped, is still in
// the fastest cache when its lines are examined.
constexpr std::size_t read_size = std::size_t{32} * 1024;

// Words of a map of the buffer, one bit per byte: bit i % 64 of word i / 64 for byte i. The
// words past the data are stale, so every search is bounded by the end of the data.
constexpr std::size_t map_words = (max_line_text + read_size + 63) / 64;

// Readable bytes kept after the data, for the sweeps that look a little past a line.
constexpr std::size_t buffer_padding = readable_after_text;
static_assert(buffer_padding >= phrase_scan_overread && buffer_padding >= 63);

struct line_reader {
    std::FILE* in = nullptr;
    std::array<char, max_line_text + read_size + buffer_padding> buffer{};
    // Where phrases might be in the buffered data, as the phrase search maps them.
    std::array<std::uint64_t, map_words> spots{};
    // Where the line feeds are in the buffered data; none is marked at or after end.
    std::array<std::uint64_t, map_words> line_feeds{};
    std::size_t begin = 0;      // first byte not yet handed out
    std::size_t end = 0;        // end of the data in the buffer
    bool skipping = false;      // inside the unexamined rest of an over-long line
    bool data_ended = false;    // end of file, or a byte 26, has been reached
    bool may_hold_nul = false;  // the buffered data holds a zero byte somewhere
    int error = 0;              // errno of a failed read
    // The next line to hand out, when it was found in the data while handing out the one
    // before: then it is handed out as it is, untouched by any read.
    bool ahead = false;
    std::string_view ahead_text;
    std::size_t ahead_end = 0;  // after its line feed
    std::uint64_t ahead_lines_before = 0;
};

// Large, so in static storage, and the pass reads one log at a time.
line_reader reader;

using pass_search = phrase_search<pass_phrases>;

// Applies the text-mode rules to freshly read bytes in place and returns how many remain.
// Both bytes are rare in a log, so each is searched for with memchr before any byte is moved.
std::size_t apply_text_mode(char* data, std::size_t size) {
    if (const void* stop = std::memchr(data, 26, size)) {
        size = static_cast<std::size_t>(static_cast<const char*>(stop) - data);
        reader.data_ended = true;
    }
    char* cr = static_cast<char*>(std::memchr(data, '\r', size));
    if (cr == nullptr) {
        return size;
    }
    char* out = cr;
    for (const char* p = cr + 1; p < data + size; ++p) {
        if (*p != '\r') {
            *out++ = *p;
        }
    }
    return static_cast<std::size_t>(out - data);
}

// Marks the line feeds among size bytes of data, and no bit at or after size; reads up to 63
// bytes past the data on the vector paths.
void map_line_feeds(const char* data, std::size_t size, std::uint64_t* bits) {
#if FRAGTALLY_X86_64
    if (active_cpu_path != cpu_path::portable) {
        for (std::size_t i = 0; i < size; i += 64) {
            bits[i / 64] = byte_positions(data + i, '\n') & low_bits(size - i);
        }
        return;
    }
#endif
    for (std::size_t i = 0; i < size; i += 64) {
        std::uint64_t word = 0;
        for (std::size_t k = 0; k < 64 && i + k < size; ++k) {
            word |= std::uint64_t{data[i + k] == '\n'} << k;
        }
        bits[i / 64] = word;
    }
}

// Returns the position of the first bit set in a map from `from` on and before `to`, or `to`.
std::size_t first_bit(const std::uint64_t* map, std::size_t from, std::size_t to) {
    if (from >= to) {
        return to;
    }
    std::size_t word = from / 64;
    std::size_t words = (to + 63) / 64;
    std::uint64_t bits = map[word] & ~low_bits(from % 64);
    while (bits == 0 && ++word < words) {
        bits = map[word];
    }
    auto first = word * 64 + static_cast<std::size_t>(std::countr_zero(bits));
    return bits == 0 ? to : std::min(to, first);
}

// Returns the number of bits set in a map from `from` on and before `to`.
std::size_t count_bits(const std::uint64_t* map, std::size_t from, std::size_t to) {
    std::size_t count = 0;
    for (std::size_t i = from; i < to; i = (i | 63) + 1) {
        std::size_t word_start = i & ~std::size_t{63};
        std::uint64_t bits = map[i / 64] & ~low_bits(i % 64) & low_bits(to - word_start);
        count += static_cast<std::size_t>(std::popcount(bits));
    }
    return count;
}

#if FRAGTALLY_X86_64
// count_bits with the POPCNT instruction, which the AVX2 and AVX-512 paths' CPUs have: a build
// for any x86-64 CPU makes std::popcount a library call.
[[gnu::target("popcnt")]] std::size_t count_bits_popcnt(const std::uint64_t* map, std::size_t from,
                                                        std::size_t to) {
    return count_bits(map, from, to);
}
#endif

// Returns the number of line feeds mapped from `from` on and before `to`.
std::size_t count_line_feeds(std::size_t from, std::size_t to) {
#if FRAGTALLY_X86_64
    if (active_cpu_path >= cpu_path::avx2) {
        return count_bits_popcnt(reader.line_feeds.data(), from, to);
    }
#endif
    return count_bits(reader.line_feeds.data(), from, to);
}

// Returns the position after the last bit set in a map from `from` on and before `to`, or
// `from` when there is none.
std::size_t after_last_bit(const std::uint64_t* map, std::size_t from, std::size_t to) {
    if (from >= to) {
        return from;
    }
    std::size_t word = (to - 1) / 64;
    std::uint64_t bits = map[word] & low_bits(to - word * 64);
    while (bits == 0 && word > from / 64) {
        bits = map[--word];
    }
    auto after = word * 64 + 64 - static_cast<std::size_t>(std::countl_zero(bits));
    return bits == 0 ? from : std::max(from, after);
}

// Returns the position of the first line feed from `from` on, or reader.end when there is none.
std::size_t next_line_feed(std::size_t from) {
    return first_bit(reader.line_feeds.data(), from, reader.end);
}

std::string_view line_text(const char* start, std::size_t size) {
    size = std::min(size, max_line_text);
    if (reader.may_hold_nul) {
        if (const void* nul = std::memchr(start, '\0', size)) {
            size = static_cast<std::size_t>(static_cast<const char*>(nul) - start);
        }
    }
    return {start, size};
}

// Moves the unfinished line to the front of the buffer and reads more after it; once a read,
// so kept out of the loop over lines.
[[gnu::noinline]] bool refill() {
    std::size_t pending = reader.end - reader.begin;
    std::memmove(reader.buffer.data(), reader.buffer.data() + reader.begin, pending);
    reader.begin = 0;
    reader.end = pending;
    char* space = reader.buffer.data() + pending;
    errno = 0;
    std::size_t got = std::fread(space, 1, read_size, reader.in);
    if (got < read_size) {
        if (std::ferror(reader.in)) {
            reader.error = errno != 0 ? errno : EIO;
            return false;
        }
        reader.data_ended = true;
    }
    reader.end += apply_text_mode(space, got);
    reader.may_hold_nul = std::memchr(reader.buffer.data(), '\0', reader.end) != nullptr;
    // The unfinished line moved to the front is mapped again with the new data; it is rarely
    // longer than a few dozen bytes.
    pass_search::map(reader.buffer.data(), reader.end, reader.spots.data());
    map_line_feeds(reader.buffer.data(), reader.end, reader.line_feeds.data());
    return true;
}

// Hands out the next line's text, whatever it holds; for the lines the walk from spot to spot
// leaves to it, at the end of the data.
[[gnu::noinline]] scan_result next_line(std::string_view& text) {
    for (;;) {
        char* start = reader.buffer.data() + reader.begin;
        std::size_t pending = reader.end - reader.begin;
        std::size_t lf = next_line_feed(reader.begin);
        if (lf < reader.end) {
            std::size_t size = lf - reader.begin + 1;
            reader.begin += size;
            if (reader.skipping) {
                reader.skipping = false;
                continue;
            }
            text = line_text(start, size);
            return scan_result::line;
        }
        if (reader.skipping) {
            reader.begin = reader.end;
            pending = 0;
        } else if (pending >= max_line_text) {
            // Hand out the examined part now; whatever follows up to the line feed is dropped.
            reader.begin = reader.end;
            reader.skipping = true;
            text = line_text(start, pending);
            return scan_result::line;
        }
        if (reader.data_ended) {
            reader.begin = reader.end;
            if (pending > 0) {
                text = line_text(start, pending);
                return scan_result::line;
            }
            return scan_result::end_of_log;
        }
        if (!refill()) {
            return scan_result::failed;
        }
    }
}

// Finds the next line with a spot when it ends within the data, without a read.
void look_ahead() {
    reader.ahead = false;
    if (reader.skipping) {
        return;
    }
    // The lines that end before the next spot hold no phrase, whatever their length or zero
    // bytes: they are counted in the map of line feeds, not visited one by one (which line has
    // a spot is anybody's guess, so a test per line would often mispredict).
    std::size_t spot = first_bit(reader.spots.data(), reader.begin, reader.end);
    std::size_t lf = next_line_feed(spot);
    if (lf < reader.end) {
        std::size_t start = after_last_bit(reader.line_feeds.data(), reader.begin, spot);
        reader.ahead_lines_before = count_line_feeds(reader.begin, spot);
        reader.ahead_text = line_text(reader.buffer.data() + start, lf + 1 - start);
        reader.ahead_end = lf + 1;
        reader.ahead = true;
    }
}

}  // namespace

void start_scan(std::FILE* in) {
    reader.in = in;
    reader.begin = reader.end = 0;
    reader.skipping = false;
    reader.data_ended = false;
    reader.may_hold_nul = false;
    reader.error = 0;
    reader.ahead = false;
}

scan_result next_scanned_line(scanned_line& line) {
    if (!reader.ahead) {
        look_ahead();
    }
    if (reader.ahead) {
        line.text = reader.ahead_text;
        line.lines_before = reader.ahead_lines_before;
        reader.begin = reader.ahead_end;
    } else {
        // The line of the spot runs past the data, or there is no spot: next_line reads on.
        line.lines_before = 0;
        if (!reader.skipping) {
            std::size_t spot = first_bit(reader.spots.data(), reader.begin, reader.end);
            line.lines_before = count_line_feeds(reader.begin, spot);
            reader.begin = after_last_bit(reader.line_feeds.data(), reader.begin, spot);
        }
        scan_result got = next_line(line.text);
        if (got != scan_result::line) {
            return got;
        }
    }
    look_ahead();
    return scan_result::line;
}

std::string_view upcoming_line() {
    return reader.ahead ? reader.ahead_text : std::string_view{};
}

phrase_set phrases_of_line(std::string_view text) {
    return pass_search::find_mapped(text, reader.buffer.data(), reader.spots.data());
}

int scan_error() {
    return reader.error;
}
