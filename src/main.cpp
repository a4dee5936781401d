// fragtally: reads the game's console log qconsole.log in the current folder and writes the
// players' statistics to qconsole.txt there. Arguments are ignored.
#include <csignal>

#include "console.h"
#include "parselog.h"
#include "tables.h"

int main() {
    ignore_broken_pipe();
#ifdef SIGXFSZ
    // A file-size limit then fails the write, which is reported, instead of killing the run
    // with a temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    init();
    return parse_log();
}
