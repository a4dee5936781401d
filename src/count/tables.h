// The classic tables: the players' names, counters, kill matrix and rounds of one log, as one
// value that the caller of the pass owns.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "count/counters.h"
#include "count/game_limits.h"
#include "report/results.h"

using name_slot = std::array<char, name_size>;

// The name a slot or an extractor's field holds: its bytes before the first zero byte.
inline std::string_view name_text(const name_slot& field) {
    std::string_view bytes(field.data(), field.size());
    return bytes.substr(0, bytes.find('\0'));
}

// One round's share of the counts: the log is cut after each round-end line, and an obituary
// on a round-end line belongs to the round that line ends.
struct round_tally {
    std::uint64_t end_line = 0;  // the number (from 1) of the round-end line that closed it
    std::array<char, round_end_text_size> end_text{};  // that line's first bytes
    std::size_t end_text_length = 0;
    std::array<std::array<std::int32_t, classic_counter_count>, max_players> stats{};
    std::array<std::array<std::int32_t, max_players>, max_players> who_killed_who{};
};

// The lines that one round spans, numbered from 1.
struct round_span {
    std::uint64_t first_line;
    std::uint64_t last_line;
    bool ended;  // a round-end line closes it
};

// Entries of the tables' index of names, a power of two well above max_players.
inline constexpr unsigned name_index_bits = 8;
inline constexpr std::size_t name_index_size = std::size_t{1} << name_index_bits;
static_assert(name_index_size >= std::size_t{2} * max_players, "well above max_players");

// Result of a lookup for a name that has no slot and cannot get one.
inline constexpr int no_slot = -1;

// Everything a classic pass accumulates over one log: the players, their counters, the kill
// matrix, the rounds and the run's facts. The caller of the pass owns it (151 KB: make it
// on the heap, once per log), hands it to classic_rules, which count into it, and reads it
// with results_of_pass; the members below are what the rules and results_of_pass work on.
class classic_tables {
  public:
    // Empty tables: all slots free (holding "NULL"), all counts 0, no index entries.
    classic_tables();
    classic_tables(const classic_tables&) = delete;
    classic_tables& operator=(const classic_tables&) = delete;

    // Player names by slot, zero-terminated; a slot never claimed holds "NULL".
    std::array<name_slot, max_players> name;

    // Number of claimed slots: slots 0 to player_count - 1 are taken, in first-appearance order.
    int player_count = 0;

    // Each slot's counters, indexed by the counter enumeration (the classic rules' only).
    std::array<std::array<std::int32_t, classic_counter_count>, max_players> stats;

    // who_killed_who[killer][victim]: how often the killer killed the victim.
    std::array<std::array<std::int32_t, max_players>, max_players> who_killed_who;

    // Round ends ("fraglimit" lines) seen so far.
    std::int32_t rounds = 0;

    // Obituaries left uncounted because their names needed more slots than were free.
    std::uint64_t uncounted_obituaries = 0;

    // Lines of the log read so far, the line that stopped the run at the round limit included.
    std::uint64_t lines_read = 0;

    // Whether a round end beyond the round limit stopped the run.
    bool stopped_at_round_limit = false;

    // The counts of the round being read: round min(rounds, max_rounds - 1). The last round kept
    // stays open to the end, and holds the lines examined after the round-limit stop too; the
    // rounds before it are closed, and results_of_pass hands them out.
    round_tally open_round;

    // Ends the round being read at its round-end line, number `line` (its first bytes kept),
    // once the line's own obituaries are counted, and counts it in `rounds`: a round before the
    // last kept is closed and its counts moved out of open_round, which starts the next round
    // empty. The memo's sightings of the round must have been added to it.
    void end_round(std::uint64_t line, std::string_view text);

    // From now on closed rounds go to this stream (a temporary file), which the tables close:
    // the pass then keeps one round's counts in memory, whatever the log. Call it before the
    // first round ends.
    void spill_rounds_to(std::FILE* stream);

    // Number of rounds the log was cut into: one per round end, and one more for the lines
    // after the last round end when there are any.
    int round_count() const;

    // Returns the lines of round r, for r below round_count().
    round_span span_of_round(int r) const;

    // Sets each player's counters and the kill matrix to the sums of the rounds' (stopping at
    // the largest count): the pass counts the lines it has seen before into their rounds alone,
    // and calls this when it ends. Every count must have gone into a round.
    void total_up_rounds();

    // Returns the slot of the player, or no_slot if the name has none yet; claims nothing.
    int lookup_player(std::string_view player) const;

    // Returns the slot of the player, claiming the next free slot for a new name; returns
    // no_slot only when the name is new and all slots are taken. A name is stored up to its
    // first zero byte and at most max_name_length bytes, and looked up the same way.
    int find_player(std::string_view player);

    // lookup_player and find_player for a name held in a field as the extractors fill it: up to
    // its first zero byte, which the field's last byte is at the latest.
    int lookup_name(const name_slot& field) const;
    int find_name(const name_slot& field);

    // Number of slots still free.
    int free_slots() const { return max_players - player_count; }

    // A figure that grows with each obituary counted (the sum of the totals' counters and the
    // obituaries left uncounted), so comparing it tells whether any came. The totals must be
    // added up.
    std::uint64_t obituaries_counted() const;

    // The closed rounds as the results hold them: the same rounds, reading the same temporary
    // file, so that the pass may go on.
    round_list closed_rounds_so_far() const { return closed_rounds_.shared_copy(); }

  private:
    // The rounds closed so far, in log order, and the sums of their counts, which
    // total_up_rounds adds the open round to.
    round_list closed_rounds_;
    round_tally closed_sums_;

    // The round-end line of each round kept, numbered from 1.
    std::array<std::uint64_t, max_rounds> round_end_lines_{};

    // An open-addressing index from name to slot in front of the slot table, so a lookup does
    // not compare against every player; slot order stays the order of first appearance.
    std::array<std::int16_t, name_index_size> slot_index_;  // -1 marks an empty entry
};

// Returns the results of the pass as the tables hold them now, for the log named so; the pass
// may go on after it.
run_results results_of_pass(const classic_tables& tables, std::string_view log);
