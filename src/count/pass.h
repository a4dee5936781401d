// The pass over the log: a loop that pulls batches of lines from the scanner, asks the memo which
// of them it has counted before, and runs the counting rules it is given over the others.
#pragma once

#include <cassert>
#include <cstdint>
#include <span>

#include "count/line_memo.h"
#include "scan/cpu.h"
#include "scan/line_scanner.h"

// waiting: a followed log has no whole line more for now (see run_pass with a pass_position).
enum class pass_end { end_of_log, round_limit_stop, read_failed, waiting };

// What the pass asks of the counting rules it runs (count/classic_rules.h has the classic ones):
//   static bool ends_round(phrase_set): the memo's tallies are added before such a line;
//   line_verdict examine(text, phrases, line number, line_effect&);
//   void add_tallies(std::span<const line_tally>): lines seen again, into the round being read;
//   void finish(lines, stopped): when the pass ends, and at each wait of a followed log, after
//   which the pass may go on: it must leave its counts as its results are taken from them.
// The memo's remembered effects hold the rules' slots, so one pass runs at a time.
// And of the progress output: void add(std::uint64_t lines).

namespace pass_detail {

// Adds every sighting the memo has tallied since it was last settled.
template <class Rules>
void settle(Rules& rules) {
    memo_settling settling;
    for (std::span<const line_tally> block = settle_next(settling); !block.empty();
         block = settle_next(settling)) {
        rules.add_tallies(block);
    }
}

// Counts line i of the batch, which the memo does not hold, by examining it, and remembers it
// when seeing it again must do the same. Returns false at a stop, with `lines` the stopping
// line's number. Kept out of the loop over lines, which it would crowd.
template <class Rules>
[[gnu::noinline]] bool count_new_line(Rules& rules, const line_batch& batch, memo_lookup& lookup,
                                      std::size_t i, std::uint64_t& lines) {
    phrase_set phrases = phrases_in(batch, i);
    if (Rules::ends_round(phrases)) {
        settle(rules);
        assert(lines_settled());
    }
    line_effect effect{};
    std::uint64_t line = lines + batch.lines_before[i] + 1;
    line_verdict verdict = rules.examine(batch.texts[i], phrases, line, effect);
    if (!verdict.go_on) {
        lines = line;
        return false;
    }
    if (verdict.repeatable) {
        line_tally pushed_out = remember_line(lookup, i, effect);
        if (pushed_out.times != 0) {
            rules.add_tallies({&pushed_out, 1});
        }
    }
    return true;
}

// Counts a batch of lines in order, adding them to `lines`; returns false at a stop.
template <text_comparer same_text, class Rules>
[[gnu::always_inline]] inline bool count_batch(Rules& rules, const line_batch& batch,
                                               std::uint64_t& lines) {
    memo_lookup lookup;
    look_up_lines(batch.texts.data(), batch.size, lookup);
    for (std::size_t i = see_known_lines<same_text>(lookup, 0); i < batch.size;
         i = see_known_lines<same_text>(lookup, i + 1)) {
        if (!count_new_line(rules, batch, lookup, i, lines)) {
            return false;
        }
    }
    lines += batch.lines;
    return true;
}

template <class Rules>
using batch_loop = bool (*)(Rules& rules, const line_batch& batch, std::uint64_t& lines);

template <class Rules>
bool count_batch_portable(Rules& rules, const line_batch& batch, std::uint64_t& lines) {
    return count_batch<same_text_portable>(rules, batch, lines);
}

#if FRAGTALLY_X86_64
// With texts compared 16 bytes at a time, as every x86-64 CPU can.
template <class Rules>
bool count_batch_sse2(Rules& rules, const line_batch& batch, std::uint64_t& lines) {
    return count_batch<same_text_sse2>(rules, batch, lines);
}

// The same with the bit-manipulation instructions that the AVX2 path's CPUs have.
template <class Rules>
[[gnu::target("avx2,bmi,bmi2,popcnt")]] bool count_batch_avx2(Rules& rules, const line_batch& batch,
                                                              std::uint64_t& lines) {
    return count_batch<same_text_sse2>(rules, batch, lines);
}

// And with the AVX-512 path's text comparer.
template <class Rules>
[[gnu::target("avx512bw,avx512vl,avx2,bmi,bmi2,popcnt"), gnu::flatten]] bool count_batch_avx512(
    Rules& rules, const line_batch& batch, std::uint64_t& lines) {
    return count_batch<same_text_avx512>(rules, batch, lines);
}
#endif

template <class Rules>
batch_loop<Rules> batch_loop_for(cpu_path path) {
#if FRAGTALLY_X86_64
    switch (path) {
        case cpu_path::portable:
            break;
        case cpu_path::sse2:
            return count_batch_sse2<Rules>;
        case cpu_path::avx2:
            return count_batch_avx2<Rules>;
        case cpu_path::avx512:
            return count_batch_avx512<Rules>;
    }
#endif
    static_cast<void>(path);
    return count_batch_portable<Rules>;
}

}  // namespace pass_detail

