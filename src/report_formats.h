// The report formats, in one table: each one's name, file extension, how its file is opened and
// its writer; and the one function that writes a report of any format to a file or to
// standard output.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "results.h"

// Writes a whole report of the results to out; returns false when a write failed.
using report_writer = bool (*)(std::FILE* out, const run_results& results);

struct report_format {
    std::string_view name;       // as given to --format
    std::string_view extension;  // of its files, with the dot
    bool text_mode;              // "\n" stored as the platform's line end, else always LF
    report_writer write;
};

// Every report format, the default (txt) first.
extern const std::array<report_format, 3> report_formats;

// The path that stands for standard output.
inline constexpr std::string_view standard_output = "-";

// The format of the given name, or nullptr.
const report_format* format_named(std::string_view name);

// The format whose extension ends the path (letter case ignored), or nullptr.
const report_format* format_of_path(std::string_view path);

// Writes the report to path, or to standard output when path is "-". A file is written to a
// temporary file beside it and renamed into place only when complete, so a failure leaves any
// earlier file as it was. Returns false after reporting a failure on stderr.
bool write_report(const report_format& format, const std::string& path, const run_results& results);
