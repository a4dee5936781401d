#include "parselog.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <limits>

#include "console.h"
#include "exit_status.h"
#include "files.h"
#include "kinds.h"
#include "line_memo.h"
#include "line_scanner.h"
#include "messages.h"
#include "progress.h"
#include "report.h"

namespace {

// Counts stop at the largest value rather than wrap round to a negative one.
void bump(std::int32_t& count) {
    if (count < std::numeric_limits<std::int32_t>::max()) {
        ++count;
    }
}

// The round that the line being examined belongs to.
round_tally* this_round = &round_tallies[0];

void bump(int slot, counter c) {
    auto s = static_cast<std::size_t>(slot);
    auto i = static_cast<std::size_t>(c);
    bump(stats[s][i]);
    bump(this_round->stats[s][i]);
}

std::string_view text_of(const name_slot& field) {
    auto end = std::find(field.begin(), field.end(), '\0');
    return {field.data(), static_cast<std::size_t>(end - field.begin())};
}

void bump_two(const obituary_kind& kind, int victim_slot, int killer_slot) {
    bump(victim_slot, deaths);
    bump(victim_slot, kind.victim);
    bump(killer_slot, kills);
    bump(killer_slot, kind.killer);
    auto killer_at = static_cast<std::size_t>(killer_slot);
    auto victim_at = static_cast<std::size_t>(victim_slot);
    bump(who_killed_who[killer_at][victim_at]);
    bump(this_round->who_killed_who[killer_at][victim_at]);
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

// The notice goes to out: standard output, or standard error when a report goes there.
void stop_at_round_limit(std::FILE* out) {
    if (out == stdout && output_is_console()) {
        clear_console();
    }
    std::fprintf(out,
                 "How much have you been playing? I never anticipated anyone playing more than\n");
    std::fprintf(out,
                 "%d rounds... You seem to have hit that limit. Writing out qconsole.txt now and "
                 "quitting.\n",
                 round_limit);
    std::fprintf(out, "Mail me at %s and I'll give you a version with even higher\n",
                 contact_email);
    std::fprintf(out, "rounds limit.\n");
    std::fprintf(out, "\nPress any key... ");
    std::fflush(out);
    if (input_is_console()) {
        wait_for_key();
    }
}

// The round the lines read so far belong to; rounds past the last kept (only when lines are
// examined on after the stop) share the last.
round_tally& current_round() {
    return round_tallies[static_cast<std::size_t>(std::min<std::int32_t>(rounds, max_rounds - 1))];
}

// Examines a line given its phrases, and tells in `effect` what it did, or returns with
// `repeatable` false when the same bytes might do something else when seen again. The pass
// inlines this into its loop over lines; examine_line is the same for one line.
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
                effect.kinds[effect.count++] = {static_cast<std::uint8_t>(k),
                                                static_cast<std::int8_t>(victim_slot),
                                                static_cast<std::int8_t>(killer_slot)};
            }
        }
    }
    return true;
}

// Counts a line whose bytes did `effect` before, in the round it belongs to.
void replay(const line_effect& effect) {
    ++lines_read;
    this_round = &current_round();
    for (std::size_t i = 0; i < effect.count; ++i) {
        const fired_kind& fired = effect.kinds[i];
        const obituary_kind& kind = obituary_kinds[fired.kind];
        if (kind.two_names) {
            bump_two(kind, fired.victim, fired.killer);
        } else {
            bump(fired.victim, kind.victim);
        }
    }
}

// Counts a line of the pass: as it was counted before when its bytes are remembered, otherwise
// by examining it, remembered when seeing it again must do the same. Returns false at the
// round-limit stop.
inline bool count_line(std::string_view text, const memo_key& key) {
    if (const line_effect* known = recall_line(key); known != nullptr) {
        replay(*known);
        return true;
    }
    line_effect effect{};
    bool repeatable = false;
    if (!examine(text, phrases_of_line(text), effect, repeatable)) {
        return false;
    }
    if (repeatable) {
        remember_line(key, effect);
    }
    return true;
}

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
    scanned_line line;
    static_assert(readable_after_text >= memo_text_size, "the memo reads whole words past a line");
    // The next line's entry is loaded while this line is counted, when the scanner knows it.
    memo_key key{};
    bool key_known = false;
    for (;;) {
        scan_result got = next_scanned_line(line);
        lines_read += line.lines_before;
        unprinted += line.lines_before;
        if (got != scan_result::line) {
            end = got == scan_result::failed ? pass_end::read_failed : pass_end::end_of_log;
            break;
        }
        if (!key_known) {
            key = key_of_line(line.text);
        }
        memo_key this_key = key;
        std::string_view upcoming = upcoming_line();
        key_known = !upcoming.empty();
        if (key_known) {
            key = key_of_line(upcoming);
            prefetch_line(key);
        }
        if (!count_line(line.text, this_key)) {
            end = pass_end::round_limit_stop;  // that line gets no progress line
            break;
        }
        if (++unprinted >= progress_batch) {
            add_progress_lines(unprinted);
            unprinted = 0;
        }
    }
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
    bool report_on_stdout = false;
    for (const report_output& output : options.outputs) {
        report_on_stdout = report_on_stdout || output.path == standard_output;
    }
    start_scan(in);
    start_progress(options.quiet || report_on_stdout ? nullptr : stdout);

    pass_end end = run_pass();
    std::fclose(in);
    flush_progress();
    if (end == pass_end::read_failed) {
        report_failure("cannot read", options.log, scan_error());
        return exit_failure;
    }
    if (end == pass_end::round_limit_stop) {
        stop_at_round_limit(report_on_stdout ? stderr : stdout);
    }
    // Each report stands on its own: one that fails leaves the others to be written.
    bool written = true;
    const report_source source{options.log};
    for (const report_output& output : options.outputs) {
        written = write_report(*output.format, output.path, source) && written;
    }
    if (uncounted_obituaries > 0) {
        std::array<char, 96> text{};
        std::snprintf(text.data(), text.size(), "more than %d players: %llu %s not counted",
                      max_players, static_cast<unsigned long long>(uncounted_obituaries),
                      uncounted_obituaries == 1 ? "obituary was" : "obituaries were");
        report_problem(text.data());
    }
    return written ? exit_normal : exit_failure;
}
