#include "app/history_run.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/exit_status.h"
#include "app/messages.h"
#include "history/history.h"
#include "report/report_formats.h"

void hash_for_history(const run_options& options) {
    if (!options.history.empty()) {
        hash_scan_at(recorded_lengths(options.history, options.rules));
    }
}

bool record_run(const run_options& options, const run_results& results,
                const std::vector<log_digest>& digests) {
    return options.history.empty() || record_session(options.history, results, digests);
}

int report_from_history(const run_options& options) {
    // The reports' files are made first, as for a log, so that a folder that cannot be written
    // shows before the history is read.
    std::vector<pending_report> reports(options.outputs.size());
    bool started = true;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        reports[i].format = options.outputs[i].format;
        reports[i].path = options.outputs[i].path;
        started = start_report(reports[i]) && started;
    }
    std::optional<run_results> results;
    if (started) {
        results =
            results_from_history(options.history, {options.rules, options.since, options.until});
    }
    if (!results) {
        for (pending_report& report : reports) {
            drop_report(report);
        }
        return exit_failure;
    }
    bool written = true;
    for (pending_report& report : reports) {
        written = finish_report(report, *results) && written;
    }
    if (std::uint64_t left_out = results->history->other_rules_left_out; left_out > 0) {
        report_problem(std::to_string(left_out) + (left_out == 1 ? " session" : " sessions") +
                       " recorded under other rules than " +
                       std::string(rule_set_name(options.rules)) + " left out");
    }
    return written ? exit_normal : exit_failure;
}
