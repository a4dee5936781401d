#include "test_support.h"

#include <cstdio>
#include <vector>

#include "app/progress.h"
#include "scan/line_scanner.h"

pass_run run_on(classic_tables& tables, std::string_view log, cpu_path path) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    EXPECT_NE(in, nullptr);
    EXPECT_NE(out, nullptr);
    if (in == nullptr || out == nullptr) {
        return {pass_end::read_failed, {}};
    }
    std::fwrite(log.data(), 1, log.size(), in);
    std::rewind(in);
    start_scan(in, path);
    start_progress(out);
    classic_rules rules(tables, path);
    progress_output progress;
    pass_run run{run_pass(rules, progress, path), {}};
    flush_progress();
    std::rewind(out);
    std::vector<char> chunk(4096);
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), out)) > 0) {
        run.progress.append(chunk.data(), got);
    }
    std::fclose(in);
    std::fclose(out);
    return run;
}

int slot_of(const classic_tables& tables, std::string_view player) {
    int slot = tables.lookup_player(player);
    EXPECT_NE(slot, no_slot) << "no slot for '" << player << "'";
    return slot;
}

int total(const classic_tables& tables, counter c) {
    int sum = 0;
    for (int p = 0; p < tables.player_count; ++p) {
        sum += tables.stats[static_cast<std::size_t>(p)][static_cast<std::size_t>(c)];
    }
    return sum;
}
