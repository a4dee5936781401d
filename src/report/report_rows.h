// The rows the reports print from a player's counters, in their order, taken from the table of
// counters: the weapons with their kill and death counters, and the causes of suicide.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "count/counters.h"

// A weapon: its label, the counter of kills with it and the counter of deaths by it.
struct weapon_row {
    std::string_view label;
    counter kills_for;
    counter kills_against;
    bool in_text_report;
    std::string_view family;  // the weapon it is a way of killing with, empty for its own
};

// A cause of death without a killer: its label and its counter.
struct suicide_row {
    std::string_view label;
    counter count;
    bool in_text_report;
};

// The rows of one rule set: its weapons and its causes of suicide.
struct report_rows {
    std::span<const weapon_row> weapons;
    std::span<const suicide_row> causes;
};

namespace report_row_detail {

constexpr std::size_t rows_of(counter_group group, rule_set rules) {
    std::size_t n = 0;
    for (const counter_info& info : counter_table) {
        n += info.group == group && (info.rules & bit_of(rules)) != 0 ? 1u : 0u;
    }
    return n;
}

// The death counter that pairs with the weapon's kill counter; the table's checks make it exist.
constexpr counter death_counter_of(const counter_info& weapon) {
    for (const counter_info& info : counter_table) {
        if (info.group == counter_group::death && info.label == weapon.label &&
            info.rules == weapon.rules && info.in_text_report == weapon.in_text_report) {
            return info.id;
        }
    }
    return counter_end;
}

constexpr std::string_view label_of(const counter_info& info, rule_set rules) {
    return rules == rule_set::classic ? info.label : info.plain_label;
}

// The rule set's weapons, in the order of their kill counters in the table of counters.
template <rule_set rules>
constexpr auto weapons() {
    std::array<weapon_row, rows_of(counter_group::kill, rules)> rows{};
    std::size_t n = 0;
    for (const counter_info& info : counter_table) {
        if (info.group == counter_group::kill && (info.rules & bit_of(rules)) != 0) {
            rows[n++] = {label_of(info, rules), info.id, death_counter_of(info),
                         rules == rule_set::full || info.in_text_report, info.family};
        }
    }
    return rows;
}

// The rule set's causes of suicide, in the table's order.
template <rule_set rules>
constexpr auto causes() {
    std::array<suicide_row, rows_of(counter_group::suicide, rules)> rows{};
    std::size_t n = 0;
    for (const counter_info& info : counter_table) {
        if (info.group == counter_group::suicide && (info.rules & bit_of(rules)) != 0) {
            rows[n++] = {label_of(info, rules), info.id,
                         rules == rule_set::full || info.in_text_report};
        }
    }
    return rows;
}

}  // namespace report_row_detail

// The classic rules' weapons and causes of suicide, in the table's order.
inline constexpr auto weapon_rows = report_row_detail::weapons<rule_set::classic>();
inline constexpr auto suicide_rows = report_row_detail::causes<rule_set::classic>();

// The full rules' weapons (table B's order) and causes of suicide (table A's), all in the text
// report.
inline constexpr auto full_weapon_rows = report_row_detail::weapons<rule_set::full>();
inline constexpr auto full_suicide_rows = report_row_detail::causes<rule_set::full>();
static_assert(full_weapon_rows.size() == 19 && full_suicide_rows.size() == 16);

// The rows that the reports of a rule set show.
constexpr report_rows rows_of_rules(rule_set rules) {
    if (rules == rule_set::classic) {
        return {weapon_rows, suicide_rows};
    }
    return {full_weapon_rows, full_suicide_rows};
}
