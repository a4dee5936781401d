#include "extractors/name_cutter.h"

#include <algorithm>

namespace {

bool matches_at(std::string_view text, std::size_t pos, std::string_view pattern) {
    if (pos > text.size() || text.size() - pos < pattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '?' && pattern[i] != text[pos + i]) {
            return false;
        }
    }
    return true;
}

std::array<char, name_size> stored(std::string_view name) {
    std::array<char, name_size> slot{};
    std::copy(name.begin(), name.end(), slot.begin());
    return slot;
}

}  // namespace

std::string_view first_name(std::string_view text, std::string_view first_end) {
    // A mark at position max_name_length or later cannot shorten the name any further.
    std::size_t end = std::min(text.size(), max_name_length);
    for (std::size_t k = 1; k < end; ++k) {
        if (matches_at(text, k, first_end)) {
            end = k;
            break;
        }
    }
    return text.substr(0, end);
}

std::string_view second_name(std::string_view text, const two_name_rules& rules) {
    // The first occurrence counts, even one inside the victim's name.
    std::size_t j = 0;
    while (j < text.size() && !matches_at(text, j, rules.start)) {
        ++j;
    }
    // The byte right after the pattern (a blank on a well-formed line) is skipped unseen.
    std::size_t begin = j + rules.start.size() + 1;
    if (begin >= text.size()) {
        return {};
    }
    std::size_t end = std::min(text.size(), begin + max_name_length);
    for (std::size_t m = begin + 1; m < end; ++m) {
        if ((rules.second_ends_at_line_feed && text[m] == '\n') ||
            matches_at(text, m, rules.second_end)) {
            end = m;
            break;
        }
    }
    return text.substr(begin, end - begin);
}

stats_t cut_one_name(std::string_view text, std::string_view first_end) {
    stats_t result;
    result.curname = stored(first_name(text, first_end));
    return result;
}

stats_t cut_two_names(std::string_view text, const two_name_rules& rules) {
    stats_t result;
    result.vicname = stored(first_name(text, rules.first_end));
    result.aggname = stored(second_name(text, rules));
    return result;
}
