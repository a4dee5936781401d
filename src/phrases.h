// The phrases that make a line a round end or an obituary, and the search for them.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// One bit per phrase of phrase_text.
enum phrase : unsigned {
    ph_fraglimit,
    ph_wrong_place,
    ph_melted_himself,
    ph_into_lava,
    ph_blew_himself_up,
    ph_cratered,
    ph_railed_by,
    ph_electrocuted_by,
    ph_gunned_down_by,
    ph_machinegunned_by,
    ph_melted_by,
    ph_almost_dodged,
    ph_pummeled_by,
    ph_ate,
    ph_rocket,
    phrase_count,
};

// The exact, case-sensitive text of each phrase.
inline constexpr std::array<std::string_view, phrase_count> phrase_text = {
    "fraglimit",
    "in the wrong place",
    "melted himself",
    "into the lava",
    "blew himself up",
    "cratered",
    "was railed by",
    "was electrocuted by",
    "was gunned down by",
    "machinegunned by",
    "melted by",
    "almost dodged",
    "was pummeled by",
    "ate",
    "rocket",
};

// A set of phrases, one bit each.
using phrase_set = std::uint32_t;

// Returns the set holding just the given phrase.
constexpr phrase_set bit(phrase p) {
    return phrase_set{1} << p;
}

// Returns the set of phrases found in the text. "ate" is looked for only when "rocket" is
// there, since nothing needs it alone.
phrase_set find_phrases(std::string_view text);
