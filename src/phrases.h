// The phrases that make a line a round end or an obituary, and the search for them.
#pragma once

#include <array>
#include <cstddef>
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

// The ways of scanning a line for the phrases. All give the same results; the wider ones need
// a CPU that has them (scanner_available tells).
enum class phrase_scanner { portable, sse2, avx2 };

// Returns whether this build can run the scanner on this CPU.
bool scanner_available(phrase_scanner scanner);

// Returns the fastest scanner available; find_phrases and find_phrases_in_buffer use it.
phrase_scanner fastest_scanner();

// Bytes after a text that find_phrases_in_buffer may read; they never change its result.
inline constexpr std::size_t phrase_scan_overread = 64;

// Returns the set of phrases found in the text, reading nothing outside it. "ate" is reported
// only when "rocket" is there, since nothing needs it alone.
phrase_set find_phrases(std::string_view text);

// Returns what find_phrases returns, faster on short texts; the text must be followed by
// phrase_scan_overread readable bytes, as a line in the log reader's buffer is.
phrase_set find_phrases_in_buffer(std::string_view text);

// Returns what find_phrases returns, using the given scanner, which must be available. With
// padded set, the text must be followed by phrase_scan_overread readable bytes.
phrase_set find_phrases_with(phrase_scanner scanner, std::string_view text, bool padded);
