// The full rules: every obituary the game prints, read with the names exactly as the game writes
// them (each ended by the "^7" it appends), and the round ends as the game prints them. The
// line parser, its table of messages, and the counting of a log's lines into results.
#pragma once

#include <array>
#include <cassert>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "count/counters.h"
#include "report/results.h"
#include "scan/line_scanner.h"

// One obituary message: `V^7 MSG.` for a one-name message, `V^7 MSG K^7SUFFIX` for a two-name
// one. A one-name message bumps the victim's suicides and `victim`; a two-name message bumps the
// victim's deaths and `victim`, the killer's kills and `killer`, and the kill matrix.
struct full_message {
    std::string_view text;
    std::string_view suffix;  // a two-name message's, possibly empty
    bool two_names;
    counter victim;  // the cause's counter of a one-name message
    counter killer;  // a two-name message's
};

// The messages: the one-name ones first, then the two-name ones, each in the order the reports
// list their counters.
inline constexpr auto full_messages = std::to_array<full_message>({
    {"suicides", "", false, command_suicides, command_suicides},
    {"cratered", "", false, falling_suicides, falling_suicides},
    {"was squished", "", false, crushed_suicides, crushed_suicides},
    {"sank like a rock", "", false, drowned_suicides, drowned_suicides},
    {"melted", "", false, slime_suicides, slime_suicides},
    {"does a back flip into the lava", "", false, lava_suicides, lava_suicides},
    {"saw the light", "", false, laser_suicides, laser_suicides},
    {"was in the wrong place", "", false, hurt_suicides, hurt_suicides},
    {"tripped on her own grenade", "", false, own_grenade_suicides, own_grenade_suicides},
    {"tripped on its own grenade", "", false, own_grenade_suicides, own_grenade_suicides},
    {"tripped on his own grenade", "", false, own_grenade_suicides, own_grenade_suicides},
    {"blew herself up", "", false, own_rocket_suicides, own_rocket_suicides},
    {"blew itself up", "", false, own_rocket_suicides, own_rocket_suicides},
    {"blew himself up", "", false, own_rocket_suicides, own_rocket_suicides},
    {"melted herself", "", false, own_plasma_suicides, own_plasma_suicides},
    {"melted itself", "", false, own_plasma_suicides, own_plasma_suicides},
    {"melted himself", "", false, own_plasma_suicides, own_plasma_suicides},
    {"should have used a smaller gun", "", false, own_bfg_suicides, own_bfg_suicides},
    {"found her prox mine", "", false, own_prox_suicides, own_prox_suicides},
    {"found it's prox mine", "", false, own_prox_suicides, own_prox_suicides},
    {"found his prox mine", "", false, own_prox_suicides, own_prox_suicides},
    {"goes out with a bang", "", false, own_kamikaze_suicides, own_kamikaze_suicides},
    {"killed herself", "", false, self_suicides, self_suicides},
    {"killed itself", "", false, self_suicides, self_suicides},
    {"killed himself", "", false, self_suicides, self_suicides},
    {"died", "", false, died_suicides, died_suicides},
    {"was pummeled by", "", true, gauntlet_deaths, gauntlet_kills},
    {"was machinegunned by", "", true, machinegun_deaths, machinegun_kills},
    {"was gunned down by", "", true, shotgun_deaths, shotgun_kills},
    {"ate", "'s grenade", true, grenade_deaths, grenade_kills},
    {"was shredded by", "'s shrapnel", true, grenade_splash_deaths, grenade_splash_kills},
    {"ate", "'s rocket", true, rocket_deaths, rocket_kills},
    {"almost dodged", "'s rocket", true, rocket_splash_deaths, rocket_splash_kills},
    {"was melted by", "'s plasmagun", true, plasmagun_deaths, plasmagun_kills},
    {"was railed by", "", true, railgun_deaths, railgun_kills},
    {"was electrocuted by", "", true, lightning_deaths, lightning_kills},
    {"was blasted by", "'s BFG", true, bfg_deaths, bfg_kills},
    {"tried to invade", "'s personal space", true, telefrag_deaths, telefrag_kills},
    {"was caught by", "", true, grapple_deaths, grapple_kills},
    {"was killed by", "", true, other_deaths, other_kills},
    {"was nailed by", "", true, nailgun_deaths, nailgun_kills},
    {"got lead poisoning from", "'s Chaingun", true, chaingun_deaths, chaingun_kills},
    {"was too close to", "'s Prox Mine", true, prox_mine_deaths, prox_mine_kills},
    {"falls to", "'s Kamikaze blast", true, kamikaze_deaths, kamikaze_kills},
    {"was juiced by", "", true, juiced_deaths, juiced_kills},
});

