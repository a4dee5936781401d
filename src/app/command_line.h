// The command line: fragtally [OPTIONS] [LOG]. Parsed into the options of one run, with the
// help, the version and every usage error handled here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "count/counters.h"
#include "report/report_formats.h"

// The log read when none is named, in the current folder.
inline constexpr std::string_view default_log = "qconsole.log";

// The report written, in the current folder, when neither a log nor an output is named.
inline constexpr std::string_view default_report = "qconsole.txt";

// One report to write: a path ("-" for standard output) and its format.
struct report_output {
    std::string path;
    const report_format* format = nullptr;
};

// What one run reads and writes.
struct run_options {
    std::string log{default_log};
    std::vector<report_output> outputs;  // at least one after parsing
    bool quiet = false;                  // no progress lines
    bool follow = false;                 // --follow: read on as the log grows, until stopped
    rule_set rules = rule_set::classic;  // the rules every report of the run counts by
    bool output_named = false;           // an -o was given
    bool no_arguments = false;           // the classic run: nothing on the command line
    std::string history;                 // --history FILE: the history, or empty for none
    bool from_history = false;           // the reports come from the history, not from a log
    std::string since;                   // --since YYYY-MM-DD, or empty
    std::string until;                   // --until YYYY-MM-DD, or empty
};

// The text report written when a log is named and no -o: the log's name with its extension
// (from its last dot) replaced by ".txt", in the log's folder ("games/a.log" gives
// "games/a.txt"); ".report.txt" instead when that would name the log itself ("a.txt" gives
// "a.report.txt").
std::string report_named_after(const std::string& log);

// Parses the arguments (UTF-8, argv[0] the program). Returns true with options filled when the
// run should go ahead. Otherwise returns false with exit_status set after printing the help or
// the version on standard output, or a usage error on standard error; no file has been read or
// written then.
bool parse_command_line(int argc, const char* const* argv, run_options& options, int& exit_status);
