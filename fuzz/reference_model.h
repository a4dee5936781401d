// A second, deliberately plain implementation of the log rules, written for the fuzz targets
// to compare the program against: the whole log in memory, std::string everywhere, a linear
// name table. It shares no code with the program; it takes the kinds' phrases and counters from
// the table of kinds, with each kind's rule of names by name, and cuts names by rules of its
// own, checked against the table's list of rules.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "count/tables.h"

// The names one obituary line yields under one extractor's rules.
struct model_names {
    std::string first;   // the victim, or the single player of a one-name line
    std::string second;  // the killer; empty for a one-name line
};

// Cuts the names out of a line's text by the model's own rule of names of the given name
// ("by_to_line_end", "any_before_wa", ...), which must be one of the table's rules.
model_names model_extract(std::string_view cut_rule, const std::string& text);

// Everything a run leaves in the tables, plus how it ended.
struct model_run {
    std::vector<std::string> names;  // slot order
    std::vector<std::array<std::int32_t, classic_counter_count>> stats;
    std::vector<std::vector<std::int32_t>> killed;  // [killer][victim], max_players square
    std::int32_t rounds = 0;
    std::uint64_t uncounted = 0;
    std::uint64_t lines = 0;  // steps made, one progress line each
    bool stopped = false;     // the round limit stopped the run

    model_run();
};

// Claims the next slot for a name not yet in the table (the caller checks there is room).
void model_add_player(model_run& run, const std::string& player);

// Examines one line's text; returns false when the round limit stops the run there.
bool model_examine(model_run& run, const std::string& text);

// Runs the whole pass over a log held in memory.
void model_pass(model_run& run, std::string_view log);
