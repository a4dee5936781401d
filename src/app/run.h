// The whole run of the program, once the command line is parsed: options in, reports out.
#pragma once

#include <vector>

#include "app/command_line.h"
#include "report/report_formats.h"
#include "scan/cpu.h"

// Reads the log with the rules the options name, counting into tables of its own, handles the round
// limit (its notice, with the console cleared and a key waited for where the classic program did),
// writes every report, reports any failure on standard error, and returns the exit status. Every
// module of the pass takes the functions of the given CPU path, which the CPU must have. No
// progress line is written when options.quiet is set or a report goes to standard output.
int run_log(const run_options& options, cpu_path path);

// The round-limit notice of a run that stopped there, naming its reports (as a normal run gives
// it: on a terminal of the classic run, the console cleared and a key waited for).
void notice_round_limit(const run_options& options, const std::vector<pending_report>& reports);