// Where a pass stands between its calls, kept by the caller of a pass that waits for a followed
// log: the lines counted, those given a progress line, and the last settling of the memo.
struct pass_position {
    std::uint64_t lines = 0;
    std::uint64_t printed = 0;
    std::uint64_t settled_at = 0;
};

// Counts every line the scanner hands out with the rules until the log ends or the rules stop
// the pass, with the batch loop of the given CPU path, which the CPU must have, and adds a
// progress line for each line read (the stopping one excepted). The scanner must have been
// started, and the rules must count into empty tables. A position at line 0 starts a pass: the
// memo forgets the lines of any pass before. When the scanner waits for a followed log, the pass
// settles the memo, finishes the rules as far as it came and returns waiting; a call with the
// same position goes on from there.
template <class Rules, class Progress>
pass_end run_pass(Rules& rules, Progress& progress, cpu_path path, pass_position& at) {
    static_assert(readable_after_text >= memo_reads_after_text, "the memo reads past a line");
    static_assert(line_batch_size <= memo_batch, "the memo looks up a whole batch");
    // Progress lines depend on nothing but the count, so they are added in batches.
    constexpr std::uint64_t progress_batch = 4096;
    pass_detail::batch_loop<Rules> count = pass_detail::batch_loop_for<Rules>(path);
    if (at.lines == 0) {
        // Remembered effects name the slots of the tables an earlier pass counted into.
        forget_lines();
    }
    std::uint64_t lines = at.lines;
    std::uint64_t printed = at.printed;
    std::uint64_t settled_at = at.settled_at;
    pass_end end = pass_end::end_of_log;
    for (;;) {
        line_batch batch;
        scan_result got = next_batch(batch);
        if (got != scan_result::lines) {
            end = got == scan_result::failed    ? pass_end::read_failed
                  : got == scan_result::waiting ? pass_end::waiting
                                                : pass_end::end_of_log;
            break;
        }
        // A batch tallies at most one sighting per text.
        if (lines - settled_at + batch.size > most_unsettled_sightings()) {
            pass_detail::settle(rules);
            settled_at = lines;
        }
        if (!count(rules, batch, lines)) {
            end = pass_end::round_limit_stop;
            break;
        }
        if (lines - printed >= progress_batch) {
            progress.add(lines - printed);
            printed = lines;
        }
    }
    pass_detail::settle(rules);
    assert(lines_settled());
    // The line of the round-limit stop gets no progress line.
    std::uint64_t unprinted = lines - printed - (end == pass_end::round_limit_stop ? 1 : 0);
    progress.add(unprinted);
    rules.finish(lines, end == pass_end::round_limit_stop);
    at = {lines, printed + unprinted, lines};
    return end;
}

// A pass over a whole log, from its start.
template <class Rules, class Progress>
pass_end run_pass(Rules& rules, Progress& progress, cpu_path path) {
    pass_position at;
    return run_pass(rules, progress, path, at);
}
