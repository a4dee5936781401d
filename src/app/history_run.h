// Where the history meets the run: recording a log's session after its reports, and making the
// reports from the history instead of from a log.
#pragma once

#include <vector>

#include "app/command_line.h"
#include "report/results.h"
#include "scan/line_scanner.h"

// Makes the scan just started hash the log for the history that --history names, at the
// lengths of the sessions it holds; nothing without --history.
void hash_for_history(const run_options& options);

// Records the run's session in the history that --history names, when one is named, with the
// scan's hashes of the log; the reports are written first, so that a history that cannot be
// written costs none of them. Returns false after reporting a failure on standard error.
bool record_run(const run_options& options, const run_results& results,
                const std::vector<log_digest>& digests);

// The whole run of --from-history: reads the sessions the options select from the history,
// writes every report of them and returns the exit status.
int report_from_history(const run_options& options);
