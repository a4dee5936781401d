#include "scan/line_scanner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "count/game_limits.h"
#include "scan/byte_bits.h"
#include "scan/files.h"

#if FRAGTALLY_X86_64
#include <immintrin.h>
#endif

namespace {

// Bytes asked of the file per read: few calls, and the data and its maps still fit the
// second-level cache when its lines are examined.
constexpr std::size_t read_size = std::size_t{128} * 1024;

// Words of a map of the buffer, one bit per byte: bit i % 64 of word i / 64 for byte i. The
// words past the data are stale, so every search is bounded by the end of the data.
constexpr std::size_t map_words = (max_line_text + read_size + 63) / 64;

// Readable bytes kept after the data, for the sweeps that look a little past a line.
constexpr std::size_t buffer_padding = readable_after_text;
static_assert(buffer_padding >= phrase_scan_overread && buffer_padding >= 63);

// Line feeds listed at a time: the positions of those in this many words of a map.
constexpr std::size_t listed_words = 32;
// Room for the positions of the line feeds in listed_words words, and no more. A word's listing
// may write past what it counts, but never past 64 positions from where it starts, and each
// word before it moves that start on by 64 at most: so a listing that writes one too many runs
// off the end, where the sanitizers see it on a log of empty lines.
using line_feed_list = std::array<std::uint32_t, listed_words * 64>;

using pass_search = phrase_search<pass_phrases>;

// The scanner's functions for one CPU path, taken once when a scan starts.
struct scan_functions {
    bool (*map_line_feeds)(const char* data, std::size_t size, std::uint64_t* bits);
    std::size_t (*list_line_feeds)(const std::uint64_t* map, std::size_t from, std::size_t to,
                                   std::size_t first, line_feed_list& list);
    pass_search::sweep sweep;
};

struct line_reader {
    std::FILE* in = nullptr;
    std::array<char, max_line_text + read_size + buffer_padding> buffer{};
    // Where phrases might be in the buffered data, as the phrase search maps them.
    std::array<std::uint64_t, map_words + 1> spots{};  // a word more for reads a word ahead
    // Where the line feeds are in the buffered data; none is marked at or after end.
    std::array<std::uint64_t, map_words> line_feeds{};
    std::size_t begin = 0;      // first byte not yet handed out
    std::size_t end = 0;        // end of the data in the buffer
    bool skipping = false;      // inside the unexamined rest of an over-long line
    bool data_ended = false;    // end of file, or a byte 26, has been reached
    bool following = false;     // the end of the file is a wait for more, not the end
    bool drained = false;       // following: the last read reached the end of the file
    bool may_hold_nul = false;  // the buffered data holds a zero byte somewhere
    bool map_spots = true;      // the batches hand out spots: not so for every line
    int error = 0;              // errno of a failed read
    line_feed_list line_feeds_listed{};
    scan_functions functions{};
    // The run of whole lines being handed out: its lines start at line_start and end before
    // run_end; the line feeds of the words before next_word are listed.
    bool in_run = false;
    std::size_t run_begin = 0;
    std::size_t run_end = 0;
    std::size_t line_start = 0;
    std::size_t next_word = 0;
    std::size_t listed = 0;     // line feeds in the list
    std::size_t listed_at = 0;  // the next one to hand out
    std::uint64_t bytes_read = 0;
    // The hash of the bytes read, when the history wants it, and the lengths to take it at.
    bool hashing = false;
    cpu_path path = cpu_path::portable;
    // Made by hash_scan_at for the scan's path: a constructor run at start-up would zero the
    // whole reader, buffer included, where the loader maps it zeroed already.
    std::optional<stripe_hash> hash;
    log_hash lanes_hash;                  // for sessions recorded before stripe_hash
    std::uint64_t lanes_until = 0;        // the last length log_hash is asked for
    std::vector<hash_point> hash_points;  // sorted by length, each once
    std::size_t next_length = 0;
    std::vector<log_digest> digests;  // room for every length and the end, made beforehand
};

// Large, so in static storage, and the pass reads one log at a time.
line_reader reader;

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

// Marks the line feeds among size bytes of data, and no bit at or after size, and returns
// whether the data holds a zero byte, a carriage return or a byte 26: bytes that logs rarely
// hold, so they are found in the same sweep and only then looked for one by one. The vector
// paths read up to 63 bytes past the data.
bool map_line_feeds_portable(const char* data, std::size_t size, std::uint64_t* bits) {
    bool rare = false;
    for (std::size_t i = 0; i < size; i += 64) {
        std::uint64_t word = 0;
        for (std::size_t k = 0; k < 64 && i + k < size; ++k) {
            char byte = data[i + k];
            word |= std::uint64_t{byte == '\n'} << k;
            rare = rare || byte == '\0' || byte == '\r' || byte == 26;
        }
        bits[i / 64] = word;
    }
    return rare;
}

#if FRAGTALLY_X86_64
bool map_line_feeds_sse2(const char* data, std::size_t size, std::uint64_t* bits) {
    std::uint64_t rare = 0;
    for (std::size_t i = 0; i < size; i += 64) {
        std::uint64_t kept = low_bits(size - i);
        bits[i / 64] = byte_positions(data + i, '\n') & kept;
        rare |= (byte_positions(data + i, '\0') | byte_positions(data + i, '\r') |
                 byte_positions(data + i, 26)) &
                kept;
    }
    return rare != 0;
}

[[gnu::target("avx2")]] bool map_line_feeds_avx2(const char* data, std::size_t size,
                                                 std::uint64_t* bits) {
    const __m256i line_feed = _mm256_set1_epi8('\n');
    const __m256i zero = _mm256_setzero_si256();
    const __m256i carriage_return = _mm256_set1_epi8('\r');
    const __m256i end_of_file = _mm256_set1_epi8(26);
    std::uint64_t rare = 0;
    for (std::size_t i = 0; i < size; i += 64) {
        std::uint64_t feeds = 0;
        std::uint64_t others = 0;
        for (std::size_t part = 0; part < 2; ++part) {
            __m256i bytes =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 32 * part));
            auto found = static_cast<std::uint32_t>(
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, line_feed)));
            __m256i odd =
                _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(bytes, zero),
                                                _mm256_cmpeq_epi8(bytes, carriage_return)),
                                _mm256_cmpeq_epi8(bytes, end_of_file));
            auto odd_found = static_cast<std::uint32_t>(_mm256_movemask_epi8(odd));
            feeds |= std::uint64_t{found} << (32 * part);
            others |= std::uint64_t{odd_found} << (32 * part);
        }
        std::uint64_t kept = low_bits(size - i);
        bits[i / 64] = feeds & kept;
        rare |= others & kept;
    }
    return rare != 0;
}
#endif

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