// The longest name the game prints, in bytes (without its "^7").
inline constexpr std::size_t full_name_limit = 63;

// The lines that end a round exactly as they stand; "V^7 hit the fraglimit." does too.
inline constexpr auto full_round_ends = std::to_array<std::string_view>({
    "Red hit the fraglimit.",
    "Blue hit the fraglimit.",
    "Timelimit hit.",
    "Red hit the capturelimit.",
    "Blue hit the capturelimit.",
});

// What a line is under the full rules.
enum class full_line_kind : std::uint8_t { other, obituary, round_end };

// A line parsed: its kind, and for an obituary its message (an index of full_messages) and
// names, without the "^7" the game appended, inside the text parsed.
struct full_line {
    full_line_kind kind = full_line_kind::other;
    std::size_t message = 0;
    std::string_view victim;
    std::string_view killer;  // empty for a one-name message
};

// Parses one line's text, without its line feed: the leftmost "^7 " after which the rest parses
// as a message gives the victim, and the first message of the table that fits the rest wins.
full_line parse_full_line(std::string_view text);

// Counts the lines of one log under the full rules, each handed over in log order, into the
// players' totals, the kill matrix and the rounds. It holds at most 100 players, in order of
// first appearance in a counted line, the victim before the killer.
class full_count {
  public:
    full_count();
    ~full_count();
    full_count(const full_count&) = delete;
    full_count& operator=(const full_count&) = delete;

    // Counts lines in order, each given as the scanner hands it out: its text up to its line
    // feed if it has one, cut at its first zero byte and with carriage returns dropped, and
    // followed by readable_after_text readable bytes, which may be read but change nothing.
    void count_lines(std::span<const std::string_view> texts);

    // Lines counted so far.
    std::uint64_t lines() const { return lines_; }

    // Obituaries whose new names found no free slot.
    std::uint64_t uncounted() const { return uncounted_; }

    // Round-end lines counted so far.
    std::int32_t round_ends() const;

    // The deaths and suicides of every player so far: it grows with each obituary counted.
    std::uint64_t obituaries() const;

    // Closes the last round and returns the results for the log named so; call once, at the end.
    // Their rounds are read back from a temporary file, or kept in memory from the first round
    // that the file did not take.
    run_results finish(std::string_view log);

    // The results of the lines counted so far, the open round as a last round not ended, for
    // the log named so; counting may go on after it. Their rounds read the temporary file the
    // count writes, which stays open while either lives.
    run_results results_so_far(std::string_view log) const;

  private:
    // What a line did, remembered with its text: its kind and, for an obituary, its message and
    // the slots of its names. A size of 0 is a free entry. The text comes first, so that it is
    // compared a whole entry at a time.
    static constexpr std::size_t remembered_text = 59;
    struct alignas(64) remembered_line {
        std::array<char, remembered_text> text{};
        std::uint8_t size = 0;
        full_line_kind kind = full_line_kind::other;
        std::uint8_t message = 0;
        std::uint8_t victim = 0;
        std::uint8_t killer = 0;
    };
    static_assert(sizeof(remembered_line) == 64, "an entry is one cache line");

    // Counts a line by parsing it, and returns what it did; a size of 1 means "do not remember".
    remembered_line count_parsed(std::string_view text);

    struct state;
    std::unique_ptr<state> state_;
    std::uint64_t lines_ = 0;
    std::uint64_t uncounted_ = 0;
};

// Counts every line the scanner hands out under the full rules (there is no round limit) and adds
// a progress line for each to the progress output (void add(std::uint64_t lines)); the scanner
// must have been started; the pass takes every line of the log. Returns end_of_log, failed when a
// read failed, or waiting when a followed log has no whole line more for now: a call goes on
// from there.
template <class Progress>
scan_result run_full_pass(full_count& count, Progress& progress) {
    // Progress lines depend on nothing but the count, so they are added in batches.
    constexpr std::uint64_t progress_batch = 4096;
    std::uint64_t unprinted = 0;
    for (;;) {
        line_batch batch;
        scan_result got = next_batch_of_every_line(batch);
        if (got != scan_result::lines) {
            progress.add(unprinted);
            return got;
        }
        assert(batch.size == batch.lines);
        count.count_lines({batch.texts.data(), batch.size});
        unprinted += batch.lines;
        if (unprinted >= progress_batch) {
            progress.add(unprinted);
            unprinted = 0;
        }
    }
}
