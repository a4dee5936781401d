#include "app/run.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/exit_status.h"
#include "app/follow.h"
#include "app/history_run.h"
#include "app/messages.h"
#include "app/progress.h"
#include "count/classic_rules.h"
#include "count/full_rules.h"
#include "count/line_memo.h"
#include "count/pass.h"
#include "count/tables.h"
#include "report/report_formats.h"
#include "scan/files.h"
#include "scan/line_scanner.h"
#include "version.h"

namespace {

// The reports as the round-limit notice names them: "a.txt", "a.txt and b.html", "a.txt, b.json
// and standard output".
std::string names_of(const std::vector<pending_report>& reports) {
    std::string names;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (i > 0) {
            names += i + 1 == reports.size() ? " and " : ", ";
        }
        const std::string& path = reports[i].path;
        names += path == standard_output ? "standard output" : printable(path);
    }
    return names;
}

}  // namespace

// The classic notice clears a terminal, goes to standard output and waits for a key on a
// terminal. A run that asked for no progress or for other reports, or a scripted run given
// arguments, gets it on standard error and goes on: the key wait and the cleared screen would
// only be in its way. A run without arguments stays as it always was.
void notice_round_limit(const run_options& options, const std::vector<pending_report>& reports) {
    bool classic =
        !options.quiet && !options.output_named && (options.no_arguments || input_is_console());
    std::FILE* out = classic ? stdout : stderr;
    if (classic && output_is_console()) {
        clear_console();
    }
    std::string names = names_of(reports);
    std::fprintf(out,
                 "How much have you been playing? I never anticipated anyone playing more than\n");
    std::fprintf(out,
                 "%d rounds... You seem to have hit that limit. Writing out %s now and quitting.\n",
                 round_limit, names.c_str());
    std::fprintf(out, "Mail me at %s and I'll give you a version with even higher\n",
                 contact_email);
    std::fprintf(out, "rounds limit.\n");
    if (classic) {
        std::fprintf(out, "\nPress any key... ");
    }
    std::fflush(out);
    if (classic && input_is_console()) {
        wait_for_key();
    }
}

int run_log(const run_options& options, cpu_path path) {
    if (options.follow) {
        return follow_log(options, path);
    }
    std::FILE* in = open_for_reading(options.log);
    if (in == nullptr) {
        report_failure("cannot open", options.log, errno);
        return exit_failure;
    }
    // Every report's file is created before the log is read, so that a folder that is missing
    // or cannot be written to shows at once, not after a long pass.
    std::vector<pending_report> reports(options.outputs.size());
    bool started = true;
    bool report_on_stdout = false;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        reports[i].format = options.outputs[i].format;
        reports[i].path = options.outputs[i].path;
        started = start_report(reports[i]) && started;
        report_on_stdout = report_on_stdout || reports[i].path == standard_output;
    }
    auto give_up = [&] {
        std::fclose(in);
        for (pending_report& report : reports) {
            drop_report(report);
        }
        return exit_failure;
    };
    if (!started) {
        return give_up();
    }
    start_progress(options.quiet || report_on_stdout ? nullptr : stdout);

    // The one place that picks the rule set: the full rules count apart from the classic tables,
    // over every line of the log.
    std::unique_ptr<full_count> full;
    std::unique_ptr<classic_tables> tables;
    progress_output progress;
    pass_end end = pass_end::end_of_log;
    if (options.rules == rule_set::full) {
        start_scan(in, path);
        hash_for_history(options);
        full = std::make_unique<full_count>();
        end = run_full_pass(*full, progress) == scan_result::failed ? pass_end::read_failed
                                                                    : pass_end::end_of_log;
    } else {
        start_scan(in, path);
        tables = std::make_unique<classic_tables>();
        // The rounds go to a temporary file as they end, and the writers read them back one at
        // a time; without one they stay in memory.
        if (std::FILE* spill = std::tmpfile()) {
            tables->spill_rounds_to(spill);
        }
        hash_for_history(options);
        classic_rules rules(*tables, path);
        end = run_pass(rules, progress, path);
    }
    flush_progress();
    if (end == pass_end::read_failed) {
        report_failure("cannot read", options.log, scan_error());
        return give_up();
    }
    std::fclose(in);
    if (end == pass_end::round_limit_stop) {
        notice_round_limit(options, reports);
    }
    // Each report stands on its own: one that fails leaves the others to be written.
    bool written = true;
    run_results results = full ? full->finish(options.log) : results_of_pass(*tables, options.log);
    results.log_bytes = bytes_scanned();
    for (pending_report& report : reports) {
        written = finish_report(report, results) && written;
    }
    if (!options.history.empty()) {
        // The pass is over: the memos' memory is the history's, so that recording does not
        // add SQLite's pages on top of it. The results share the full rules' rounds file.
        give_back_lines();
        full.reset();
    }
    written = record_run(options, results, scan_digests()) && written;
    if (results.uncounted_obituaries > 0) {
        std::array<char, 96> text{};
        std::snprintf(text.data(), text.size(), "more than %d players: %llu %s not counted",
                      max_players, static_cast<unsigned long long>(results.uncounted_obituaries),
                      results.uncounted_obituaries == 1 ? "obituary was" : "obituaries were");
        report_problem(text.data());
    }
    return written ? exit_normal : exit_failure;
}
