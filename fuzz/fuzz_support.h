// Checks shared by the fuzz targets: a failed check prints what broke and aborts, which both
// libFuzzer and the corpus replay report as a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "count/tables.h"
#include "reference_model.h"

// Splits a log held in memory as the program reads it in text mode: a byte 26 ends the data,
// carriage returns vanish, a line runs up to and with its line feed (the last one may have
// none), and only its text before its first zero byte, at most 64 KiB of it, is examined.
// Returns the examined text of each line, in order.
std::vector<std::string> text_mode_lines(std::string_view log);

// Aborts with the message when the condition does not hold.
void fuzz_check(bool condition, const char* what);

// Checks that a name field is zero-terminated within its bytes and returns its text.
std::string_view checked_name(const std::array<char, name_size>& field);

// Checks the tables' own invariants: player_count in range, every claimed slot holding a
// zero-terminated name of at most max_name_length bytes that looks up to that slot, every
// free slot holding "NULL" and no counts, kills and deaths adding up to the kill matrix.
void check_table_invariants(const classic_tables& tables);

// Checks that the tables hold exactly what the model run holds: names, counters, the kill
// matrix, rounds and the uncounted obituaries.
void check_tables_equal(const classic_tables& tables, const model_run& run);

// Runs the whole pass over the log, written to a temporary file, and checks it against the
// model's run of the same log: how it ended, the progress text and the tables.
void check_pass(const std::string& log);

// Runs the whole pass under the full rules over the log, written to a temporary file, and
// checks its results against the full rules' model of the same log: lines, round ends, players,
// counters, who killed whom and every round.
void check_full_pass(const std::string& log);

// Entry point of every target, defined by each target.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
