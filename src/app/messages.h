// The program's messages to the user, all on standard error and prefixed with its name.
#pragma once

#include <string>
#include <string_view>

// The text with its control bytes escaped (C0 controls, DEL and the UTF-8 forms of the C1
// controls as \n, \t, \r or \xHH), so that a path or argument shown in a message stays on its
// line and sends no terminal escape; every other byte is kept.
std::string printable(std::string_view text);

// Prints "fragtally: <action> <file>: <reason>", the reason being the text of the errno value;
// the file is shown printable.
void report_failure(std::string_view action, std::string_view file, int error);

// Prints "fragtally: <text>"; the caller makes any path or argument in it printable.
void report_problem(std::string_view text);

// Prints "fragtally: <text>" and a second line pointing to --help; the caller makes any path
// or argument in it printable.
void report_usage_error(std::string_view text);
