// The rows the reports print from a player's counters, in their order, taken from the table of
// counters: the weapons with their kill and death counters, and the causes of suicide.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "count/counters.h"

// A weapon: its label, the counter of kills with it and the counter of deaths by it.
struct weapon_row {
    std::string_view label;
    counter kills_for;
    counter kills_against;
    bool in_text_report;
};

// A cause of death without a killer: its label and its counter.
struct suicide_row {
    std::string_view label;
    counter count;
    bool in_text_report;
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
            rows[n++] = {info.label, info.id, report_row_detail::death_counter_of(info.label),
                         info.in_text_report};
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
            rows[n++] = {info.label, info.id, info.in_text_report};
        }
    }
    return rows;
}();
