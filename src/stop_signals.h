// What a stop request does to a run (Ctrl-C, SIGTERM or SIGHUP, on POSIX systems): the
// temporary files of the reports are removed, the terminal's settings put back, and the
// program exits with exit_failure.
#pragma once

#include <string>

// Installs the handlers of the stop requests; call once, before any temporary file exists.
void handle_stop_requests();

// Holds the stop requests back while it lives (on POSIX systems; a stop held back arrives when
// it ends), so that a temporary file created in its scope is remembered before a stop can
// find it missing from the list.
class stops_held {
  public:
    stops_held();
    ~stops_held();
    stops_held(const stops_held&) = delete;
    stops_held& operator=(const stops_held&) = delete;
};

// Adds a temporary file that a stop request removes; call with stops held.
void remember_temp_file(const std::string& path);

// Takes a temporary file off the list once it was renamed into place or removed; call with
// stops held.
void forget_temp_file(const std::string& path);
