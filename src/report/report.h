// The text report: a fixed header, then one block per player in slot order.
#pragma once

#include <cstdio>

#include "report/results.h"

// Writes the text report of the results to out, a stream open in text mode; returns false when
// a write failed.
bool write_txt(std::FILE* out, const run_results& results);
