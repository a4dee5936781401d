#include "parselog.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <limits>

#include "console.h"
#include "exit_status.h"
#include "line_memo.h"
#include "messages.h"
#include "phrases.h"
#include "report.h"

std::uint64_t uncounted_obituaries = 0;

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

void bump(int slot, counter c) {
    bump(stats[static_cast<std::size_t>(slot)][static_cast<std::size_t>(c)]);
}

std::string_view text_of(const name_slot& field) {
    auto end = std::find(field.begin(), field.end(), '\0');
    return {field.data(), static_cast<std::size_t>(end - field.begin())};
}

void bump_two(const dispatch_row& row, int victim_slot, int killer_slot) {
    bump(victim_slot, deaths);
    bump(victim_slot, row.victim);
    bump(killer_slot, kills);
    bump(killer_slot, row.killer);
    bump(who_killed_who[static_cast<std::size_t>(killer_slot)]
                       [static_cast<std::size_t>(victim_slot)]);
}

// Returns the slot counted, or no_slot when the obituary was not counted.
int count_one_name(const dispatch_row& row, const name_slot& player) {
    int slot = find_name(player);
    if (slot == no_slot) {
        ++uncounted_obituaries;
        return no_slot;
    }
    bump(slot, row.single);
    return slot;
}

// Returns whether the obituary was counted, on the slots it leaves in victim_slot and
// killer_slot.
bool count_two_names(const dispatch_row& row, const name_slot& victim, const name_slot& killer,
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
    bump_two(row, victim_slot, killer_slot);
    return true;
}

void stop_at_round_limit() {
    if (output_is_console()) {
        clear_console();
    }
    std::printf("How much have you been playing? I never anticipated anyone playing more than\n");
    std::printf(
        "%d rounds... You seem to have hit that limit. Writing out qconsole.txt now and "
        "quitting.\n",
        round_limit);
    std::printf("Mail me at %s and I'll give you a version with even higher\n", contact_email);
    std::printf("rounds limit.\n");
    std::printf("\nPress any key... ");
    std::fflush(stdout);
    if (input_is_console()) {
        wait_for_key();
    }
}

// Examines a line whose phrases have been found, and tells in `effect` what it did, or clears
// `repeatable` when the line might do something else when seen again.
bool examine(std::string_view text, phrase_set found, line_effect& effect, bool& repeatable) {
    effect.count = 0;
    repeatable = true;
    if (found == 0) {
        return true;  // most lines
    }
    if ((found & bit(ph_fraglimit)) != 0) {
        repeatable = false;
        ++rounds;
        if (rounds > round_limit) {
            return false;
        }
    }
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
        auto r = static_cast<std::size_t>(std::countr_zero(firing));
        const dispatch_row& row = dispatch_table[r];
        stats_t names = row.extract(text);
        int victim_slot = no_slot;
        int killer_slot = no_slot;
        bool counted =
            row.two_names
                ? count_two_names(row, names.vicname, names.aggname, victim_slot, killer_slot)
                : (victim_slot = count_one_name(row, names.curname)) != no_slot;
        if (!counted || effect.count == memo_rows) {
            repeatable = false;
        } else {
            effect.rows[effect.count++] = {static_cast<std::uint8_t>(r),
                                           static_cast<std::int8_t>(victim_slot),
                                           static_cast<std::int8_t>(killer_slot)};
        }
    }
    return true;
}

// Counts a line as one that did `effect` before.
void replay(const line_effect& effect) {
    for (std::size_t i = 0; i < effect.count; ++i) {
        const fired_row& fired = effect.rows[i];
        const dispatch_row& row = dispatch_table[fired.row];
        if (row.two_names) {
            bump_two(row, fired.victim, fired.killer);
        } else {
            bump(fired.victim, row.single);
        }
    }
}

// Counts a line of the pass: as it was counted before when it is remembered, otherwise by
// examining it, remembered when seeing it again must do the same.
bool count_line(const log_reader& reader, std::string_view text) {
    static_assert(buffer_padding >= memo_text_size, "the memo reads whole words past a line");
    memo_key key = key_of_line(text);
    if (const line_effect* known = recall_line(key); known != nullptr) {
        replay(*known);
        return true;
    }
    line_effect effect{};
    bool repeatable = false;
    if (!examine(text, phrases_of(reader, text), effect, repeatable)) {
        return false;
    }
    if (repeatable) {
        remember_line(key, effect);
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
                if (!count_line(reader, text)) {
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
    line_effect effect{};
    bool repeatable = false;
    return examine(text, find_phrases(text), effect, repeatable);
}

pass_end run_pass(log_reader& reader, progress_output& progress) {
    forget_lines();
    std::uint64_t lines = 0;
    pass_end end = examine_lines(reader, progress, lines);
    add_progress_lines(progress, lines);
    return end;
}

int parse_log() {
    constexpr const char* log_name = "qconsole.log";
    std::FILE* in = std::fopen(log_name, "rb");
    if (in == nullptr) {
        report_failure("cannot open", log_name, errno);
        return exit_failure;
    }
    static log_reader reader;
    static progress_output progress;
    open_reader(reader, in);
    start_progress(progress, stdout);
    uncounted_obituaries = 0;

    pass_end end = run_pass(reader, progress);
    std::fclose(in);
    flush_progress(progress);
    if (end == pass_end::read_failed) {
        report_failure("cannot read", log_name, reader.error);
        return exit_failure;
    }
    if (end == pass_end::round_limit_stop) {
        stop_at_round_limit();
    }
    bool written = write_txt();
    if (uncounted_obituaries > 0) {
        std::array<char, 96> text{};
        std::snprintf(text.data(), text.size(), "more than %d players: %llu %s not counted",
                      max_players, static_cast<unsigned long long>(uncounted_obituaries),
                      uncounted_obituaries == 1 ? "obituary was" : "obituaries were");
        report_problem(text.data());
    }
    return written ? exit_normal : exit_failure;
}
