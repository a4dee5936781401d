#include "count/line_memo.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <limits>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

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

void forget_lines() {
    if (memo_used) {
        std::memset(memo.data(), 0, sizeof memo);
        for (memo_set& set : sets) {
            set = memo_set{};
        }
        memo_used = false;
    }
}

void give_back_lines() {
    forget_lines();
#ifdef __linux__
    // The memo's pages, now all zeros, which is what the system hands back for them: only
    // whole pages inside it.
    auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    auto* bytes = reinterpret_cast<char*>(memo.data());
    std::size_t skip = (page - reinterpret_cast<std::uintptr_t>(bytes) % page) % page;
    if (sizeof memo > skip + page) {
        madvise(bytes + skip, (sizeof memo - skip) / page * page, MADV_DONTNEED);
    }
#endif
}

line_tally remember_line(memo_lookup& lookup, std::size_t i, const line_effect& effect) {
    line_tally pushed_out{{}, 0};
    std::size_t length = lookup.lengths[i];
    if (length == 0) {
        return pushed_out;
    }
    memo_used = true;
    std::size_t s = lookup.sets[i];
    memo_set& set = sets[s];
    std::size_t way = entry_to_replace(set);
    memo_entry& entry = memo[s][way];
    if (set.sightings[way] != 0 && entry.effect.count != 0) {
        pushed_out = {entry.effect, set.sightings[way]};
    }
    set.sightings[way] = 0;
    mark_seen(set, way);
    std::uint64_t& tags = set.tags[way / 4];
    std::uint64_t lane = std::uint64_t{0xFFFF} << (16 * (way % 4));
    tags = (tags & ~lane) | (std::uint64_t{lookup.tags[i]} << (16 * (way % 4)));
    std::memcpy(entry.text.data(), lookup.texts[i], length);
    entry.length = static_cast<std::uint8_t>(length);
    entry.effect = effect;
    // The line may have taken an entry of its set from a line after it in the batch.
    for (std::size_t later = i + 1; later < lookup.size; ++later) {
        if (lookup.sets[later] == s) {
            lookup.candidates[later] = prefetch_entry(s, lookup.tags[later]);
        }
    }
    return pushed_out;
}

std::span<const line_tally> settle_next(memo_settling& settling) {
    // Whether an entry has sightings to settle is anybody's guess, so they are gathered from the
    // headers without a branch on it, and only then are the effects of those that have some
    // loaded, a few ahead. A block is gathered a whole set at a time, so the last set may add
    // all its entries to a block one short of full: the arrays have room for that.
    constexpr std::size_t ahead = 8;
    static_assert(settled_room == settled_block - 1 + memo_ways);
    static_assert(memo_sets * memo_ways <= std::numeric_limits<std::uint32_t>::max());
    std::array<std::uint32_t, settled_room> found;  // set * ways + way
    std::array<std::uint32_t, settled_room> times;
    for (;;) {
        if (settling.next_set == memo_sets) {
            return {};
        }
        std::size_t held = 0;
        std::size_t s = settling.next_set;
        for (; s < memo_sets && held < settled_block; ++s) {
            memo_set& set = sets[s];
            for (std::size_t way = 0; way < memo_ways; ++way) {
                found[held] = static_cast<std::uint32_t>(s * memo_ways + way);
                times[held] = set.sightings[way];
                held += static_cast<std::size_t>(set.sightings[way] != 0);
                set.sightings[way] = 0;
            }
        }
        settling.next_set = s;
        assert(held <= settled_room);
        const memo_entry* entries = &memo[0][0];
        std::size_t settled = 0;
        for (std::size_t i = 0; i < held; ++i) {
            if (i + ahead < held) {
                __builtin_prefetch(&entries[found[i + ahead]]);
            }
            const line_effect& effect = entries[found[i]].effect;
            settling.tallies[settled] = {effect, times[i]};
            settled += static_cast<std::size_t>(effect.count != 0);
        }
        if (settled != 0) {
            return {settling.tallies.data(), settled};
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
