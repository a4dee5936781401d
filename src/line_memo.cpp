#include "line_memo.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::size_t text_words = memo_text_size / 8;
static_assert(memo_text_size % 8 == 0);

// One remembered line in one cache line: its text and its effect.
struct alignas(64) memo_entry {
    std::array<std::uint64_t, text_words> words;
    std::uint8_t length;  // 0: empty
    line_effect effect;
};
static_assert(sizeof(memo_entry) == 64);

// Direct-mapped: a newer line takes the place of an older one with the same hash.
constexpr unsigned memo_bits = 14;
constexpr std::size_t memo_size = std::size_t{1} << memo_bits;
std::array<memo_entry, memo_size> memo;

// Sixteen more bits of each entry's hash, in a table small enough to stay in the first-level
// cache: most lines not remembered are told from it without loading their entry.
std::array<std::uint16_t, memo_size> tags;

bool alike_hashes = false;

// memo_text_size bytes of ones, then as many zeros.
using text_mask_bytes = std::array<unsigned char, 2 * memo_text_size>;
constexpr text_mask_bytes make_text_mask() {
    text_mask_bytes mask{};
    for (std::size_t i = 0; i < mask.size(); ++i) {
        mask[i] = i < memo_text_size ? 0xFF : 0;
    }
    return mask;
}
constexpr text_mask_bytes text_mask = make_text_mask();

}  // namespace

void forget_lines() {
    std::memset(memo.data(), 0, sizeof memo);
    tags.fill(0);
}

memo_key key_of_line(std::string_view text) {
    memo_key key{};
    if (text.empty() || text.size() > memo_text_size) {
        return key;
    }
    key.length = text.size();
    // Whole words read past the text and cut back to it by a mask that slides over a row of
    // ones and zeros, with no branch on where the text ends.
    std::uint64_t folded = 0;
    const unsigned char* mask = text_mask.data() + memo_text_size - text.size();
    for (std::size_t i = 0; i < text_words; ++i) {
        std::uint64_t word = 0;
        std::uint64_t kept = 0;
        std::memcpy(&word, text.data() + 8 * i, 8);
        std::memcpy(&kept, mask + 8 * i, 8);
        word &= kept;
        key.words[i] = word;
        folded = std::rotl(folded, 23) ^ word;
    }
    std::uint64_t hash = alike_hashes ? 0 : folded * 0x9E3779B97F4A7C15u;
    key.place = static_cast<std::size_t>(hash >> (64 - memo_bits));
    key.tag = static_cast<std::uint16_t>(hash >> (64 - memo_bits - 16));
    return key;
}

const line_effect* recall_line(const memo_key& key) {
    if (tags[key.place] != key.tag) {
        return nullptr;
    }
    const memo_entry& entry = memo[key.place];
    if (key.length == 0 || entry.length != key.length || entry.words != key.words) {
        return nullptr;
    }
    return &entry.effect;
}

void prefetch_line(const memo_key& key) {
    __builtin_prefetch(&tags[key.place]);
    __builtin_prefetch(&memo[key.place]);
}

void remember_line(const memo_key& key, const line_effect& effect) {
    if (key.length == 0) {
        return;
    }
    tags[key.place] = key.tag;
    memo_entry& entry = memo[key.place];
    entry.words = key.words;
    entry.length = static_cast<std::uint8_t>(key.length);
    entry.effect = effect;
}

void hash_lines_alike(bool alike) {
    alike_hashes = alike;
}
