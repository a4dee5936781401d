// The rules the extractors give the name cutter. In a pattern, '?' stands for one byte of any
// value; every other byte must match exactly. A pattern that would reach past the end of the
// text does not match.
//
// Rules are built at compile time and passed to the cutter as template arguments, so that its
// fast paths are compiled for each extractor's own patterns (see name_cutter_sse2.h). Along with
// the patterns they hold what that needs: the distinct bytes the patterns use, and for each
// pattern byte which of them it must equal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

// Longest pattern a rule may hold.
inline constexpr std::size_t max_pattern_length = 8;

// Most distinct bytes the patterns of one rule set can hold: three patterns and a line feed.
inline constexpr std::size_t max_rule_bytes = 3 * max_pattern_length + 1;

// The distinct bytes of a rule set's patterns, so that the text is compared with each of them
// once, however many patterns use it. A byte's slot is 1 + its index; slot 0 stands for '?'.
struct rule_bytes {
    std::array<char, max_rule_bytes> bytes{};
    std::size_t count = 0;

    // Returns the slot of the byte, adding the byte when it is new.
    constexpr std::uint8_t slot_of(char c) {
        std::size_t i = 0;
        while (i < count && bytes[i] != c) {
            ++i;
        }
        if (i == count) {
            bytes[count++] = c;
        }
        return static_cast<std::uint8_t>(i + 1);
    }
};

// A pattern, and for each of its bytes the slot of the byte it must equal (0 for '?').
struct cut_pattern {
    constexpr cut_pattern(std::string_view pattern, rule_bytes& table) : length(pattern.size()) {
        if (pattern.size() > max_pattern_length) {
            throw std::length_error("a cutter pattern is longer than max_pattern_length");
        }
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            chars[i] = pattern[i];
            slots[i] = pattern[i] == '?' ? std::uint8_t{0} : table.slot_of(pattern[i]);
        }
    }

    constexpr std::string_view text() const { return {chars.data(), length}; }

    std::array<char, max_pattern_length> chars{};
    std::array<std::uint8_t, max_pattern_length> slots{};
    std::size_t length;
};

// Where the name of a one-name line ends.
struct one_name_rules {
    constexpr explicit one_name_rules(std::string_view first_end_pattern)
        : first_end(first_end_pattern, bytes) {}

    rule_bytes bytes;  // filled by the pattern below, so declared before it
    // The name ends where this pattern is first found, from position 1 on.
    cut_pattern first_end;
};

// Where the names of a two-name line begin and end.
struct two_name_rules {
    constexpr two_name_rules(std::string_view first_end_pattern, std::string_view start_pattern,
                             std::string_view second_end_pattern, bool ends_at_line_feed)
        : first_end(first_end_pattern, bytes),
          start(start_pattern, bytes),
          second_end(second_end_pattern, bytes),
          second_ends_at_line_feed(ends_at_line_feed),
          line_feed_slot(ends_at_line_feed ? bytes.slot_of('\n') : std::uint8_t{0}) {}

    rule_bytes bytes;  // filled by the patterns below, so declared before them
    // The victim's name ends where this pattern is first found, from position 1 on.
    cut_pattern first_end;
    // The killer's name begins one byte after the first occurrence of this pattern.
    cut_pattern start;
    // The killer's name ends where this pattern is first found, from its second byte on ...
    cut_pattern second_end;
    // ... or, when this is set, at its first line feed after its first byte.
    bool second_ends_at_line_feed;
    std::uint8_t line_feed_slot;  // the line feed's slot, when it ends the killer
};
