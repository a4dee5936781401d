#include "parselog.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <limits>

#include "console.h"
#include "exit_status.h"
#include "files.h"
#include "messages.h"
#include "phrases.h"
#include "report.h"

namespace {

// One obituary row: the phrases that must all be in the line, the extractor that cuts its
// names, and the counters it bumps. A one-name row bumps only `single` of its player; a
// two-name row bumps the victim's deaths and `victim`, the killer's kills and `killer`.
struct dispatch_row {
    phrase_set needs;
    stats_t (*extract)(std::string_view);
    bool two_names;
    counter single;
    counter victim;
    counter killer;
};

constexpr dispatch_row one_name(phrase p, stats_t (*extract)(std::string_view), counter c) {
    return {bit(p), extract, false, c, c, c};
}

constexpr dispatch_row two_names(phrase_set needs, stats_t (*extract)(std::string_view),
                                 counter victim, counter killer) {
    return {needs, extract, true, victim, victim, killer};
}

// The rows are independent and tried in this order; one line may fire several of them.
constexpr std::array<dispatch_row, 13> dispatch_table = {
    one_name(ph_wrong_place, suicide, void_suicides),
    one_name(ph_melted_himself, melted, plasma_suicides),
    one_name(ph_into_lava, lava, lava_suicides),
    one_name(ph_blew_himself_up, blown, rocket_suicides),
    one_name(ph_cratered, cratered, crater_suicides),
    two_names(bit(ph_railed_by), railed, rail_deaths, rail_kills),
    two_names(bit(ph_electrocuted_by), lightning, lg_deaths, lg_kills),
    two_names(bit(ph_gunned_down_by), shotgun, sg_deaths, sg_kills),
    two_names(bit(ph_machinegunned_by), machinegun, mg_deaths, mg_kills),
    two_names(bit(ph_melted_by), plasmagun, pg_deaths, pg_kills),
    two_names(bit(ph_almost_dodged), almost_rocketed, rl_close_deaths, rl_close_kills),
    two_names(bit(ph_pummeled_by), gauntlet, gauntlet_deaths, gauntlet_kills),
    two_names(bit(ph_ate) | bit(ph_rocket), rocket_hit, rl_direct_deaths, rl_direct_kills),
};

static_assert(dispatch_table.size() <= 32, "a row is one bit of an unsigned");

// The rows that need one phrase only, by that phrase, and the rows that need more than one.
constexpr std::array<unsigned, phrase_count> rows_by_single_phrase() {
    std::array<unsigned, phrase_count> rows{};
    for (std::size_t r = 0; r < dispatch_table.size(); ++r) {
        phrase_set needs = dispatch_table[r].needs;
        if (std::has_single_bit(needs)) {
            rows[static_cast<std::size_t>(std::countr_zero(needs))] |= 1u << r;
        }
    }
    return rows;
}

constexpr unsigned rows_of_several_phrases() {
    unsigned rows = 0;
    for (std::size_t r = 0; r < dispatch_table.size(); ++r) {
        if (!std::has_single_bit(dispatch_table[r].needs)) {
            rows |= 1u << r;
        }
    }
    return rows;
}

constexpr std::array<unsigned, phrase_count> rows_needing_only = rows_by_single_phrase();
constexpr unsigned rows_needing_more = rows_of_several_phrases();

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

void count_one_name(const dispatch_row& row, const name_slot& player) {
    int slot = find_name(player);
    if (slot == no_slot) {
        ++uncounted_obituaries;
        return;
    }
    bump(slot, row.single);
}

void count_two_names(const dispatch_row& row, const name_slot& victim, const name_slot& killer) {
    // Either both names get a slot or the obituary changes nothing at all.
    int victim_slot = lookup_name(victim);
    int killer_slot = lookup_name(killer);
    int new_names = 0;
    if (victim_slot == no_slot) {
        ++new_names;
    }
    if (killer_slot == no_slot && text_of(killer) != text_of(victim)) {
        ++new_names;
    }
    if (new_names > free_slots()) {
        ++uncounted_obituaries;
        return;
    }
    if (victim_slot == no_slot) {
        victim_slot = find_name(victim);
    }
    bump(victim_slot, deaths);
    bump(victim_slot, row.victim);
    if (killer_slot == no_slot) {
        killer_slot = find_name(killer);
    }
    bump(killer_slot, kills);
    bump(killer_slot, row.killer);
    auto killer_at = static_cast<std::size_t>(killer_slot);
    auto victim_at = static_cast<std::size_t>(victim_slot);
    bump(who_killed_who[killer_at][victim_at]);
    bump(this_round->who_killed_who[killer_at][victim_at]);
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

// Examines a line whose phrases have been found; line is its number, from 1.
bool examine(std::string_view text, phrase_set found, std::uint64_t line) {
    if (found == 0) {
        return true;  // most lines
    }
    // A round end's obituaries belong to the round it ends; rounds past the last kept (only
    // when lines are examined on after the stop) share the last.
    auto round = static_cast<std::size_t>(std::min<std::int32_t>(rounds, max_rounds - 1));
    if ((found & bit(ph_fraglimit)) != 0) {
        if (rounds < max_rounds) {
            round_tallies[round].end_line = line;
        }
        ++rounds;
        if (rounds > round_limit) {
            return false;
        }
    }
    this_round = &round_tallies[round];
    // Which rows fire is gathered first from the few phrases found, without a branch per row,
    // since which one fires is anybody's guess; most lines fire one.
    unsigned firing = 0;
    for (phrase_set left = found; left != 0; left &= left - 1) {
        firing |= rows_needing_only[static_cast<std::size_t>(std::countr_zero(left))];
    }
    for (unsigned rows = rows_needing_more; rows != 0; rows &= rows - 1) {
        auto r = static_cast<unsigned>(std::countr_zero(rows));
        phrase_set needs = dispatch_table[r].needs;
        firing |= static_cast<unsigned>((found & needs) == needs) << r;
    }
    for (; firing != 0; firing &= firing - 1) {
        const dispatch_row& row =
            dispatch_table[static_cast<std::size_t>(std::countr_zero(firing))];
        stats_t names = row.extract(text);
        if (row.two_names) {
            count_two_names(row, names.vicname, names.aggname);
        } else {
            count_one_name(row, names.curname);
        }
    }
    return true;
}

// Examines the log's lines until it ends, and counts them in `lines`, adding their progress
// lines in batches, as progress lines depend on nothing but the count; the last few are left
// in `lines` for the caller.
pass_end examine_lines(log_reader& reader, progress_output& progress, std::uint64_t& lines) {
    constexpr std::uint64_t progress_batch = 4096;
    std::string_view text;
    for (;;) {
        switch (next_line_with_spots(reader, text, lines)) {
            case read_result::line:
                if (!examine(text, phrases_of(reader, text), progress.lines + lines + 1)) {
                    return pass_end::round_limit_stop;
                }
                if (++lines >= progress_batch) {
                    add_progress_lines(progress, lines);
                    lines = 0;
                }
                break;
            case read_result::end_of_log:
                return pass_end::end_of_log;
            case read_result::failed:
                return pass_end::read_failed;
        }
    }
}

}  // namespace

bool examine_line(std::string_view text) {
    ++lines_read;
    return examine(text, find_phrases(text), lines_read);
}

pass_end run_pass(log_reader& reader, progress_output& progress) {
    std::uint64_t lines = 0;
    std::uint64_t first = progress.lines;
    pass_end end = examine_lines(reader, progress, lines);
    add_progress_lines(progress, lines);
    // The line that stops the run at the round limit was read but has no progress line.
    stopped_at_round_limit = end == pass_end::round_limit_stop;
    lines_read += progress.lines - first + (stopped_at_round_limit ? 1 : 0);
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
    static log_reader reader;
    static progress_output progress;
    open_reader(reader, in);
    start_progress(progress, options.quiet || report_on_stdout ? nullptr : stdout);

    pass_end end = run_pass(reader, progress);
    std::fclose(in);
    flush_progress(progress);
    if (end == pass_end::read_failed) {
        report_failure("cannot read", options.log, reader.error);
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
