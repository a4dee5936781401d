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

// The ways of scanning text for the phrases. All give the same results; the wider ones need a
// CPU that has them (scanner_available tells).
enum class phrase_scanner { portable, sse2, avx2, avx512 };

// Returns whether this build can run the scanner on this CPU.
bool scanner_available(phrase_scanner scanner);

// Returns the fastest scanner available, the one find_phrases and map_spots use.
phrase_scanner fastest_scanner();

// Returns the set of phrases found in the text, reading nothing outside it. "ate" is reported
// only when "rocket" is there, since nothing needs it alone.
phrase_set find_phrases(std::string_view text);

// Returns what find_phrases returns, using the given scanner, which must be available.
phrase_set find_phrases_with(phrase_scanner scanner, std::string_view text);

// Bytes after mapped data that map_spots may read; they never change a result.
inline constexpr std::size_t phrase_scan_overread = 80;

// Marks, one bit per byte, where in the data a phrase might be (bit i % 64 of spots[i / 64] for
// byte i), so that the phrases of many lines are looked for in one sweep. spots must hold
// (size + 63) / 64 words, and the data must be followed by phrase_scan_overread readable bytes.
void map_spots(const char* data, std::size_t size, std::uint64_t* spots);

// The same with the given scanner, which must be available.
void map_spots_with(phrase_scanner scanner, const char* data, std::size_t size,
                    std::uint64_t* spots);

// Returns what find_phrases returns for a text that lies within data mapped by map_spots
// (starting at base), from the map and the text alone.
phrase_set find_mapped_phrases(std::string_view text, const char* base, const std::uint64_t* spots);
