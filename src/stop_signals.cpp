#include "stop_signals.h"

#include <algorithm>
#include <vector>

#include "console.h"
#include "exit_status.h"

#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

namespace {

// Copies of the paths, so that the handler reads only memory this module owns; changed only
// while stops are held, so the handler never sees it half changed.
std::vector<std::string> temp_files;

#ifndef _WIN32

sigset_t stop_set() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// Only async-signal-safe calls: tcsetattr inside restore_console_settings, unlink, _exit.
void on_stop(int /*signal_number*/) {
    restore_console_settings();
    for (const std::string& path : temp_files) {
        unlink(path.c_str());
    }
    _exit(exit_failure);
}

#endif

}  // namespace

#ifdef _WIN32

// Not yet on Windows: a console stop ends the process there as it always did, and a
// temporary file, still open for writing, may stay behind.
void handle_stop_requests() {}

stops_held::stops_held() = default;

stops_held::~stops_held() = default;

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

stops_held::stops_held() {
    sigset_t set = stop_set();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

stops_held::~stops_held() {
    sigset_t set = stop_set();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

#endif

void remember_temp_file(const std::string& path) {
    temp_files.push_back(path);
}

void forget_temp_file(const std::string& path) {
    temp_files.erase(std::remove(temp_files.begin(), temp_files.end(), path), temp_files.end());
}
