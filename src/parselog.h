// The pass over the log: each line is tested for the round-end phrase and the obituary
// phrases, its names are cut out, and the players' counters and kill matrix are bumped.
#pragma once

#include <cstdint>
#include <string_view>

#include "command_line.h"
#include "extractors/extractors.h"
#include "log_reader.h"
#include "progress.h"
#include "tables.h"

// Examines the text of one line, the next after lines_read, which it counts: counts a round
// end, then fires every obituary row whose phrases are all in the text, in table order.
// Returns false, with the line not dispatched, when this round end is one more than the round
// limit allows.
bool examine_line(std::string_view text);

enum class pass_end { end_of_log, round_limit_stop, read_failed };

// Reads the log to its end, or to the round-limit stop, examining each line and adding its
// progress line after it, and counts the lines in lines_read. The tables must have been
// emptied with init(), and the progress output started.
pass_end run_pass(log_reader& reader, progress_output& progress);

// The whole run after init(): reads the log, handles the round limit, writes every report,
// reports any failure on standard error, and returns the exit status. No progress line is
// written when options.quiet is set or a report goes to standard output.
int parse_log(const run_options& options);
