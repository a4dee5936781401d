// Following a log while the game writes it (--follow): the reports kept current until a stop.
#pragma once

#include "app/command_line.h"
#include "scan/cpu.h"

// The whole run of --follow: reads the log to its end, then what the game appends, until a stop
// request or the round limit. Rewrites the file reports after each round end and, when
// obituaries came without one, at most every 2 seconds; the page then reloads itself. Starts a
// new tally when the log is truncated, replaced or deleted (waiting for it when it is missing),
// after recording the session in --history as it stood at its last record; with --history the
// session is recorded at each round end. At the stop, writes the final reports (a report on
// standard output is written only then) and returns the exit status of a normal run.
int follow_log(const run_options& options, cpu_path path);
