// The rows the reports print from a player's counters, in their order, taken from the table of
// counters: the weapons with their kill and death counters, and the causes of suicide.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
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
    return rules == rule_set::classic ? info.label : info.caption;
}

// The rule set's weapons, in the order of their kill counters in the table of counters.
template <rule_set rules>
constexpr auto weapons() {
    std::array<weapon_row, rows_of(counter_group::kill, rules)> rows{};
    std::size_t n = 0;
    for (const counter_info& info : counter_table) {
        if (info.group == counter_group::kill && (info.rules & bit_of(rules)) != 0) {
            rows[n++] = {label_of(info, rules),  info.id,
                         death_counter_of(info), rules == rule_set::full || info.in_text_report,
                         info.caption,           info.family};
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
                         rules == rule_set::full || info.in_text_report, info.caption};
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

// A weapon as players name it, with the kill counters of every row of a rule set's weapon rows
// that belongs to it (the first `parts` of kills_for).
struct family_row {
    std::string_view name;
    std::array<counter, std::max(weapon_rows.size(), full_weapon_rows.size())> kills_for{};
    std::size_t parts = 0;
};

namespace report_row_detail {

template <std::size_t n_weapons>
constexpr std::size_t family_count(const std::array<weapon_row, n_weapons>& weapons) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < weapons.size(); ++i) {
        bool seen = false;
        for (std::size_t j = 0; j < i; ++j) {
            seen = seen || weapons[j].family == weapons[i].family;
        }
        n += seen ? 0 : 1;
    }
    return n;
}

// The weapons as players name them, in the order of their first row among the weapon rows.
template <const auto& weapons>
constexpr auto families() {
    std::array<family_row, family_count(weapons)> rows{};
    std::size_t n = 0;
    for (const weapon_row& weapon : weapons) {
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
}

}  // namespace report_row_detail

// Each rule set's weapons as players name them.
inline constexpr auto family_rows = report_row_detail::families<weapon_rows>();
inline constexpr auto full_family_rows = report_row_detail::families<full_weapon_rows>();

// The rows of one rule set: its weapons, its causes of suicide and its weapons as players name
// them.
struct report_rows {
    std::span<const weapon_row> weapons;
    std::span<const suicide_row> causes;
    std::span<const family_row> families;
};

// The rows that the reports of a rule set show.
constexpr report_rows rows_of_rules(rule_set rules) {
    if (rules == rule_set::classic) {
        return {weapon_rows, suicide_rows, family_rows};
    }
    return {full_weapon_rows, full_suicide_rows, full_family_rows};
}
