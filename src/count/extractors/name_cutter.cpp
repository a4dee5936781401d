// The name cutter's portable path: the plain search, pattern by pattern. Every build has it, and
// the vector paths (name_cutter_sse2.h, name_cutter_avx512.h) hand it the texts longer than
// their window.
#include "count/extractors/name_cutter.h"

#include <algorithm>
#include <cstring>

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

// Returns the first position from `from` on, and before `limit`, where the pattern matches;
// limit when there is none. Candidates are found by the pattern's last fixed byte with memchr,
// which skips the bytes between them many at a time.
std::size_t find_pattern(std::string_view text, std::string_view pattern, std::size_t from,
                         std::size_t limit) {
    if (pattern.size() > text.size()) {
        return limit;
    }
    std::size_t fits = std::min(limit, text.size() - pattern.size() + 1);
    std::size_t key = pattern.find_last_not_of('?');
    if (key == std::string_view::npos) {
        return from < fits ? from : limit;
    }
    for (std::size_t pos = from; pos < fits; ++pos) {
        const void* hit = std::memchr(text.data() + pos + key, pattern[key], fits - pos);
        if (hit == nullptr) {
            return limit;
        }
        pos = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) - key;
        if (matches_at(text, pos, pattern)) {
            return pos;
        }
    }
    return limit;
}

std::array<char, name_size> stored(std::string_view name) {
    std::array<char, name_size> slot{};
    std::copy(name.begin(), name.end(), slot.begin());
    return slot;
}

std::string_view first_name(std::string_view text, std::string_view first_end) {
    // A mark at position max_name_length or later cannot shorten the name any further.
    std::size_t limit = std::min(text.size(), max_name_length);
    return text.substr(0, find_pattern(text, first_end, 1, limit));
}

std::string_view second_name(std::string_view text, const two_name_rules& rules) {
    // The first occurrence counts, even one inside the victim's name.
    std::size_t j = find_pattern(text, rules.start.text(), 0, text.size());
    // The byte right after the pattern (a blank on a well-formed line) is skipped unseen.
    std::size_t begin = j + rules.start.length + 1;
    if (begin >= text.size()) {
        return {};
    }
    std::size_t limit = std::min(text.size(), begin + max_name_length);
    std::size_t end = find_pattern(text, rules.second_end.text(), begin + 1, limit);
    if (rules.second_ends_at_line_feed) {
        for (std::size_t m = begin + 1; m < end; ++m) {
            if (text[m] == '\n') {
                end = m;
                break;
            }
        }
    }
    return text.substr(begin, end - begin);
}

}  // namespace

stats_t cut_one_name_portable(std::string_view text, const one_name_rules& rules) {
    stats_t result;
    result.curname = stored(first_name(text, rules.first_end.text()));
    return result;
}

stats_t cut_two_names_portable(std::string_view text, const two_name_rules& rules) {
    stats_t result;
    result.vicname = stored(first_name(text, rules.first_end.text()));
    result.aggname = stored(second_name(text, rules));
    return result;
}
