// Reads the log through one fixed buffer, whatever the size of the log or of its lines, with
// the text-mode rules of the game's platform applied on every platform, and hands the pass its
// lines, most of them in runs.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "count/phrases.h"
#include "scan/cpu.h"
#include "scan/log_hash.h"

// Readable bytes that follow the text of every line handed out, whatever its length: reads a
// little past a line stay inside the scanner's buffer (their bytes are anybody's guess).
inline constexpr std::size_t readable_after_text = 128;

// The next lines of the log, handed out a batch at a time: the lines that may hold a phrase (every
// line with one does) as texts, and the lines before, between and after them that hold none,
// only counted. Each text runs up to and including its line feed (a last line may lack one), is
// cut before its first zero byte and to at most max_line_text bytes (the rest of a longer line
// is skipped), and holds no carriage return. The texts stay valid until the next call.
inline constexpr std::size_t line_batch_size = 16;
struct line_batch {
    std::array<std::string_view, line_batch_size> texts;
    // Lines of the batch before each text, the texts before it included.
    std::array<std::uint32_t, line_batch_size> lines_before;
    std::size_t size = 0;     // texts
    std::uint64_t lines = 0;  // lines of the batch, texts and lines without a phrase
    // The scanner's map of where phrases may be, which phrases_in reads, and the data it maps.
    const char* mapped = nullptr;
    const std::uint64_t* spots = nullptr;
};

// waiting: only when following a log, which has no more whole lines for now.
enum class scan_result { lines, end_of_log, failed, waiting };

// How a scan meets the end of the file: as the end of the log, or, when following a log that is
// still being written, as a wait for more (the unfinished last line kept until its line feed).
enum class scan_mode { whole_log, follow };

// Makes the scanner start on the given open stream (opened in binary mode), from its start,
// with the functions of the given CPU path, which the CPU must have. It hashes nothing.
void start_scan(std::FILE* in, cpu_path path, scan_mode mode = scan_mode::whole_log);

// Tells a scan in follow mode that the input is over: the next batches hand out what is left,
// the unfinished last line as a line of its own, and then end_of_log, as a whole-log scan does.
// With read_to_end, what the file holds past the buffer is read first (a stop); without, the
// file is read no more (it was truncated or replaced, and what it holds is another session's).
void end_scan_input(bool read_to_end);

// A length of the log at which to take one kind of its hash.
struct hash_point {
    std::uint64_t length = 0;
    hash_kind kind = hash_kind::stripes;
};

// The hash of one kind of a log's first bytes.
struct log_digest {
    std::uint64_t length = 0;
    hash_kind kind = hash_kind::stripes;
    std::uint64_t hash = 0;
};

// Makes the scan just started also hash the bytes it reads, as they come from the file, with
// stripe_hash to its end (on the scan's CPU path), and take the hash of the kind asked for at
// each of the given lengths that the log reaches (in any order, repeats allowed) and the
// stripe_hash one at its end: what reading the log again would give, without the second read.
// log_hash runs only up to the last length asked of it, so a history without such sessions
// costs no more than stripe_hash.
void hash_scan_at(std::vector<hash_point> points);

// The bytes the scan has read from the file so far, before the text-mode rules.
std::uint64_t bytes_scanned();

// The hashes taken since hash_scan_at, by length, the last (a stripe_hash) at the bytes read so
// far. It may be
// called again as the scan goes on (a followed log): each call keeps the digests of the earlier
// ones. Empty when the scan hashed nothing.
std::vector<log_digest> scan_digests();

// Hands out the next batch, of at least one line, in log order. On failed, scan_error() tells
// why. A byte 26 ends the data. In follow mode, waiting says that the file has no whole line
// more for now; the next call reads on from where this one stopped.
scan_result next_batch(line_batch& batch);

// Hands out the next batch as next_batch does, but with every line as a text, phrase or not (the
// batch's size and lines are then equal): for counting rules that read every line. A scan takes
// one of the two throughout.
scan_result next_batch_of_every_line(line_batch& batch);

// Returns the pass_phrases in text i of the batch, from the batch's map of spots: what
// find_phrases returns for that text.
phrase_set phrases_in(const line_batch& batch, std::size_t i);

// The errno of the read that failed.
int scan_error();
