// The HTML report: one self-contained page of the run's tables that a browser opens from the
// disk, with inline styles and charts, no script, and a policy that forbids any outside load.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "report/results.h"

// Writes the page of the results (the players, the run's facts and the rounds) to out, naming
// the results' log as the one it comes from, and flushes out. The page goes out as it is
// made, so after a failure out may hold part of it. Line ends are LF, so open out in binary
// mode for the same bytes on every platform. Returns false when a write failed.
bool write_html(std::FILE* out, const run_results& results);

// Appends a player's name as the page shows it: a chip with the game's colour codes drawn as
// colours and the raw name as its title, every byte escaped, bytes from 128 read as Latin-1.
void append_name_html(std::string& page, std::string_view raw);
