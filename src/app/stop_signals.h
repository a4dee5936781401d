// What a stop request does to a run (Ctrl-C, SIGTERM or SIGHUP on POSIX systems; Ctrl-C,
// Ctrl-Break or closing the console window on Windows): the temporary files of the reports are
// removed, the terminal's settings put back, and the program exits with exit_failure.
#pragma once

#include "scan/files.h"

// Installs the handlers of the stop requests; call once, before any temporary file exists.
void handle_stop_requests();

// Holds the stop requests back while it lives (a stop held back is handled when it ends), so
// that the list of temporary files changes, and a listed file is closed, as one step.
class stops_held {
  public:
    stops_held();
    ~stops_held();
    stops_held(const stops_held&) = delete;
    stops_held& operator=(const stops_held&) = delete;
};

// Lists a temporary file, open, that a stop request closes and removes; call with stops held.
void remember_temp_file(const temp_file& temp);

// Takes a temporary file off the list, before it is closed and renamed into place or removed;
// call with stops held.
void forget_temp_file(const temp_file& temp);
