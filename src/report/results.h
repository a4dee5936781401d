// The results of a run as the report writers read them: the run's facts, the players with their
// names and counters, who killed whom, and each round's share. It holds any number of players;
// after a pass results_of_pass (tables.h) makes it from the pass's fixed tables.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "count/counters.h"

// A player's counters, indexed by the counter enumeration.
using counter_values = std::array<std::int32_t, counter_count>;

// How often one player killed another, by the players' indices in the results (kept in 32 bits,
// as a round of a large run holds many of these).
struct kill_count {
    std::uint32_t killer;
    std::uint32_t victim;
    std::int32_t count;
};

// Who killed whom, holding the counts other than 0 only, so that a round of few kills among many
// players takes little memory.
class kill_matrix {
  public:
    // Makes room for exactly this many cells, so that adding them leaves no spare capacity.
    void reserve(std::size_t cells) { cells_.reserve(cells); }

    // Adds how often killer killed victim, a count other than 0; calls must come in order of
    // killer, then victim, each pair once.
    void add(std::uint32_t killer, std::uint32_t victim, std::int32_t count);

    // How often killer killed victim, 0 for never.
    std::int32_t killed(std::size_t killer, std::size_t victim) const;

  private:
    std::vector<kill_count> cells_;  // in order of killer, then victim
};

// One of a player's counters in a round.
struct counter_entry {
    std::uint32_t player;
    counter which;
    std::int32_t count;
};

// One round: the lines it spans, numbered from 1, and the counts of its lines.
class round_result {
  public:
    round_result(std::uint64_t first_line, std::uint64_t last_line, bool ended);

    // The round's first and last line, numbered from 1.
    std::uint64_t first_line() const { return first_line_; }
    std::uint64_t last_line() const { return last_line_; }
    // Whether a round-end line closes it, rather than the end of the log.
    bool ended() const { return ended_; }

    // Makes room for exactly this many counts, so that adding them leaves no spare capacity.
    void reserve(std::size_t counts) { counts_.reserve(counts); }

    // Adds a count other than 0 of one of the player's counters; calls must come in order of
    // player, then counter, each pair once.
    void add_count(std::uint32_t player, counter which, std::int32_t count);

    // The player's counters in this round, all 0 when the round did not count the player.
    counter_values counters_of(std::size_t player) const;

    // Whether any of the player's counters is other than 0 in this round.
    bool counts(std::size_t player) const;

    // Who killed whom in this round; fill it through kills().
    const kill_matrix& kills() const { return kills_; }
    kill_matrix& kills() { return kills_; }

  private:
    std::uint64_t first_line_;
    std::uint64_t last_line_;
    bool ended_;
    std::vector<counter_entry> counts_;  // other than 0, in order of player, then counter
    kill_matrix kills_;
};

// A player: the name's bytes (no zero byte among them) and the counters over the whole run.
struct player_result {
    std::string name;
    counter_values counters{};
};

// Everything a report shows; the writers take it as it stands and change nothing.
struct run_results {
    std::string log;                     // the log's path as the user gave it
    rule_set rules = rule_set::classic;  // the rules that counted
    std::uint64_t lines = 0;             // lines read, the one that stopped the run included
    std::int32_t round_ends = 0;         // round-end lines seen, the one that stopped the run too
    bool stopped_at_round_limit = false;
    std::uint64_t uncounted_obituaries = 0;  // obituaries whose names found no free slot
    std::vector<player_result> players;      // in order of first appearance
    kill_matrix head_to_head;                // over the whole run
    std::vector<round_result> rounds;        // in log order
};
