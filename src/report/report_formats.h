// The report formats, in one table: each one's name, file extension, how its file is opened and
// its writer; and the one function that writes a report of any format to a file or to
// standard output.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "report/results.h"
#include "scan/files.h"

// Writes a whole report of the results to out; returns false when a write failed.
using report_writer = bool (*)(std::FILE* out, const run_results& results);

struct report_format {
    std::string_view name;       // as given to --format
    std::string_view extension;  // of its files, with the dot
    bool text_mode;              // "\n" stored as the platform's line end, else always LF
    report_writer write;
    std::string_view other_extension = {};  // one more that names the format, or empty
};

// Every report format, the default (txt) first.
extern const std::array<report_format, 3> report_formats;

// The path that stands for standard output.
inline constexpr std::string_view standard_output = "-";

// The format of the given name, or nullptr.
const report_format* format_named(std::string_view name);

// The format whose extension (or other extension) ends the path (letter case ignored), or
// nullptr.
const report_format* format_of_path(std::string_view path);

// One report of a run, from before the log is read until it is in place: its format, its path
// ("-" for standard output) and, for a file, the temporary file beside it that it is written
// to and renamed from, so that a failure leaves any earlier file as it was.
struct pending_report {
    const report_format* format = nullptr;
    std::string path;
    temp_file temp;
};

// Creates the report's temporary file (nothing for standard output), so that a folder that is
// missing or cannot be written to shows before the log is read; a stop request removes the
// file until finish_report or drop_report. Returns false after reporting a failure on stderr.
bool start_report(pending_report& report);

// Writes the report of the results and renames its file into place (or writes it to standard
// output, where a closed pipe fails silently). Returns false after reporting a failure.
bool finish_report(pending_report& report, const run_results& results);

// Closes and removes the temporary file of a report that start_report began and that will not
// be finished.
void drop_report(pending_report& report);