// Adds bytes read to the hashes: log_hash only up to the last length asked of it.
void add_to_hashes(const unsigned char* bytes, std::size_t size, std::uint64_t done) {
    reader.hash->add(bytes, size);
    if (done < reader.lanes_until) {
        reader.lanes_hash.add(bytes, static_cast<std::size_t>(
                                         std::min<std::uint64_t>(size, reader.lanes_until - done)));
    }
}

// Hashes bytes just read, taking the hash at each length asked for that they reach. Out of line:
// a run without the history only tests the flag.
[[gnu::noinline]] void hash_read(const char* data, std::size_t size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::uint64_t done = reader.bytes_read;
    while (reader.next_length < reader.hash_points.size() &&
           reader.hash_points[reader.next_length].length <= done + size) {
        hash_point point = reader.hash_points[reader.next_length++];
        auto take = static_cast<std::size_t>(point.length - done);
        add_to_hashes(bytes, take, done);
        reader.digests.push_back(
            {point.length, point.kind,
             point.kind == hash_kind::stripes ? reader.hash->value() : reader.lanes_hash.value()});
        bytes += take;
        size -= take;
        done = point.length;
    }
    add_to_hashes(bytes, size, done);
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
        if (reader.following) {
            // The file may grow: the end-of-file marks would stop the next read.
            read_on_after_end(reader.in);
            reader.drained = true;
        } else {
            reader.data_ended = true;
        }
    }
    // Before the text-mode rules change them: the history knows a log by the file's bytes.
    if (reader.hashing) {
        hash_read(space, got);
    }
    reader.bytes_read += got;
    reader.end += got;
    // The unfinished line moved to the front is mapped again with the new data; it is rarely
    // longer than a few dozen bytes.
    reader.may_hold_nul = false;
    if (reader.functions.map_line_feeds(reader.buffer.data(), reader.end,
                                        reader.line_feeds.data())) {
        reader.end = pending + apply_text_mode(space, got);
        reader.may_hold_nul = std::memchr(reader.buffer.data(), '\0', reader.end) != nullptr;
        reader.functions.map_line_feeds(reader.buffer.data(), reader.end, reader.line_feeds.data());
    }
    if (reader.map_spots) {
        pass_search::map(reader.buffer.data(), reader.end, reader.spots.data(),
                         reader.functions.sweep);
    }
    return true;
}

