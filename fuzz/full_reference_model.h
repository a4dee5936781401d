// A second, deliberately plain implementation of the full rules for the fuzz targets to compare
// the program against: the whole log in memory, std::string everywhere, a linear name table,
// every "^7 " of a line tried against every message by building the line it would be. It shares
// no code with the program but the table of messages and the counters they name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "count/counters.h"

// One round as the model counts it.
struct full_model_round {
    std::uint64_t first_line = 0;
    std::uint64_t last_line = 0;
    bool ended = false;
    std::vector<std::array<std::int32_t, counter_count>> stats;  // by slot, as many as players
    std::vector<std::vector<std::int32_t>> killed;               // [killer][victim], 100 square
};

// Everything a run under the full rules counts.
struct full_model_run {
    std::vector<std::string> names;  // slot order
    std::vector<std::array<std::int32_t, counter_count>> stats;
    std::vector<std::vector<std::int32_t>> killed;  // [killer][victim], 100 square
    std::vector<full_model_round> rounds;
    std::int32_t round_ends = 0;
    std::uint64_t uncounted = 0;
    std::uint64_t lines = 0;
};

// What one line's text (without its line feed) is under the full rules: a round end, an
// obituary of the message with that index of full_messages with its names, or neither.
struct full_model_line {
    bool round_end = false;
    int message = -1;
    std::string victim;
    std::string killer;
};

// Reads one line's text, without its line feed.
full_model_line full_model_read(const std::string& text);

// Runs the whole log, held in memory, under the full rules.
full_model_run full_model_pass(std::string_view log);
