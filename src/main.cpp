// fragtally: reads the game's console log qconsole.log in the current folder and writes the
// players' statistics to qconsole.txt there. Arguments are ignored.
#include "console.h"
#include "parselog.h"
#include "tables.h"

int main() {
    ignore_broken_pipe();
    init();
    return parse_log();
}
