// A memo of lines already counted and what they did to the tables, so that a line seen again
// is counted without finding its phrases, cutting its names or looking them up: once every
// name of a line holds a slot, the line's effect depends on nothing but its bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// One kind of obituary a line was counted as (its index in obituary_kinds) and the slots it
// bumped; a one-name kind uses `victim` only.
struct fired_kind {
    std::uint8_t kind;
    std::int8_t victim;
    std::int8_t killer;
};

// Most kinds a remembered line may have been counted as; a line of more is not remembered.
inline constexpr std::size_t memo_kinds = 2;

// What a line did to the tables: the kinds it was counted as, in table order, with their slots.
struct line_effect {
    std::uint8_t count;
    std::array<fired_kind, memo_kinds> kinds;
};

// Longest line text, in bytes, that is remembered.
inline constexpr std::size_t memo_text_size = 56;

// A line's text as the memo holds it: in words, zero-filled past its length, and its place.
struct memo_key {
    std::array<std::uint64_t, memo_text_size / 8> words;
    std::size_t place;
    std::uint16_t tag;
    std::size_t length;  // 0 for a text the memo does not hold: empty, or too long
};

// Forgets every line; call it whenever the tables are emptied, as remembered slots refer to them.
void forget_lines();

// Returns the key of a text, which must be followed by memo_text_size readable bytes (as the
// scanner's lines are); they do not change the key.
memo_key key_of_line(std::string_view text);

// Returns the effect remembered for exactly this text, or nullptr. The pointer is valid until
// the next remember_line or forget_lines.
const line_effect* recall_line(const memo_key& key);

// Starts loading the entry a key would be looked for in, so that recall_line finds it in the
// cache; changes nothing.
void prefetch_line(const memo_key& key);

// Remembers the text's effect, in place of the line that shared its place. The caller must
// pass only an effect that the text would have again: no round end, every kind counted, every
// name holding a slot.
void remember_line(const memo_key& key, const line_effect& effect);

// For tests: when set, every text hashes alike, so different lines compete for one place.
void hash_lines_alike(bool alike);
