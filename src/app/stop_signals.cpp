#include "app/stop_signals.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/exit_status.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace {

// The files a stop removes, with copies of their paths, so that a handler reads only memory
// this module owns; changed only while stops are held, so a handler never sees it half changed.
struct listed_file {
    std::string path;
    std::FILE* stream;
};
std::vector<listed_file> temp_files;

// Set when a deferred request has come; the next request is handled as before.
volatile std::sig_atomic_t deferring = 0;
volatile std::sig_atomic_t requested = 0;

#ifdef _WIN32

// Windows runs a stop handler on a thread of its own while the program goes on; the lock is
// what holding stops back means there.
struct list_lock {
    CRITICAL_SECTION section{};
    list_lock() { InitializeCriticalSection(&section); }
};
list_lock lock;

// An open file cannot be deleted on Windows, so each is closed first; the program ends here,
// with the lock kept, so that no write goes on. It ends by TerminateProcess, as _exit does
// elsewhere: ExitProcess runs the C runtime's cleanup, which flushes every stream and can wait
// forever for a stream's lock that the main thread, ended mid-write, still holds (with
// ExitProcess, a follow under wine hung at a second Ctrl-Break in 1 run of 12; not since).
HANDLE stop_event = nullptr;
HANDLE done_event = nullptr;
volatile int final_status = exit_failure;
// Windows may run handlers of two events at once, each on its own thread: one of them only
// takes the deferred first request.
volatile LONG first_taken = 0;

BOOL WINAPI on_stop(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    if (deferring != 0 && InterlockedExchange(&first_taken, 1) == 0) {
        requested = 1;
        SetEvent(stop_event);
        if (event != CTRL_CLOSE_EVENT) {
            return TRUE;
        }
        // Windows ends the program once this handler returns from a closed console, and gives
        // it 5 seconds: the final reports are written meanwhile on the main thread, and the
        // program ends with the status of the run. Past that time it ends as at a second
        // request, below, so that no temporary file is left behind.
        if (WaitForSingleObject(done_event, 4500) == WAIT_OBJECT_0) {
            TerminateProcess(GetCurrentProcess(), static_cast<UINT>(final_status));
        }
    }
    EnterCriticalSection(&lock.section);
    for (const listed_file& file : temp_files) {
        _close(_fileno(file.stream));
        remove_file(file.path);
    }
    TerminateProcess(GetCurrentProcess(), exit_failure);
    return TRUE;
}

#else

sigset_t stop_set() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// The self-pipe that wakes a run waiting in poll at a deferred request.
std::array<int, 2> wake_pipe{-1, -1};

// Only async-signal-safe calls: tcsetattr inside restore_console_settings, write, unlink, _exit.
void on_stop(int /*signal_number*/) {
    if (deferring != 0 && requested == 0) {
        requested = 1;
        int saved = errno;
        char byte = 1;
        [[maybe_unused]] ssize_t wrote = write(wake_pipe[1], &byte, 1);
        errno = saved;
        return;
    }
    restore_console_settings();
    for (const listed_file& file : temp_files) {
        unlink(file.path.c_str());
    }
    _exit(exit_failure);
}

#endif

}  // namespace

#ifdef _WIN32

void handle_stop_requests() {
    SetConsoleCtrlHandler(on_stop, TRUE);
}

void defer_first_stop_request() {
    stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    done_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    deferring = stop_event != nullptr && done_event != nullptr ? 1 : 0;
}

void* stop_request_event() {
    return stop_event;
}

void stop_request_done(int exit_status) {
    // The handler ends the program without the C runtime's cleanup.
    std::fflush(stdout);
    final_status = exit_status;
    if (done_event != nullptr) {
        SetEvent(done_event);
    }
}

stops_held::stops_held() {
    EnterCriticalSection(&lock.section);
}

stops_held::~stops_held() {
    LeaveCriticalSection(&lock.section);
}

#else

void handle_stop_requests() {
    struct sigaction action {};
    action.sa_handler = on_stop;
    action.sa_mask = stop_set();
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        // A stop the caller ignores (nohup, a shell's background job) stays ignored.
        if (sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signal_number, &action, nullptr);
    }
}

void defer_first_stop_request() {
    // Without the pipe a request could not wake the wait, so it stops the program as before.
    if (pipe(wake_pipe.data()) != 0) {
        return;
    }
    for (int end : wake_pipe) {
        fcntl(end, F_SETFD, FD_CLOEXEC);
        fcntl(end, F_SETFL, O_NONBLOCK);
    }
    deferring = 1;
}

int stop_request_descriptor() {
    return wake_pipe[0];
}

stops_held::stops_held() {
    sigset_t set = stop_set();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

stops_held::~stops_held() {
    sigset_t set = stop_set();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

#endif

bool stop_requested() {
    return requested != 0;
}

void remember_temp_file(const temp_file& temp) {
    temp_files.push_back({temp.path, temp.stream});
}

void forget_temp_file(const temp_file& temp) {
    temp_files.erase(
        std::remove_if(temp_files.begin(), temp_files.end(),
                       [&temp](const listed_file& file) { return file.path == temp.path; }),
        temp_files.end());
}