// Hands out the next line's text, whatever it holds, reading on when it runs past the data.
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
            return scan_result::lines;
        }
        if (reader.skipping) {
            reader.begin = reader.end;
            pending = 0;
        } else if (pending >= max_line_text) {
            // Hand out the examined part now; whatever follows up to the line feed is dropped.
            reader.begin = reader.end;
            reader.skipping = true;
            text = line_text(start, pending);
            return scan_result::lines;
        }
        if (reader.data_ended) {
            reader.begin = reader.end;
            if (pending > 0) {
                text = line_text(start, pending);
                return scan_result::lines;
            }
            return scan_result::end_of_log;
        }
        if (reader.drained) {
            // The unfinished line stays in the buffer; the next call reads on after it.
            reader.drained = false;
            return scan_result::waiting;
        }
        if (!refill()) {
            return scan_result::failed;
        }
    }
}

// Lists the positions of the bits set in words from to to - 1 of a map, after clearing those
// before `first`, and returns how many. Four are written per word whether it has that many or
// not, so that the loop does not branch on a count that is anybody's guess. The list is indexed
// as an array, so that a build with the standard library's checks stops at a write past it.
template <int (*count_ones)(std::uint64_t)>
inline std::size_t list_bits(const std::uint64_t* map, std::size_t from, std::size_t to,
                             std::size_t first, line_feed_list& list) {
    std::size_t listed = 0;
    for (std::size_t word = from; word < to; ++word) {
        std::uint64_t bits = map[word];
        if (word == first / 64) {
            bits &= ~low_bits(first % 64);
        }
        auto base = static_cast<std::uint32_t>(word * 64);
        auto ones = static_cast<std::size_t>(count_ones(bits));
        // The top bit keeps the count of trailing zeros defined once the bits run out.
        constexpr std::uint64_t top = std::uint64_t{1} << 63;
        for (std::size_t k = 0; k < 4; ++k) {
            list[listed + k] = base + static_cast<std::uint32_t>(__builtin_ctzll(bits | top));
            bits &= bits - 1;
        }
        for (std::size_t k = 4; k < ones; ++k) {
            list[listed + k] = base + static_cast<std::uint32_t>(__builtin_ctzll(bits | top));
            bits &= bits - 1;
        }
        listed += ones;
    }
    return listed;
}

int count_ones_portable(std::uint64_t bits) {
    return std::popcount(bits);
}

std::size_t list_line_feeds_portable(const std::uint64_t* map, std::size_t from, std::size_t to,
                                     std::size_t first, line_feed_list& list) {
    return list_bits<count_ones_portable>(map, from, to, first, list);
}

