// The pass over the log: each line is tested for the round-end phrase and the obituary
// phrases, its names are cut out, and the players' counters and kill matrix are bumped.
#pragma once

#include <string_view>

#include "app/command_line.h"
#include "count/phrases.h"

// Examines one line, the next after lines_read, which it counts, given the pass_phrases in its
// text (find_phrases finds them; the pass has them from the scanner): counts a round end, then
// counts the line as each kind of obituary whose phrases are all there, in table order. Returns
// false, with the line counted as no kind, when this round end is one more than the round
// limit allows.
bool examine_line(std::string_view text, phrase_set phrases);

enum class pass_end { end_of_log, round_limit_stop, read_failed };

// Examines every line the scanner hands out until the log ends or the round-limit stop, adds
// a progress line for each line read (the stopping one excepted), and counts the lines in
// lines_read. The tables must have been emptied with init(), and the scanner and the progress
// output started.
pass_end run_pass();

// The whole run after init(): reads the log, handles the round limit, writes every report,
// reports any failure on standard error, and returns the exit status. No progress line is
// written when options.quiet is set or a report goes to standard output.
int parse_log(const run_options& options);
