// The phrases the pass looks for, taken from the table of kinds (a round end's first, then each
// kind's in table order, each text once), and the search for them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "count/kinds.h"
#include "scan/phrase_search.h"

namespace pass_phrase_list {

constexpr bool listed_before(std::size_t kind, std::string_view text) {
    if (text == round_end_phrase) {
        return true;
    }
    for (std::size_t k = 0; k < kind; ++k) {
        if (obituary_kinds[k].phrase == text || obituary_kinds[k].also == text) {
            return true;
        }
    }
    return false;
}

constexpr std::size_t count() {
    std::size_t count = 1;
    for (std::size_t k = 0; k < obituary_kinds.size(); ++k) {
        const obituary_kind& kind = obituary_kinds[k];
        count += listed_before(k, kind.phrase) ? 0u : 1u;
        count +=
            kind.also.empty() || listed_before(k, kind.also) || kind.also == kind.phrase ? 0u : 1u;
    }
    return count;
}

constexpr std::size_t index_of(const auto& list, std::string_view text) {
    std::size_t p = 0;
    while (p < list.size() && list[p].text != text) {
        ++p;
    }
    return p;
}

constexpr std::array<phrase_entry, count()> all() {
    std::array<phrase_entry, count()> list{};
    list[0] = {round_end_phrase, round_end_anchor};
    std::size_t count = 1;
    for (std::size_t k = 0; k < obituary_kinds.size(); ++k) {
        const obituary_kind& kind = obituary_kinds[k];
        if (!pass_phrase_list::listed_before(k, kind.phrase)) {
            list[count++] = {kind.phrase, kind.anchor};
        }
        if (!kind.also.empty() && !pass_phrase_list::listed_before(k, kind.also) &&
            kind.also != kind.phrase) {
            list[count++] = {kind.also, {}, pass_phrase_list::index_of(list, kind.phrase)};
        }
    }
    return list;
}

}  // namespace pass_phrase_list

// The phrases of the pass; phrase 0 is the round end's.
inline constexpr std::array<phrase_entry, pass_phrase_list::count()> pass_phrases =
    pass_phrase_list::all();

// The round end's phrase as a set.
inline constexpr phrase_set round_end_phrases = phrase_bit(0);

namespace pass_phrase_list {

constexpr std::array<phrase_set, obituary_kinds.size()> of_each_kind() {
    std::array<phrase_set, obituary_kinds.size()> needs{};
    for (std::size_t k = 0; k < obituary_kinds.size(); ++k) {
        const obituary_kind& kind = obituary_kinds[k];
        needs[k] = phrase_bit(pass_phrase_list::index_of(pass_phrases, kind.phrase));
        if (!kind.also.empty()) {
            needs[k] |= phrase_bit(pass_phrase_list::index_of(pass_phrases, kind.also));
        }
    }
    return needs;
}

}  // namespace pass_phrase_list

// The phrases each kind needs, all of which make a line one of that kind.
inline constexpr std::array<phrase_set, obituary_kinds.size()> phrases_of_kind =
    pass_phrase_list::of_each_kind();

// Returns the set of pass_phrases found in the text, reading nothing outside it, searched on the
// given CPU path, which the CPU must have. A phrase without an anchor word ("ate") is reported
// only along with the phrase it goes with.
phrase_set find_phrases(std::string_view text, cpu_path path = cpu_path::portable);
