// The one routine every extractor runs, with constants of its own. In a pattern, '?' stands
// for one byte of any value; every other byte must match exactly. A pattern that would reach
// past the end of the text does not match.
#pragma once

#include <string_view>

#include "extractors/extractors.h"

// Where the names of a two-name line begin and end.
struct two_name_rules {
    // The victim's name ends where this pattern is first found, from position 1 on.
    std::string_view first_end;
    // The killer's name begins one byte after the first occurrence of this pattern.
    std::string_view start;
    // The killer's name ends where this pattern is first found, from its second byte on ...
    std::string_view second_end;
    // ... or, when this is set, at its first line feed after its first byte.
    bool second_ends_at_line_feed;
};

// Returns the text from position 0 up to the first match of first_end at position 1 or later,
// cut to max_name_length bytes.
std::string_view first_name(std::string_view text, std::string_view first_end);

// Returns the killer's name under the rules; empty when the start pattern is missing or the
// text ends before the name would begin.
std::string_view second_name(std::string_view text, const two_name_rules& rules);

// Returns a record holding first_name in curname.
stats_t cut_one_name(std::string_view text, std::string_view first_end);

// Returns a record holding first_name in vicname and second_name in aggname.
stats_t cut_two_names(std::string_view text, const two_name_rules& rules);
