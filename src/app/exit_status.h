// The program's exit statuses, named in one place.
#pragma once

// After --help or --version, which read and write no file.
inline constexpr int exit_info = 0;

// After a normal run and after the round-limit stop; the program has always ended with 1.
inline constexpr int exit_normal = 1;

// A usage error, or the log could not be read, or a report could not be written.
inline constexpr int exit_failure = 2;
