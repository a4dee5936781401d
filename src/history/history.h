// The history: every recorded session of a log in one SQLite file, and results made from the
// sessions it holds. docs/history.md describes the file's schema and how sessions are matched.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/results.h"
#include "scan/line_scanner.h"
#include "scan/log_hash.h"

// The schema's version, kept in the file as PRAGMA user_version; a file of a newer version is
// refused, an older one upgraded.
inline constexpr int history_schema_version = 2;

// How long a run waits for another program that holds the history before it gives up.
inline constexpr int history_busy_wait_ms = 5000;

// The time a session began, "YYYY-MM-DD HH:MM:SS", read from a log's first line when that is
// the game's "logfile opened on <date>" line (the date as the C library's asctime writes it);
// nothing otherwise.
std::optional<std::string> session_start_of(std::string_view first_line);

// The lengths of the sessions recorded under the rules in the history file at path, each with
// the kind of hash it was recorded with: where the run should take which hash of its log
// (hash_scan_at), so that recording needs no second read.
// Waits for nobody and reports nothing: empty when the file is missing, held or unreadable,
// and record_session reads the log again for any length it lacks.
std::vector<hash_point> recorded_lengths(const std::string& path, rule_set rules);

// Records the run's session in the history file at path, making the file when it is missing:
// nothing when the same log under the same rules is there already, in place of its session
// when the log has grown from one recorded, else as a new session. digests are the hashes the
// pass took of its log (scan_digests), the last at results.log_bytes; the log is read again
// for a recorded length they lack, and for its first line, unless results.log_first_line is
// set: then it is not read at all, and a length the digests lack matches no session (the
// followed log, which the game may have truncated). Everything happens in one
// transaction, so a failure or a kill leaves the file as it was. Returns false after reporting
// the failure on standard error.
bool record_session(const std::string& path, const run_results& results,
                    const std::vector<log_digest>& digests);

// Which recorded sessions a history's report covers: those of the rules, begun (or, without a
// start, recorded) from since to until, each "YYYY-MM-DD" or empty for no bound.
struct session_filter {
    rule_set rules = rule_set::classic;
    std::string since;
    std::string until;
};

// Makes the results of the sessions the filter keeps from the history file at path: totals,
// players in order of first appearance, head-to-head, and one period per session in time order.
// Returns nothing after reporting on standard error a failure, or that no session is left.
std::optional<run_results> results_from_history(const std::string& path,
                                                const session_filter& filter);