#if FRAGTALLY_X86_64
// With the POPCNT and TZCNT instructions, which the AVX2 and AVX-512 paths' CPUs have: a build
// for any x86-64 CPU makes std::popcount a library call.
[[gnu::target("popcnt")]] int count_ones_popcnt(std::uint64_t bits) {
    return __builtin_popcountll(bits);
}

[[gnu::target("popcnt,bmi")]] std::size_t list_line_feeds_popcnt(const std::uint64_t* map,
                                                                 std::size_t from, std::size_t to,
                                                                 std::size_t first,
                                                                 line_feed_list& list) {
    return list_bits<count_ones_popcnt>(map, from, to, first, list);
}
#endif

scan_functions scan_functions_for(cpu_path path) {
    scan_functions functions{map_line_feeds_portable, list_line_feeds_portable,
                             pass_search::sweep_for(path)};
#if FRAGTALLY_X86_64
    switch (path) {
        case cpu_path::portable:
            break;
        case cpu_path::sse2:
            functions.map_line_feeds = map_line_feeds_sse2;
            break;
        case cpu_path::avx2:
        case cpu_path::avx512:
            functions.map_line_feeds = map_line_feeds_avx2;
            functions.list_line_feeds = list_line_feeds_popcnt;
            break;
    }
#endif
    return functions;
}

// Fills the batch from the run being handed out, after the lines it holds, and returns
// whether the batch is full; otherwise the run has ended. The line feeds are listed first, so
// that the loop over lines does not branch on how many a word holds, and the lines are then
// sorted without a branch on whether one holds a spot: both are anybody's guess, so a branch
// would often mispredict.
template <bool every_line>
bool fill_from_run(line_batch& batch) {
    const char* data = reader.buffer.data();
    const std::uint64_t* spot_map = reader.spots.data();
    std::size_t start = reader.line_start;
    std::size_t held = batch.size;
    auto lines = static_cast<std::uint32_t>(batch.lines);
    const std::size_t words = (reader.run_end + 63) / 64;
    for (;;) {
        if (reader.listed_at == reader.listed) {
            if (reader.next_word >= words) {
                reader.in_run = false;
                batch.size = held;
                batch.lines = lines;
                return false;
            }
            reader.listed =
                reader.functions.list_line_feeds(reader.line_feeds.data(), reader.next_word,
                                                 std::min(reader.next_word + listed_words, words),
                                                 reader.run_begin, reader.line_feeds_listed);
            reader.listed_at = 0;
            reader.next_word += listed_words;
        }
        for (std::size_t i = reader.listed_at; i < reader.listed; ++i) {
            std::size_t line_feed = reader.line_feeds_listed[i];
            std::size_t size = line_feed + 1 - start;
            // The spots of the line's first 64 bytes; a longer line is taken as it is.
            std::size_t at = start % 64;
            const std::uint64_t* spot_words = spot_map + start / 64;
            std::uint64_t spots = (spot_words[0] >> at) | ((spot_words[1] << 1) << (63 - at));
            // Arithmetic, not a test of each in turn, which the compiler makes a branch.
            std::size_t spotted = static_cast<std::size_t>((spots & low_bits(size)) != 0) |
                                  static_cast<std::size_t>(size > 64);
            batch.texts[held] = std::string_view(data + start, std::min(size, max_line_text));
            batch.lines_before[held] = lines;
            held += every_line ? 1 : spotted;
            ++lines;
            start = line_feed + 1;
            if (held == line_batch_size) {
                reader.listed_at = i + 1;
                reader.line_start = start;
                batch.size = held;
                batch.lines = lines;
                return true;
            }
        }
        reader.listed_at = reader.listed;
        reader.line_start = start;
    }
}

}  // namespace

void start_scan(std::FILE* in, cpu_path path, scan_mode mode) {
    reader.functions = scan_functions_for(path);
    reader.path = path;
    reader.in = in;
    reader.begin = reader.end = 0;
    reader.skipping = false;
    reader.data_ended = false;
    reader.following = mode == scan_mode::follow;
    reader.drained = false;
    reader.may_hold_nul = false;
    reader.error = 0;
    reader.in_run = false;
    reader.bytes_read = 0;
    reader.hashing = false;
}

