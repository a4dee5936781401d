// The player tables: names, counters and the kill matrix, shared by the whole run.
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

// Player names by slot, zero-terminated; a slot never claimed holds "NULL".
extern std::array<name_slot, max_players> name;

// Number of claimed slots: slots 0 to player_count - 1 are taken, in first-appearance order.
extern int player_count;

// Each slot's counters, indexed by the counter enumeration (the classic rules' only).
extern std::array<std::array<std::int32_t, classic_counter_count>, max_players> stats;

// who_killed_who[killer][victim]: how often the killer killed the victim.
extern std::array<std::array<std::int32_t, max_players>, max_players> who_killed_who;

// Round ends ("fraglimit" lines) seen so far.
extern std::int32_t rounds;

// Obituaries left uncounted because their names needed more slots than were free.
extern std::uint64_t uncounted_obituaries;

// Lines of the log read so far, the line that stopped the run at the round limit included.
extern std::uint64_t lines_read;

// Whether a round end beyond the round limit stopped the run.
extern bool stopped_at_round_limit;

// One round's share of the counts: the log is cut after each round-end line, and an obituary
// on a round-end line belongs to the round that line ends.
struct round_tally {
    std::uint64_t end_line = 0;  // the number (from 1) of the round-end line that closed it
    std::array<char, round_end_text_size> end_text{};  // that line's first bytes
    std::size_t end_text_length = 0;
    std::array<std::array<std::int32_t, classic_counter_count>, max_players> stats{};
    std::array<std::array<std::int32_t, max_players>, max_players> who_killed_who{};
};

// The counts of the round being read: round min(rounds, max_rounds - 1). The last round kept
// stays open to the end, and holds the lines examined after the round-limit stop too; the
// rounds before it are closed, and results_of_pass hands them out.
extern round_tally open_round;

// Ends the round being read at its round-end line, number `line` (its first bytes kept), once
// the line's own obituaries are counted, and counts it in `rounds`: a round before the last kept
// is closed and its counts moved out of open_round, which starts the next round empty. The
// memo's sightings of the round must have been added to it.
void end_round(std::uint64_t line, std::string_view text);

// From now on closed rounds go to this stream (a temporary file), which the tables close: the
// pass then keeps one round's counts in memory, whatever the log. Call it after init().
void spill_rounds_to(std::FILE* stream);

// The lines that one round spans, numbered from 1.
struct round_span {
    std::uint64_t first_line;
    std::uint64_t last_line;
    bool ended;  // a round-end line closes it
};

// Number of rounds the log was cut into: one per round end, and one more for the lines after
// the last round end when there are any.
int round_count();

// Returns the lines of round r, for r below round_count().
round_span span_of_round(int r);

// Sets each player's counters and the kill matrix to the sums of the rounds' (stopping at the
// largest count): the pass counts the lines it has seen before into their rounds alone, and
// calls this when it ends. Every count must have gone into a round.
void total_up_rounds();

// Result of a lookup for a name that has no slot and cannot get one.
inline constexpr int no_slot = -1;

// Empties every table: all slots free (holding "NULL"), all counts 0 (the per-round ones and
// the run's facts above included), no index entries, and the memo of lines, whose remembered
// effects name slots.
void init();

// Returns the slot of the player, or no_slot if the name has none yet; claims nothing.
int lookup_player(std::string_view player);

// Returns the slot of the player, claiming the next free slot for a new name; returns no_slot
// only when the name is new and all slots are taken. A name is stored up to its first zero
// byte and at most max_name_length bytes, and looked up the same way.
int find_player(std::string_view player);

// lookup_player and find_player for a name held in a field as the extractors fill it: up to its
// first zero byte, which the field's last byte is at the latest.
int lookup_name(const name_slot& field);
int find_name(const name_slot& field);

// Number of slots still free.
inline int free_slots() {
    return max_players - player_count;
}

// A figure that grows with each obituary counted (the sum of the totals' counters and the
// obituaries left uncounted), so comparing it tells whether any came. The totals must be added
// up.
std::uint64_t obituaries_counted();

// Returns the results of the pass as the tables hold them now, for the log named so; the pass
// may go on after it.
run_results results_of_pass(std::string_view log);
