// fragtally: reads the game's console log qconsole.log in the current folder and writes the
// players' statistics to qconsole.txt there. Arguments are ignored.
#include <csignal>
#include <cstdlib>

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
    if (!choose_cpu_path(std::getenv("FRAGTALLY_CPU"))) {
        report_problem(
            "FRAGTALLY_CPU names no CPU path this machine has; it may be empty or "
            "one of: portable, sse2, avx2, avx512");
        return exit_failure;
    }
    init();
    return parse_log();
}
