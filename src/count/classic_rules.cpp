#include "count/classic_rules.h"

#include <algorithm>
#include <cassert>
#include <limits>

#include "count/kinds.h"
#include "count/tables.h"

namespace {

// Counts stop at the largest value rather than wrap round to a negative one.
void bump(std::int32_t& count, std::uint32_t times = 1) {
    std::int64_t sum = std::int64_t{count} + times;
    count = static_cast<std::int32_t>(
        std::min<std::int64_t>(sum, std::numeric_limits<std::int32_t>::max()));
}

// Whether a count goes to the totals as well as to its round: the pass adds up the totals from
// the rounds when it ends, so a line seen again is counted in its round alone.
enum class totals { bumped, left };

template <totals to_totals = totals::bumped>
void bump(classic_tables& tables, int slot, counter c, std::uint32_t times = 1) {
    auto s = static_cast<std::size_t>(slot);
    auto i = static_cast<std::size_t>(c);
    round_tally& round = tables.open_round;
    if constexpr (to_totals == totals::bumped) {
        bump(tables.stats[s][i], times);
    }
    bump(round.stats[s][i], times);
}

template <totals to_totals = totals::bumped>
void bump_two(classic_tables& tables, const obituary_kind& kind, int victim_slot, int killer_slot,
              std::uint32_t times = 1) {
    bump<to_totals>(tables, victim_slot, deaths, times);
    bump<to_totals>(tables, victim_slot, kind.victim, times);
    bump<to_totals>(tables, killer_slot, kills, times);
    bump<to_totals>(tables, killer_slot, kind.killer, times);
    auto killer_at = static_cast<std::size_t>(killer_slot);
    auto victim_at = static_cast<std::size_t>(victim_slot);
    if constexpr (to_totals == totals::bumped) {
        bump(tables.who_killed_who[killer_at][victim_at], times);
    }
    bump(tables.open_round.who_killed_who[killer_at][victim_at], times);
}

// Returns the slot counted, or no_slot when the obituary was not counted.
int count_one_name(classic_tables& tables, const obituary_kind& kind, const name_slot& player) {
    int slot = tables.find_name(player);
    if (slot == no_slot) {
        ++tables.uncounted_obituaries;
        return no_slot;
    }
    bump(tables, slot, kind.victim);
    return slot;
}

// Returns whether the obituary was counted, on the slots it leaves in victim_slot and
// killer_slot.
bool count_two_names(classic_tables& tables, const obituary_kind& kind, const name_slot& victim,
                     const name_slot& killer, int& victim_slot, int& killer_slot) {
    // Either both names get a slot or the obituary changes nothing at all.
    victim_slot = tables.lookup_name(victim);
    killer_slot = tables.lookup_name(killer);
    int new_names = 0;
    if (victim_slot == no_slot) {
        ++new_names;
    }
    if (killer_slot == no_slot && name_text(killer) != name_text(victim)) {
        ++new_names;
    }
    if (new_names > tables.free_slots()) {
        ++tables.uncounted_obituaries;
        return false;
    }
    if (victim_slot == no_slot) {
        victim_slot = tables.find_name(victim);
    }
    if (killer_slot == no_slot) {
        killer_slot = tables.find_name(killer);
    }
    bump_two(tables, kind, victim_slot, killer_slot);
    return true;
}

// The one place that lines_read changes once the tables are made.
void note_lines_read(classic_tables& tables, std::uint64_t lines) {
    tables.lines_read = lines;
}

}  // namespace

line_verdict classic_rules::examine(std::string_view text, phrase_set phrases, std::uint64_t line,
                                    line_effect& effect) {
    effect.count = 0;
    line_verdict verdict{true, true};
    if (phrases == 0) {
        return verdict;  // most lines
    }
    classic_tables& tables = *tables_;
    // A round end's obituaries belong to the round it ends, which ends after them.
    bool round_end = ends_round(phrases);
    if (round_end) {
        // The lines seen again before it belong to the round it ends: the pass has added them.
        assert(lines_settled());
        verdict.repeatable = false;
        if (tables.rounds >= round_limit) {
            tables.end_round(line, text);
            verdict.go_on = false;
            return verdict;
        }
    }
    // Kinds in table order; one line may be of several.
    for (std::size_t k = 0; k < obituary_kinds.size(); ++k) {
        if ((phrases & phrases_of_kind[k]) == phrases_of_kind[k]) {
            const obituary_kind& kind = obituary_kinds[k];
            stats_t names = cut_names(kind.cut, text, path_);
            int victim_slot = no_slot;
            int killer_slot = no_slot;
            bool counted = false;
            if (kind.two_names()) {
                counted = count_two_names(tables, kind, names.vicname, names.aggname, victim_slot,
                                          killer_slot);
            } else {
                victim_slot = count_one_name(tables, kind, names.curname);
                counted = victim_slot != no_slot;
            }
            if (!counted || effect.count == memo_kinds) {
                verdict.repeatable = false;
            } else {
                static_assert(obituary_kinds.size() <= 256, "a remembered kind must fit");
                effect.kinds[effect.count++] = {static_cast<std::uint8_t>(k),
                                                static_cast<std::int8_t>(victim_slot),
                                                static_cast<std::int8_t>(killer_slot)};
            }
        }
    }
    if (round_end) {
        tables.end_round(line, text);
    }
    return verdict;
}

void classic_rules::add_tallies(std::span<const line_tally> tallies) {
    classic_tables& tables = *tables_;
    for (const line_tally& tally : tallies) {
        const line_effect& effect = tally.effect;
        for (std::size_t i = 0; i < effect.count; ++i) {
            const fired_kind& fired = effect.kinds[i];
            const obituary_kind& kind = obituary_kinds[fired.kind];
            if (kind.two_names()) {
                bump_two<totals::left>(tables, kind, fired.victim, fired.killer, tally.times);
            } else {
                bump<totals::left>(tables, fired.victim, kind.victim, tally.times);
            }
        }
    }
}

void classic_rules::finish(std::uint64_t lines, bool stopped_at_limit) {
    note_lines_read(*tables_, lines);
    tables_->stopped_at_round_limit = stopped_at_limit;
    tables_->total_up_rounds();
}

bool examine_line(classic_tables& tables, std::string_view text, phrase_set phrases) {
    line_effect effect{};
    std::uint64_t line = tables.lines_read + 1;
    bool go_on = classic_rules(tables).examine(text, phrases, line, effect).go_on;
    note_lines_read(tables, line);
    return go_on;
}
