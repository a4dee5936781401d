// The program's fixed limits, each named once.
#pragma once

#include <cstddef>

// Number of player slots; a name beyond them is not counted.
inline constexpr int max_players = 100;

// Bytes of a name slot: at most max_name_length characters and a terminating zero.
inline constexpr std::size_t name_size = 20;
inline constexpr std::size_t max_name_length = name_size - 1;

// Round ends ("fraglimit" lines) allowed; the one after them stops the run.
inline constexpr int round_limit = 50;

// Rounds kept apart in the per-round tallies: all that the limit allows and the one it stops.
inline constexpr int max_rounds = round_limit + 1;

// Bytes of a round-end line kept for the reports, which name who ended the round from them.
inline constexpr std::size_t round_end_text_size = 64;

// A line is examined on at most this many bytes; the rest of a longer line is skipped.
inline constexpr std::size_t max_line_text = std::size_t{64} * 1024;
