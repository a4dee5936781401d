#include "log_reader.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define FRAGTALLY_SSE2 1
#endif

namespace {

constexpr std::uint64_t bits_below(std::size_t n) {
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

// Returns the position of the first line feed from `from` on, or reader.end when there is none.
std::size_t next_line_feed(const log_reader& reader, std::size_t from) {
    std::size_t word = from / 64;
    std::size_t words = (reader.end + 63) / 64;
    if (word >= words) {
        return reader.end;
    }
    std::uint64_t bits = reader.line_feeds[word] & ~bits_below(from % 64);
    while (bits == 0) {
        if (++word == words) {
            return reader.end;
        }
        bits = reader.line_feeds[word];
    }
    return word * 64 + static_cast<std::size_t>(std::countr_zero(bits));
}

// Applies the text-mode rules to freshly read bytes in place and returns how many remain.
// Both bytes are rare in a log, so each is searched for with memchr before any byte is moved.
std::size_t apply_text_mode(log_reader& reader, char* data, std::size_t size) {
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

// The bits of a map for the 64 positions from `from` on: bit k for position from + k. Bits past
// the mapped data are stale.
std::uint64_t bits_from(const std::uint64_t* map, std::size_t from) {
    std::size_t word = from / 64;
    auto shift = static_cast<unsigned>(from % 64);
    // Two shifts, as one by 64 bits would be undefined.
    return (map[word] >> shift) | ((map[word + 1] << 1) << (63 - shift));
}

// Whether the map holds a spot of a phrase from byte `from` to byte `to`, both included.
bool has_spots(const log_reader& reader, std::size_t from, std::size_t to) {
    std::size_t word = from / 64;
    std::size_t last = to / 64;
    std::uint64_t bits = reader.spots[word] & ~bits_below(from % 64);
    while (word < last) {
        if (bits != 0) {
            return true;
        }
        bits = reader.spots[++word];
    }
    return (bits & bits_below(to % 64 + 1)) != 0;
}

std::string_view line_text(const log_reader& reader, const char* start, std::size_t size) {
    size = std::min(size, max_line_text);
    if (reader.may_hold_nul) {
        if (const void* nul = std::memchr(start, '\0', size)) {
            size = static_cast<std::size_t>(static_cast<const char*>(nul) - start);
        }
    }
    return {start, size};
}

// Moves the unfinished line to the front of the buffer and reads more after it.
bool refill(log_reader& reader) {
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
    reader.end += apply_text_mode(reader, space, got);
    reader.may_hold_nul = std::memchr(reader.buffer.data(), '\0', reader.end) != nullptr;
    // The unfinished line moved to the front is mapped again with the new data; it is rarely
    // longer than a few dozen bytes.
    map_spots(reader.buffer.data(), reader.end, reader.spots.data());
    map_line_feeds(reader.buffer.data(), reader.end, reader.line_feeds.data());
    return true;
}

}  // namespace

void map_line_feeds_plain(const char* data, std::size_t size, std::uint64_t* bits) {
    for (std::size_t i = 0; i < size; i += 64) {
        std::uint64_t word = 0;
        for (std::size_t k = 0; k < 64 && i + k < size; ++k) {
            word |= std::uint64_t{data[i + k] == '\n'} << k;
        }
        bits[i / 64] = word;
    }
}

void map_line_feeds(const char* data, std::size_t size, std::uint64_t* bits) {
#if FRAGTALLY_SSE2
    const __m128i line_feed = _mm_set1_epi8('\n');
    for (std::size_t i = 0; i < size; i += 64) {
        std::uint64_t word = 0;
        for (std::size_t part = 0; part < 4; ++part) {
            __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16 * part));
            auto mask =
                static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, line_feed)));
            word |= std::uint64_t{mask} << (16 * part);
        }
        bits[i / 64] = word & bits_below(size - i);
    }
#else
    map_line_feeds_plain(data, size, bits);
#endif
}

void open_reader(log_reader& reader, std::FILE* in) {
    reader.in = in;
    reader.begin = reader.end = 0;
    reader.skipping = false;
    reader.data_ended = false;
    reader.may_hold_nul = false;
    reader.error = 0;
}

phrase_set phrases_of(const log_reader& reader, std::string_view text) {
    return find_mapped_phrases(text, reader.buffer.data(), reader.spots.data());
}

read_result next_line(log_reader& reader, std::string_view& text) {
    for (;;) {
        char* start = reader.buffer.data() + reader.begin;
        std::size_t pending = reader.end - reader.begin;
        std::size_t lf = next_line_feed(reader, reader.begin);
        if (lf < reader.end) {
            std::size_t size = lf - reader.begin + 1;
            reader.begin += size;
            if (reader.skipping) {
                reader.skipping = false;
                continue;
            }
            text = line_text(reader, start, size);
            return read_result::line;
        }
        if (reader.skipping) {
            reader.begin = reader.end;
            pending = 0;
        } else if (pending >= max_line_text) {
            // Hand out the examined part now; whatever follows up to the line feed is dropped.
            reader.begin = reader.end;
            reader.skipping = true;
            text = line_text(reader, start, pending);
            return read_result::line;
        }
        if (reader.data_ended) {
            reader.begin = reader.end;
            if (pending > 0) {
                text = line_text(reader, start, pending);
                return read_result::line;
            }
            return read_result::end_of_log;
        }
        if (!refill(reader)) {
            return read_result::failed;
        }
    }
}

read_result next_line_with_spots(log_reader& reader, std::string_view& text,
                                 std::uint64_t& passed) {
    // A whole line without a spot holds no phrase, whatever its length or zero bytes, and is
    // only counted. Anything unusual is left to next_line.
    while (!reader.skipping) {
        std::size_t start = reader.begin;
        // Most lines end within 64 bytes: their bits are taken without a loop. A stale bit past
        // the data can only give a line feed at or past its end, which is not taken.
        std::uint64_t feeds = bits_from(reader.line_feeds.data(), start);
        std::size_t lf = feeds != 0 ? start + static_cast<std::size_t>(std::countr_zero(feeds))
                                    : next_line_feed(reader, start);
        if (lf >= reader.end) {
            break;
        }
        reader.begin = lf + 1;
        bool spotted =
            lf - start < 64
                ? (bits_from(reader.spots.data(), start) & bits_below(lf - start + 1)) != 0
                : has_spots(reader, start, lf);
        if (spotted) {
            text = line_text(reader, reader.buffer.data() + start, lf + 1 - start);
            return read_result::line;
        }
        ++passed;
    }
    return next_line(reader, text);
}
