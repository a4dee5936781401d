// The rows the reports print from a player's counters, in their order, taken from the table of
// counters: the weapons with their kill and death counters, and the causes of suicide.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "count/counters.h"

// A weapon (or one way of killing with it): its label, the counter of kills with it and the
// counter of deaths by it, its caption in plain words and the weapon as players name it.
struct weapon_row {
    std::string_view label;
    counter kills_for;
    counter kills_against;
    bool in_text_report;
    std::string_view caption;
    std::string_view family;
};

// A cause of death without a killer: its label, its counter and its caption in plain words.
struct suicide_row {
    std::string_view label;
    counter count;
    bool in_text_report;
    std::string_view caption;
};

namespace report_row_detail {

constexpr std::size_t rows_of(counter_group group) {
    std::size_t n = 0;
    for (const counter_info& info : counter_table) {
        n += info.group == group ? 1 : 0;
    }
    return n;
}

// The death counter that shares the weapon's label; the table's checks make it exist.
constexpr counter death_counter_of(std::string_view weapon) {
    for (const counter_info& info : counter_table) {
        if (info.group == counter_group::death && info.label == weapon) {
            return info.id;
        }
    }
    return counter_end;
}

}  // namespace report_row_detail

// The weapons, in the order of their kill counters in the table of counters.
inline constexpr auto weapon_rows = [] {
    std::array<weapon_row, report_row_detail::rows_of(counter_group::kill)> rows{};
    std::size_t n = 0;
    for (const counter_info& info : counter_table) {
        if (info.group == counter_group::kill) {
            rows[n++] = {
                info.label,          info.id,      report_row_detail::death_counter_of(info.label),
                info.in_text_report, info.caption, info.family};
        }
    }
    return rows;
}();

// The causes of suicide, in the table's order.
inline constexpr auto suicide_rows = [] {
    std::array<suicide_row, report_row_detail::rows_of(counter_group::suicide)> rows{};
    std::size_t n = 0;
    for (const counter_info& info : counter_table) {
        if (info.group == counter_group::suicide) {
            rows[n++] = {info.label, info.id, info.in_text_report, info.caption};
        }
    }
    return rows;
}();

// A weapon as players name it, with the kill counters of every row of the weapon rows that
// belongs to it (the first `parts` of kills_for).
struct family_row {
    std::string_view name;
    std::array<counter, weapon_rows.size()> kills_for{};
    std::size_t parts = 0;
};

namespace report_row_detail {

constexpr std::size_t family_count() {
    std::size_t n = 0;
    for (std::size_t i = 0; i < weapon_rows.size(); ++i) {
        bool seen = false;
        for (std::size_t j = 0; j < i; ++j) {
            seen = seen || weapon_rows[j].family == weapon_rows[i].family;
        }
        n += seen ? 0 : 1;
    }
    return n;
}

}  // namespace report_row_detail

// The weapons as players name them, in the order of their first row among the weapon rows.
inline constexpr auto family_rows = [] {
    std::array<family_row, report_row_detail::family_count()> rows{};
    std::size_t n = 0;
    for (const weapon_row& weapon : weapon_rows) {
        std::size_t f = 0;
        while (f < n && rows[f].name != weapon.family) {
            ++f;
        }
        if (f == n) {
            rows[n++].name = weapon.family;
        }
        rows[f].kills_for[rows[f].parts++] = weapon.kills_for;
    }
    return rows;
}();
