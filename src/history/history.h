// The history: every recorded session of a log in one SQLite file, and results made from the
// sessions it holds. docs/history.md describes the file's schema and how sessions are matched.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "report/results.h"

// The schema's version, kept in the file as PRAGMA user_version; a file of a newer version is
// refused, an older one upgraded.
inline constexpr int history_schema_version = 1;

// How long a run waits for another program that holds the history before it gives up.
inline constexpr int history_busy_wait_ms = 5000;

// A streaming hash of a log's bytes, which together with their count tells a session's log
// apart from another: the value depends on every byte and on their number.
class log_hash {
  public:
    // Adds the next bytes of the log.
    void add(const unsigned char* bytes, std::size_t size);

    // The hash of the bytes added so far, as 16 hexadecimal digits; adding may go on after it.
    std::string digest() const;

  private:
    static constexpr std::size_t block = 32;  // four 8-byte words, one per lane
    std::array<std::uint64_t, 4> lanes_ = {0x243F6A8885A308D3ULL, 0x13198A2E03707344ULL,
                                           0xA4093822299F31D0ULL, 0x082EFA98EC4E6C89ULL};
    std::array<unsigned char, block> pending_{};
    std::size_t pending_size_ = 0;
    std::uint64_t length_ = 0;

    void add_block(const unsigned char* bytes);
};

// The time a session began, "YYYY-MM-DD HH:MM:SS", read from a log's first line when that is
// the game's "logfile opened on <date>" line (the date as the C library's asctime writes it);
// nothing otherwise.
std::optional<std::string> session_start_of(std::string_view first_line);

// Records the run's session in the history file at path, making the file when it is missing:
// nothing when the same log under the same rules is there already, in place of its session
// when the log has grown from one recorded, else as a new session. The log's first
// results.log_bytes bytes are read again to tell which. Everything happens in one transaction,
// so a failure or a kill leaves the file as it was. Returns false after reporting the failure
// on standard error.
bool record_session(const std::string& path, const run_results& results);

// Which recorded sessions a history's report covers: those of the rules, begun (or, without a
// start, recorded) from since to until, each "YYYY-MM-DD" or empty for no bound.
struct session_filter {
    rule_set rules = rule_set::classic;
    std::string since;
    std::string until;
};

// Makes the results of the sessions the filter keeps from the history file at path: totals,
// players in order of first appearance, head-to-head, and one period per session in time order.
// Returns nothing after reporting on standard error a failure, or that no session is left.
std::optional<run_results> results_from_history(const std::string& path,
                                                const session_filter& filter);
