#include "count/parselog.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/exit_status.h"
#include "app/messages.h"
#include "app/progress.h"
#include "count/full_rules.h"
#include "count/kinds.h"
#include "count/line_memo.h"
#include "report/report.h"
#include "report/report_formats.h"
#include "scan/files.h"
#include "scan/line_scanner.h"
#include "version.h"

namespace {

// Counts stop at the largest value rather than wrap round to a negative one.
void bump(std::int32_t& count, std::uint32_t times = 1) {
    std::int64_t sum = std::int64_t{count} + times;
    count = static_cast<std::int32_t>(
        std::min<std::int64_t>(sum, std::numeric_limits<std::int32_t>::max()));
}

// The round that the line being examined belongs to.
round_tally* this_round = &round_tallies[0];

// Whether a count goes to the totals as well as to its round: the pass adds up the totals from
// the rounds when it ends, so a line seen again is counted in its round alone.
enum class totals { bumped, left };

template <totals to_totals = totals::bumped>
void bump(int slot, counter c, std::uint32_t times = 1) {
    auto s = static_cast<std::size_t>(slot);
    auto i = static_cast<std::size_t>(c);
    if constexpr (to_totals == totals::bumped) {
        bump(stats[s][i], times);
    }
    bump(this_round->stats[s][i], times);
}

std::string_view text_of(const name_slot& field) {
    auto end = std::find(field.begin(), field.end(), '\0');
    return {field.data(), static_cast<std::size_t>(end - field.begin())};
}

template <totals to_totals = totals::bumped>
void bump_two(const obituary_kind& kind, int victim_slot, int killer_slot,
              std::uint32_t times = 1) {
    bump<to_totals>(victim_slot, deaths, times);
    bump<to_totals>(victim_slot, kind.victim, times);
    bump<to_totals>(killer_slot, kills, times);
    bump<to_totals>(killer_slot, kind.killer, times);
    auto killer_at = static_cast<std::size_t>(killer_slot);
    auto victim_at = static_cast<std::size_t>(victim_slot);
    if constexpr (to_totals == totals::bumped) {
        bump(who_killed_who[killer_at][victim_at], times);
    }
    bump(this_round->who_killed_who[killer_at][victim_at], times);
}

// Returns the slot counted, or no_slot when the obituary was not counted.
int count_one_name(const obituary_kind& kind, const name_slot& player) {
    int slot = find_name(player);
    if (slot == no_slot) {
        ++uncounted_obituaries;
        return no_slot;
    }
    bump(slot, kind.victim);
    return slot;
}

// Returns whether the obituary was counted, on the slots it leaves in victim_slot and
// killer_slot.
bool count_two_names(const obituary_kind& kind, const name_slot& victim, const name_slot& killer,
                     int& victim_slot, int& killer_slot) {
    // Either both names get a slot or the obituary changes nothing at all.
    victim_slot = lookup_name(victim);
    killer_slot = lookup_name(killer);
    int new_names = 0;
    if (victim_slot == no_slot) {
        ++new_names;
    }
    if (killer_slot == no_slot && text_of(killer) != text_of(victim)) {
        ++new_names;
    }
    if (new_names > free_slots()) {
        ++uncounted_obituaries;
        return false;
    }
    if (victim_slot == no_slot) {
        victim_slot = find_name(victim);
    }
    if (killer_slot == no_slot) {
        killer_slot = find_name(killer);
    }
    bump_two(kind, victim_slot, killer_slot);
    return true;
}

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

// The classic notice clears a terminal, goes to standard output and waits for a key on a
// terminal. A run that asked for no progress or for other reports, or a scripted run given
// arguments, gets it on standard error and goes on: the key wait and the cleared screen would
// only be in its way. A run without arguments stays as it always was.
void stop_at_round_limit(const run_options& options, const std::vector<pending_report>& reports) {
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

// The round the lines read so far belong to; rounds past the last kept (only when lines are
// examined on after the stop) share the last.
round_tally& current_round() {
    return round_tallies[static_cast<std::size_t>(std::min<std::int32_t>(rounds, max_rounds - 1))];
}

// Adds the effects of lines seen again, each as many times as it was, in the round being read:
// lines seen again are only tallied by the memo until a round end or the end of the pass
// settles them.
void add_tallies(const line_tally* tallies, std::size_t count) {
    this_round = &current_round();
    for (std::size_t t = 0; t < count; ++t) {
        const line_effect& effect = tallies[t].effect;
        for (std::size_t i = 0; i < effect.count; ++i) {
            const fired_kind& fired = effect.kinds[i];
            const obituary_kind& kind = obituary_kinds[fired.kind];
            if (kind.two_names) {
                bump_two<totals::left>(kind, fired.victim, fired.killer, tallies[t].times);
            } else {
                bump<totals::left>(fired.victim, kind.victim, tallies[t].times);
            }
        }
    }
}

// Examines a line given its phrases, and tells in `effect` what it did, or returns with
// `repeatable` false when the same bytes might do something else when seen again. The pass
// takes this for each line the memo does not hold; examine_line is the same for one line.
inline bool examine(std::string_view text, phrase_set phrases, line_effect& effect,
                    bool& repeatable) {
    ++lines_read;
    effect.count = 0;
    repeatable = true;
    if (phrases == 0) {
        return true;  // most lines
    }
    // A round end's obituaries belong to the round it ends.
    this_round = &current_round();
    if ((phrases & round_end_phrases) != 0) {
        // The lines seen again so far belong to the round this line ends.
        settle_lines(add_tallies);
        assert(lines_settled());
        repeatable = false;
        if (rounds < max_rounds) {
            this_round->end_line = lines_read;
        }
        ++rounds;
        if (rounds > round_limit) {
            return false;
        }
    }
    // Kinds in table order; one line may be of several.
    for (std::size_t k = 0; k < obituary_kinds.size(); ++k) {
        if ((phrases & phrases_of_kind[k]) == phrases_of_kind[k]) {
            const obituary_kind& kind = obituary_kinds[k];
            stats_t names = kind.extract(text);
            int victim_slot = no_slot;
            int killer_slot = no_slot;
            bool counted = false;
            if (kind.two_names) {
                counted =
                    count_two_names(kind, names.vicname, names.aggname, victim_slot, killer_slot);
            } else {
                victim_slot = count_one_name(kind, names.curname);
                counted = victim_slot != no_slot;
            }
            if (!counted || effect.count == memo_kinds) {
                repeatable = false;
            } else {
                static_assert(obituary_kinds.size() <= 256, "a remembered kind must fit");
                effect.kinds[effect.count++] = {static_cast<std::uint8_t>(k),
                                                static_cast<std::int8_t>(victim_slot),
                                                static_cast<std::int8_t>(killer_slot)};
            }
        }
    }
    return true;
}

// Counts a line that the memo does not hold by examining it, and remembers it when seeing it
// again must do the same. Returns false at the round-limit stop. Kept out of the loop over
// lines, which it would crowd.
[[gnu::noinline]] bool count_new_line(std::string_view text, const memo_key& key) {
    line_effect effect{};
    bool repeatable = false;
    if (!examine(text, phrases_of_line(text), effect, repeatable)) {
        return false;
    }
    if (repeatable) {
        remember_line(key, effect, add_tallies);
    }
    return true;
}

// Counts a batch of lines in order, their memo entries loaded side by side first: one line's
// wait for its entry would hold up the next.
template <text_comparer same_text>
[[gnu::always_inline]] inline bool count_lines(const line_batch_of_run& batch) {
    // The keys' fields apart, not keys: a key copied whole is written in pieces and read back
    // in one, which the processor cannot forward from its stores.
    std::array<std::size_t, line_batch> lengths;
    std::array<std::size_t, line_batch> sets;
    std::array<std::uint16_t, line_batch> tags;
    for (std::size_t i = 0; i < batch.size; ++i) {
        memo_key key = key_of_line(batch.texts[i]);
        prefetch_set(key);
        lengths[i] = key.length;
        sets[i] = key.set;
        tags[i] = key.tag;
    }
    std::array<std::uint32_t, line_batch> candidates;
    for (std::size_t i = 0; i < batch.size; ++i) {
        candidates[i] =
            prefetch_entry(memo_key{batch.texts[i].data(), lengths[i], sets[i], tags[i]});
    }
    for (std::size_t i = 0; i < batch.size; ++i) {
        lines_read += batch.passed_before[i];
        memo_key key{batch.texts[i].data(), lengths[i], sets[i], tags[i]};
        if (see_again<same_text>(key, candidates[i])) {
            ++lines_read;
            continue;
        }
        if (!count_new_line(batch.texts[i], key)) {
            return false;
        }
        // The line may have taken an entry of its set from a line after it in the batch.
        for (std::size_t later = i + 1; later < batch.size; ++later) {
            if (sets[later] == sets[i]) {
                candidates[later] = prefetch_entry(
                    memo_key{batch.texts[later].data(), lengths[later], sets[later], tags[later]});
            }
        }
    }
    lines_read += batch.passed_after;
    return true;
}

bool count_lines_portable(const line_batch_of_run& batch) {
    return count_lines<same_text_portable>(batch);
}

#if FRAGTALLY_X86_64
// With texts compared 16 bytes at a time, as every x86-64 CPU can.
bool count_lines_sse2(const line_batch_of_run& batch) {
    return count_lines<same_text_sse2>(batch);
}

// The same with the bit-manipulation instructions that the AVX2 path's CPUs have.
[[gnu::target("avx2,bmi,bmi2,popcnt")]] bool count_lines_avx2(const line_batch_of_run& batch) {
    return count_lines<same_text_sse2>(batch);
}

// And with the AVX-512 path's text comparer.
[[gnu::target("avx512bw,avx512vl,avx2,bmi,bmi2,popcnt"), gnu::flatten]] bool count_lines_avx512(
    const line_batch_of_run& batch) {
    return count_lines<same_text_avx512>(batch);
}
#endif

}  // namespace

bool examine_line(std::string_view text, phrase_set phrases) {
    line_effect effect{};
    bool repeatable = false;
    return examine(text, phrases, effect, repeatable);
}

pass_end run_pass() {
    // Progress lines depend on nothing but the count, so they are added in batches.
    constexpr std::uint64_t progress_batch = 4096;
    std::uint64_t unprinted = 0;
    pass_end end = pass_end::end_of_log;
    // Remembered effects name slots of the tables as they were.
    forget_lines();
    static_assert(readable_after_text >= memo_reads_after_text, "the memo reads past a line");
    std::uint64_t settled_at = lines_read;
    batch_counter count = count_lines_portable;
#if FRAGTALLY_X86_64
    switch (active_cpu_path) {
        case cpu_path::portable:
            break;
        case cpu_path::sse2:
            count = count_lines_sse2;
            break;
        case cpu_path::avx2:
            count = count_lines_avx2;
            break;
        case cpu_path::avx512:
            count = count_lines_avx512;
            break;
    }
#endif
    for (;;) {
        scanned_lines lines;
        scan_result got = next_scanned_lines(lines);
        if (got != scan_result::lines) {
            end = got == scan_result::failed ? pass_end::read_failed : pass_end::end_of_log;
            break;
        }
        // A run holds no more lines than bytes.
        std::uint64_t most_lines = lines.line_feeds == nullptr ? 1 : lines.end - lines.begin;
        if (lines_read - settled_at + most_lines > most_unsettled_sightings()) {
            settle_lines(add_tallies);
            settled_at = lines_read;
        }
        std::uint64_t before = lines_read;
        bool go_on = for_each_batch(lines, count);
        unprinted += lines_read - before;
        if (!go_on) {
            --unprinted;  // the line of the round-limit stop gets no progress line
            end = pass_end::round_limit_stop;
            break;
        }
        if (unprinted >= progress_batch) {
            add_progress_lines(unprinted);
            unprinted = 0;
        }
    }
    settle_lines(add_tallies);
    assert(lines_settled());
    total_up_rounds();
    add_progress_lines(unprinted);
    stopped_at_round_limit = end == pass_end::round_limit_stop;
    return end;
}

int parse_log(const run_options& options) {
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
    start_scan(in);
    start_progress(options.quiet || report_on_stdout ? nullptr : stdout);

    // The one place that picks the rule set: the full rules count apart from the classic tables.
    std::unique_ptr<full_count> full;
    pass_end end = pass_end::end_of_log;
    if (options.rules == rule_set::full) {
        full = std::make_unique<full_count>();
        end = run_full_pass(*full) ? pass_end::end_of_log : pass_end::read_failed;
    } else {
        end = run_pass();
    }
    flush_progress();
    if (end == pass_end::read_failed) {
        report_failure("cannot read", options.log, scan_error());
        return give_up();
    }
    std::fclose(in);
    if (end == pass_end::round_limit_stop) {
        stop_at_round_limit(options, reports);
    }
    // Each report stands on its own: one that fails leaves the others to be written.
    bool written = true;
    const run_results results = full ? full->finish(options.log) : results_of_pass(options.log);
    if (!results.rounds.written()) {
        report_failure("cannot keep the rounds in a temporary file for", options.log, errno);
        for (pending_report& report : reports) {
            drop_report(report);
        }
        return exit_failure;
    }
    for (pending_report& report : reports) {
        written = finish_report(report, results) && written;
    }
    if (results.uncounted_obituaries > 0) {
        std::array<char, 96> text{};
        std::snprintf(text.data(), text.size(), "more than %d players: %llu %s not counted",
                      max_players, static_cast<unsigned long long>(results.uncounted_obituaries),
                      results.uncounted_obituaries == 1 ? "obituary was" : "obituaries were");
        report_problem(text.data());
    }
    return written ? exit_normal : exit_failure;
}
