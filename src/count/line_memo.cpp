#include "count/line_memo.h"

#include <algorithm>
#include <cassert>
#include <limits>

namespace memo_detail {

std::array<std::array<memo_entry, memo_ways>, memo_sets> memo;
std::array<memo_set, memo_sets> sets;
bool alike_hashes = false;

}  // namespace memo_detail

namespace {

constexpr std::uint64_t sightings_held = std::uint64_t{1} << 31;
std::uint64_t unsettled_limit = sightings_held;

// Whether any line was remembered since the memo was last emptied: a memo never used is left
// as it is, so that a short log does not bring all of it into memory.
bool memo_used = false;

}  // namespace

using namespace memo_detail;

namespace {

void settle_entry(memo_set& set, std::size_t way, const line_effect& effect,
                  settle_function settle) {
    if (set.sightings[way] != 0 && effect.count != 0) {
        line_tally tally{effect, set.sightings[way]};
        settle(&tally, 1);
    }
    set.sightings[way] = 0;
}

}  // namespace

void forget_lines() {
    if (memo_used) {
        std::memset(memo.data(), 0, sizeof memo);
        for (memo_set& set : sets) {
            set = memo_set{};
        }
        memo_used = false;
    }
}

void remember_line(const memo_key& key, const line_effect& effect, settle_function settle) {
    if (key.length == 0) {
        return;
    }
    memo_used = true;
    memo_set& set = sets[key.set];
    std::size_t way = entry_to_replace(set);
    memo_entry& entry = memo[key.set][way];
    settle_entry(set, way, entry.effect, settle);
    mark_seen(set, way);
    std::uint64_t& tags = set.tags[way / 4];
    std::uint64_t lane = std::uint64_t{0xFFFF} << (16 * (way % 4));
    tags = (tags & ~lane) | (std::uint64_t{key.tag} << (16 * (way % 4)));
    std::memcpy(entry.text.data(), key.text, key.length);
    entry.length = static_cast<std::uint8_t>(key.length);
    entry.effect = effect;
}

void settle_lines(settle_function settle) {
    // Whether an entry has sightings to settle is anybody's guess, so they are gathered from the
    // headers without a branch on it, and only then are the effects of those that have some
    // loaded, a few ahead, and settled a block at a time.
    constexpr std::size_t block = 256;
    constexpr std::size_t ahead = 8;
    struct unsettled {
        std::uint32_t entry;  // set * memo_ways + way
        std::uint32_t times;
    };
    // A block is gathered a whole set at a time, so the last set may add all its entries to a
    // block one short of full: both arrays have room for that.
    constexpr std::size_t room = block - 1 + memo_ways;
    static_assert(memo_sets * memo_ways <= std::numeric_limits<std::uint32_t>::max());
    std::array<unsettled, room> found;
    std::array<line_tally, room> tallies;
    std::size_t s = 0;
    while (s < memo_sets) {
        std::size_t held = 0;
        for (; s < memo_sets && held < block; ++s) {
            memo_set& set = sets[s];
            for (std::size_t way = 0; way < memo_ways; ++way) {
                found[held] = {static_cast<std::uint32_t>(s * memo_ways + way), set.sightings[way]};
                held += static_cast<std::size_t>(set.sightings[way] != 0);
                set.sightings[way] = 0;
            }
        }
        assert(held <= room);
        const memo_entry* entries = &memo[0][0];
        std::size_t settled = 0;
        for (std::size_t i = 0; i < held; ++i) {
            if (i + ahead < held) {
                __builtin_prefetch(&entries[found[i + ahead].entry]);
            }
            const line_effect& effect = entries[found[i].entry].effect;
            tallies[settled] = {effect, found[i].times};
            settled += static_cast<std::size_t>(effect.count != 0);
        }
        if (settled != 0) {
            settle(tallies.data(), settled);
        }
    }
}

bool lines_settled() {
    return std::all_of(sets.begin(), sets.end(), [](const memo_set& set) {
        return std::all_of(set.sightings.begin(), set.sightings.end(),
                           [](std::uint32_t times) { return times == 0; });
    });
}

std::uint64_t most_unsettled_sightings() {
    return unsettled_limit;
}

void settle_more_often(std::uint64_t most) {
    unsettled_limit = most == 0 ? sightings_held : most;
}

void hash_lines_alike(bool alike) {
    alike_hashes = alike;
}
