// fragtally: reads the game's console log qconsole.log in the current folder and writes the
// players' statistics to qconsole.txt there. Arguments are ignored.
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "console.h"
#include "cpu.h"
#include "exit_status.h"
#include "messages.h"
#include "parselog.h"
#include "tables.h"

int main() {
    ignore_broken_pipe();
#ifdef SIGXFSZ
    // A file-size limit then fails the write, which is reported, instead of killing the run
    // with a temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const char* wanted = std::getenv("FRAGTALLY_CPU");
    if (!choose_cpu_path(wanted)) {
        std::string text = "FRAGTALLY_CPU is \"" + std::string(wanted != nullptr ? wanted : "") +
                           "\", not one of the CPU paths this machine has:";
        for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
            if (cpu_has(static_cast<cpu_path>(p))) {
                text += " " + std::string(cpu_path_names[p]);
            }
        }
        report_problem(text);
        return exit_failure;
    }
    init();
    return parse_log();
}
