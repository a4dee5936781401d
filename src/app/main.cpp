// fragtally [OPTIONS] [LOG]: reads the game's console log (qconsole.log in the current folder
// by default) and writes the players' statistics to the reports asked for (qconsole.txt in the
// log's folder by default).
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console.h"
#include "app/exit_status.h"
#include "app/messages.h"
#include "app/run.h"
#include "app/stop_signals.h"
#include "scan/cpu.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

int start(int argc, const char* const* argv) {
    ignore_broken_pipe();
    handle_stop_requests();
#ifdef SIGXFSZ
    // A file-size limit then fails the write, which is reported, instead of killing the run
    // with a temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    run_options options;
    int exit_status = 0;
    if (!parse_command_line(argc, argv, options, exit_status)) {
        return exit_status;
    }
    const char* wanted = std::getenv("FRAGTALLY_CPU");
    // The one choice of CPU path, which every module of the run is handed.
    cpu_path path = cpu_path::portable;
    if (!cpu_path_named(wanted, path)) {
        // Appended piece by piece: g++ 12 warns wrongly of overlapping copies in a chain of +.
        std::string text = "FRAGTALLY_CPU is \"";
        text += printable(wanted != nullptr ? wanted : "");
        text += "\", not one of the CPU paths this machine has:";
        for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
            if (cpu_has(static_cast<cpu_path>(p))) {
                text += ' ';
                text += cpu_path_names[p];
            }
        }
        report_problem(text);
        return exit_failure;
    }
    return run_log(options, path);
}

}  // namespace

#ifdef _WIN32

// The arguments arrive as UTF-16 and are handed on as UTF-8, so paths in any script work.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), size, nullptr, nullptr);
        arg.resize(arg.size() - 1);
        args.push_back(std::move(arg));
    }
    std::vector<const char*> pointers;
    for (const std::string& arg : args) {
        pointers.push_back(arg.c_str());
    }
    int status = start(argc, pointers.data());
    // A double-clicked program has a console window of its own, which closes when it ends: the
    // message of a failure would flash by unread.
    if (status == exit_failure && console_is_own() && input_is_console()) {
        std::fputs("\nPress any key to close this window... ", stderr);
        std::fflush(stderr);
        wait_for_key();
    }
    return status;
}

#else

int main(int argc, char** argv) {
    return start(argc, argv);
}

#endif
