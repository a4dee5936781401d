// The JSON report: every tally of the run, in total and round by round, for scripts and pages.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "report/results.h"

// The document's identity, which readers check before anything else; the version goes up only
// when a field changes its meaning or goes away, never for a field added.
inline constexpr const char* json_format_name = "fragtally-report";
inline constexpr int json_format_version = 2;

// Returns a name's bytes as UTF-8 text: each byte of 128 or more becomes the character with that
// code (U+0080 to U+00FF), so a reader gets the exact bytes back from the characters' codes.
std::string text_of_bytes(std::string_view bytes);

// Returns a name without its colour codes: each '^' is removed with the byte after it, while a
// '^' at the very end stays.
std::string plain_name_of(std::string_view player);

// Writes the JSON report of the results to out, which must be open in binary mode so that lines
// end in a line feed on every platform. Returns false when a write to out failed; flushing and
// closing out, and checking that, are left to the caller.
bool write_json(std::FILE* out, const run_results& results);
