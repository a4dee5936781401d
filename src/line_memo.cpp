#include "line_memo.h"

namespace memo_detail {

std::array<memo_entry, memo_size> memo;
std::array<std::uint64_t, memo_size / memo_ways> tags;
std::array<std::uint8_t, memo_size / memo_ways> recency;
std::array<std::uint32_t, memo_size> sightings;
bool alike_hashes = false;

}  // namespace memo_detail

using namespace memo_detail;

namespace {

void settle_entry(std::size_t place, settle_function settle) {
    if (sightings[place] != 0) {
        if (memo[place].effect.count != 0) {
            settle(memo[place].effect, sightings[place]);
        }
        sightings[place] = 0;
    }
}

}  // namespace

void forget_lines() {
    std::memset(memo.data(), 0, sizeof memo);
    tags.fill(0);
    recency.fill(first_recency);
    sightings.fill(0);
}

void remember_line(const memo_key& key, const line_effect& effect, settle_function settle) {
    if (key.length == 0) {
        return;
    }
    std::size_t set = key.place / memo_ways;
    std::size_t way = recency[set] >> 6;  // the way seen longest ago
    std::size_t place = key.place + way;
    settle_entry(place, settle);
    recency[set] = after_seeing[recency[set]][way];
    std::uint64_t lane = std::uint64_t{0xFFFF} << (16 * way);
    tags[set] = (tags[set] & ~lane) | (std::uint64_t{key.tag} << (16 * way));
    memo_entry& entry = memo[place];
    entry.words = key.words;
    entry.length = static_cast<std::uint8_t>(key.length);
    entry.effect = effect;
}

void settle_lines(settle_function settle) {
    for (std::size_t place = 0; place < memo_size; ++place) {
        settle_entry(place, settle);
    }
}

void hash_lines_alike(bool alike) {
    alike_hashes = alike;
}
