// The counting rules of the classic report: what a line of the log is (a round end, obituaries
// of the table's kinds), whose names it holds, and the counters it bumps in the tables. The pass
// (count/pass.h) runs them over every line it does not remember.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "count/line_memo.h"
#include "count/phrases.h"
#include "count/tables.h"
#include "scan/cpu.h"

// What examining a line tells the pass.
struct line_verdict {
    bool go_on;       // false at the round-limit stop, the line counted as no kind
    bool repeatable;  // the same bytes seen again would do what the effect holds
};

// The classic rules, counting into the tables they are given; the round limit stops the pass.
class classic_rules {
  public:
    // Rules that count into `tables`, which must outlive them, and cut names with the given CPU
    // path's cutters, which the CPU must have.
    explicit classic_rules(classic_tables& tables, cpu_path path = cpu_path::portable)
        : tables_(&tables), path_(path) {}

    // Tells whether a line with these phrases ends a round: the pass adds every tally of lines
    // seen again before it examines such a line, as they belong to the round it ends.
    static bool ends_round(phrase_set phrases) { return (phrases & round_end_phrases) != 0; }

    // Examines line number `line` (from 1), given the pass_phrases in its text: counts a round
    // end, then counts the line as each kind of obituary whose phrases are all there, in table
    // order, and tells in `effect` what it did when the verdict is repeatable.
    line_verdict examine(std::string_view text, phrase_set phrases, std::uint64_t line,
                         line_effect& effect);

    // Adds the effects of lines seen again, each `times` over, to the round being read; the
    // totals are added up from the rounds when the pass ends.
    void add_tallies(std::span<const line_tally> tallies);

    // Ends the pass after `lines` lines (the one of a round-limit stop included): the run's
    // facts and the totals, added up from the rounds.
    void finish(std::uint64_t lines, bool stopped_at_limit);

  private:
    classic_tables* tables_;
    cpu_path path_;
};

// Examines one line, the next after the tables' lines_read, which it counts, with the classic
// rules (names cut on the portable path) and no memo, given the pass_phrases in its text
// (find_phrases finds them). Returns false, with the line counted as no kind, when this round end
// is one more than the round limit allows.
bool examine_line(classic_tables& tables, std::string_view text, phrase_set phrases);