void hash_scan_at(std::vector<hash_point> points) {
    auto by_length = [](const hash_point& a, const hash_point& b) {
        return std::pair(a.length, a.kind) < std::pair(b.length, b.kind);
    };
    std::sort(points.begin(), points.end(), by_length);
    points.erase(std::unique(points.begin(), points.end(),
                             [](const hash_point& a, const hash_point& b) {
                                 return a.length == b.length && a.kind == b.kind;
                             }),
                 points.end());
    reader.hashing = true;
    reader.hash.emplace(reader.path);
    reader.lanes_hash = log_hash();
    reader.lanes_until = 0;
    for (const hash_point& point : points) {
        if (point.kind == hash_kind::lanes) {
            reader.lanes_until = std::max(reader.lanes_until, point.length);
        }
    }
    reader.hash_points = std::move(points);
    reader.next_length = 0;
    reader.digests.clear();
    reader.digests.reserve(reader.hash_points.size() + 1);
}

std::uint64_t bytes_scanned() {
    return reader.bytes_read;
}

std::vector<log_digest> scan_digests() {
    if (!reader.hashing) {
        return {};
    }
    // A log that ends at a length asked for has its hash there already.
    bool taken =
        std::any_of(reader.digests.rbegin(), reader.digests.rend(), [](const log_digest& digest) {
            return digest.length == reader.bytes_read && digest.kind == hash_kind::stripes;
        });
    if (!taken) {
        reader.digests.push_back({reader.bytes_read, hash_kind::stripes, reader.hash->value()});
    }
    return reader.digests;
}

namespace {

// The batch loop of both kinds of batch: each is its own function, so that the classic one
// does not ask at every batch which lines to hand out.
template <bool every_line>
[[gnu::always_inline]] inline scan_result next_batch_of(line_batch& batch) {
    batch.size = 0;
    batch.lines = 0;
    // Rules that take every line ask for no phrase, so the search is not run for them.
    reader.map_spots = !every_line;
    batch.mapped = every_line ? nullptr : reader.buffer.data();
    batch.spots = every_line ? nullptr : reader.spots.data();
    // A run that ended with a full batch leaves nothing for the next: the loop starts another.
    while (batch.lines == 0) {
        if (!reader.in_run) {
            // The whole lines in the data, unless a zero byte may cut one of them.
            std::size_t end =
                reader.skipping || reader.may_hold_nul
                    ? reader.begin
                    : after_last_bit(reader.line_feeds.data(), reader.begin, reader.end);
            if (end == reader.begin) {
                // A line that runs past the data, or may hold a zero byte: next_line reads on.
                batch.lines_before[0] = 0;
                scan_result got = next_line(batch.texts[0]);
                if (got == scan_result::lines) {
                    batch.size = 1;
                    batch.lines = 1;
                }
                return got;
            }
            reader.in_run = true;
            reader.run_begin = reader.line_start = reader.begin;
            reader.run_end = end;
            reader.next_word = reader.begin / 64;
            reader.listed = reader.listed_at = 0;
            reader.begin = end;
        }
        fill_from_run<every_line>(batch);
    }
    return scan_result::lines;
}

}  // namespace

scan_result next_batch(line_batch& batch) {
    return next_batch_of<false>(batch);
}

scan_result next_batch_of_every_line(line_batch& batch) {
    return next_batch_of<true>(batch);
}

phrase_set phrases_in(const line_batch& batch, std::size_t i) {
    return pass_search::find_mapped(batch.texts[i], batch.mapped, batch.spots,
                                    reader.functions.sweep);
}

void end_scan_input(bool read_to_end) {
    reader.following = false;
    reader.drained = false;
    reader.data_ended = reader.data_ended || !read_to_end;
}

int scan_error() {
    return reader.error;
}
