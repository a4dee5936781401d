// Where the history meets the run: recording a log's session after its reports, and making the
// reports from the history instead of from a log.
#pragma once

#include "app/command_line.h"
#include "report/results.h"

// Records the run's session in the history that --history names, when one is named; the
// reports are written first, so that a history that cannot be written costs none of them.
// Returns false after reporting a failure on standard error.
bool record_run(const run_options& options, const run_results& results);

// The whole run of --from-history: reads the sessions the options select from the history,
// writes every report of them and returns the exit status.
int report_from_history(const run_options& options);
