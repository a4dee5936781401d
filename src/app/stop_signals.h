// What a stop request does to a run (Ctrl-C, SIGTERM or SIGHUP on POSIX systems; Ctrl-C,
// Ctrl-Break or closing the console window on Windows): the temporary files of the reports are
// removed, the terminal's settings put back, and the program exits with exit_failure; a run that
// follows a log defers the first request, to write its final reports.
#pragma once

#include "scan/files.h"

// Installs the handlers of the stop requests; call once, before any temporary file exists.
void handle_stop_requests();

// From now on the first stop request only asks the run to stop, for a run that writes its final
// reports then (following a log): stop_requested() turns true and the wake handle is signalled.
// A second request does what every request did before. Call after handle_stop_requests.
void defer_first_stop_request();

// Whether a deferred stop request came.
bool stop_requested();

#ifdef _WIN32
// An event, set by a deferred stop request, to wait on with the Windows wait functions.
void* stop_request_event();

// Tells the handler of a console being closed, which must not return before the run has ended,
// that the final reports are written and with which status the program ends.
void stop_request_done(int exit_status);
#else
// A descriptor that becomes readable at a deferred stop request, to wait on with poll.
int stop_request_descriptor();
#endif

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
