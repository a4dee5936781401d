// The results of a run as the report writers read them: the run's facts, the players with their
// names and counters, who killed whom, and each round's share. It holds any number of players;
// after a pass results_of_pass (tables.h) makes it from the pass's fixed tables.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "count/counters.h"
#include "count/round_end.h"

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

    // The counts other than 0, in order of killer, then victim.
    std::span<const kill_count> cells() const { return cells_; }

  private:
    friend class round_result;       // which writes and reads a round's cells whole
    std::vector<kill_count> cells_;  // in order of killer, then victim
};

// One of a player's counters in a round.
struct counter_entry {
    std::uint32_t player;
    counter which;
    std::int32_t count;
};

// What a period of a history's report (one recorded session) shows beyond a round's lines: where
// its log was, when it began and when it was recorded.
struct session_facts {
    std::string log;       // the log's path as it was given when it was recorded
    std::string started;   // "YYYY-MM-DD HH:MM:SS" from the log's first line, or empty
    std::string recorded;  // "YYYY-MM-DD HH:MM:SS" in UTC
    std::int32_t round_ends = 0;
};

// One period of a report: a round of a log (the lines it spans, numbered from 1), or in a
// history's report one session (lines 1 to its last, with its facts in session()); the line that
// ended it, and the counts of its lines.
class round_result {
  public:
    // end_text is the first bytes of the round-end line (round_end_text_size of them after a
    // pass), empty when the round did not end.
    round_result(std::uint64_t first_line, std::uint64_t last_line, bool ended,
                 std::string end_text = {});

    // The round's first and last line, numbered from 1.
    std::uint64_t first_line() const { return first_line_; }
    std::uint64_t last_line() const { return last_line_; }
    // Whether a round-end line closes it, rather than the end of the log.
    bool ended() const { return ended_; }
    // Who ended the round as its round-end line names them; meaningful only when ended().
    round_end ended_by() const { return round_end_of(end_text_); }

    // The session's facts when this period is a recorded session, else nothing.
    const std::optional<session_facts>& session() const { return session_; }
    void set_session(session_facts facts) { session_ = std::move(facts); }

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

    // Writes the round to a binary stream; returns false when the write failed.
    bool write_to(std::FILE* out) const;

    // Reads a round that write_to wrote, from where the stream stands; false when it cannot.
    static bool read_from(std::FILE* in, round_result& round);

  private:
    std::uint64_t first_line_;
    std::uint64_t last_line_;
    bool ended_;
    std::string end_text_;
    std::vector<counter_entry> counts_;  // other than 0, in order of player, then counter
    kill_matrix kills_;
    std::optional<session_facts> session_;
};

// The rounds of a run, in log order: held in memory, or, once spill_to is given a stream, written
// to it as they come and read back one at a time, so that a run of any number of rounds keeps
// one in memory (and eight bytes of each round's place in the stream). A round the stream does
// not take whole (a full disk, a limit on file sizes) stays in memory, and so do those after it.
class round_list {
  public:
    // From now on, rounds added go to this stream (a temporary file), which the list closes;
    // call it before any round is added.
    void spill_to(std::FILE* stream);

    // Makes room for this many rounds in memory.
    void reserve(std::size_t rounds) { held_.reserve(rounds); }

    // Adds a round at the end (end_text as round_result takes it); in memory, the returned round
    // may still be filled.
    round_result& emplace_back(std::uint64_t first_line, std::uint64_t last_line, bool ended,
                               std::string end_text = {});
    void push_back(round_result round);

    // A list of the same rounds, which reads a spilled list's stream and places without copying
    // them and keeps them while either list lives; rounds this list adds later do not show in
    // the copy, which adds its own with add_in_memory only.
    round_list shared_copy() const;

    // Adds a round at the end, kept in memory even in a spilled list (after its spilled rounds).
    void add_in_memory(round_result round) { held_.push_back(std::move(round)); }

    // Whether every round added since spill_to went to the stream.
    bool written() const { return written_; }

    std::size_t size() const { return spilled_rounds_ + held_.size(); }
    bool empty() const { return size() == 0; }

    // Round r, below size(). A spilled round is read back into the one kept in memory, so the
    // reference holds until round_list is asked for another round.
    const round_result& operator[](std::size_t r) const;

    // Walks the rounds in order, each as operator[] gives it.
    class iterator {
      public:
        iterator(const round_list* list, std::size_t at) : list_(list), at_(at) {}
        const round_result& operator*() const { return (*list_)[at_]; }
        iterator& operator++() {
            ++at_;
            return *this;
        }
        bool operator==(const iterator& other) const { return at_ == other.at_; }

      private:
        const round_list* list_;
        std::size_t at_;
    };
    iterator begin() const { return {this, 0}; }
    iterator end() const { return {this, size()}; }

  private:
    std::vector<round_result> held_;  // the rounds after those in the stream
    std::shared_ptr<std::FILE> stream_;
    bool spilled_ = false;
    bool written_ = true;
    // Where each spilled round starts in the stream, shared with the copies, which read only
    // the first spilled_rounds_ of them: the list only appends.
    std::shared_ptr<std::vector<std::uint64_t>> places_;
    std::size_t spilled_rounds_ = 0;
    mutable round_result read_{0, 0, false};
    mutable std::size_t read_at_ = static_cast<std::size_t>(-1);
};

// A player: the name's bytes (no zero byte among them) and the counters over the whole run.
struct player_result {
    std::string name;
    counter_values counters{};
};

// What a report made from a history adds to the facts: how many sessions it covers and how many
// the filters left out.
struct history_facts {
    std::uint64_t sessions = 0;               // the sessions the report covers
    std::uint64_t other_rules_left_out = 0;   // recorded under other rules than the report's
    std::uint64_t out_of_range_left_out = 0;  // begun outside --since and --until
};

// What a report written while the log is being followed adds: when it was written, and how
// often the page asks an open browser tab to load it again.
struct live_facts {
    std::string written_at;  // "YYYY-MM-DD HH:MM:SS", local time
    int refresh_seconds = 5;
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
    round_list rounds;                       // in log order; a history's sessions in time order
    std::uint64_t log_bytes = 0;             // bytes of the log the pass read (for the history)
    std::optional<history_facts> history;    // set when the report is made from a history
    std::optional<live_facts> live;          // set on the reports written while following a log
    // The log's first line as the pass kept it (a followed log, which the game may have
    // truncated since); without it, the history reads the log again for it.
    std::optional<std::string> log_first_line;
};
