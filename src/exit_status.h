// The program's exit statuses, named in one place.
#pragma once

// After a normal run and after the round-limit stop; the program has always ended with 1.
inline constexpr int exit_normal = 1;

// The log could not be read or the report could not be written.
inline constexpr int exit_failure = 2;
