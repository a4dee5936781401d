// The program's messages to the user, all on standard error and prefixed with its name.
#pragma once

#include <string_view>

// Prints "fragtally: <action> <file>: <reason>", the reason being the text of the errno value.
void report_failure(std::string_view action, std::string_view file, int error);

// Prints "fragtally: <text>".
void report_problem(std::string_view text);

// Prints "fragtally: <text>" and a second line pointing to --help.
void report_usage_error(std::string_view text);
