#include "report/results.h"

#include <algorithm>
#include <cassert>
#include <utility>

void kill_matrix::add(std::uint32_t killer, std::uint32_t victim, std::int32_t count) {
    assert(count != 0);
    assert(cells_.empty() || cells_.back().killer < killer ||
           (cells_.back().killer == killer && cells_.back().victim < victim));
    cells_.push_back({killer, victim, count});
}

std::int32_t kill_matrix::killed(std::size_t killer, std::size_t victim) const {
    auto cell =
        std::lower_bound(cells_.begin(), cells_.end(), std::pair(killer, victim),
                         [](const kill_count& a, std::pair<std::size_t, std::size_t> b) {
                             return std::pair<std::size_t, std::size_t>(a.killer, a.victim) < b;
                         });
    return cell != cells_.end() && cell->killer == killer && cell->victim == victim ? cell->count
                                                                                    : 0;
}

round_result::round_result(std::uint64_t first_line, std::uint64_t last_line, bool ended,
                           std::string end_text)
    : first_line_(first_line),
      last_line_(last_line),
      ended_(ended),
      end_text_(std::move(end_text)) {}

void round_result::add_count(std::uint32_t player, counter which, std::int32_t count) {
    assert(count != 0);
    assert(counts_.empty() || counts_.back().player < player ||
           (counts_.back().player == player && counts_.back().which < which));
    counts_.push_back({player, which, count});
}

namespace {

bool before_player(const counter_entry& entry, std::size_t player) {
    return entry.player < player;
}

}  // namespace

counter_values round_result::counters_of(std::size_t player) const {
    counter_values values{};
    for (auto entry = std::lower_bound(counts_.begin(), counts_.end(), player, before_player);
         entry != counts_.end() && entry->player == player; ++entry) {
        values[static_cast<std::size_t>(entry->which)] = entry->count;
    }
    return values;
}

bool round_result::counts(std::size_t player) const {
    auto entry = std::lower_bound(counts_.begin(), counts_.end(), player, before_player);
    return entry != counts_.end() && entry->player == player;
}
