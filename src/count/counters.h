// The counters of a player's row of statistics, in one table: each one's id, name, label, group
// and whether the text report shows it. The counter count, the names, the reports' rows and the
// listing the tests check the scripts against all follow this table.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The rules a run counts by: the classic rules' thirteen kinds of line, or every obituary the
// game prints with the names exactly as it writes them.
enum class rule_set { classic, full };

// Index of each counter within a player's row, which is also the order of the JSON report's
// counters. A new counter goes just before counter_end and needs a row in counter_table.
enum counter : int {
    kills,
    deaths,
    void_suicides,
    crater_suicides,
    mg_kills,
    rl_direct_kills,
    pg_kills,
    sg_kills,
    gauntlet_kills,
    rail_kills,
    rail_deaths,
    rl_close_deaths,
    rl_direct_deaths,
    rl_close_kills,
    sg_deaths,
    mg_deaths,
    gauntlet_deaths,
    pg_deaths,
    rocket_suicides,
    plasma_suicides,
    lava_suicides,
    lg_kills,
    lg_deaths,
    counter_end,  // not a counter: the number of them
};

// What a counter counts: all of a player's kills or deaths (the two totals), kills or deaths by
// one weapon, or deaths without a killer by one cause.
enum class counter_group { total, kill, death, suicide };

// One counter. A weapon's kill and death counters share its label, which pairs them.
struct counter_info {
    counter id;
    std::string_view name;   // the JSON report's key; snake case, unique
    std::string_view label;  // as the reports print it
    counter_group group;
    bool in_text_report;  // the text report keeps the classic layout, so a new counter may stay out
};

// Every counter, in the order the reports list them.
inline constexpr auto counter_table = std::to_array<counter_info>({
    {kills, "kills", "Kills", counter_group::total, true},
    {deaths, "deaths", "Deaths", counter_group::total, true},
    {gauntlet_kills, "gauntlet_kills", "Gauntlet", counter_group::kill, true},
    {gauntlet_deaths, "gauntlet_deaths", "Gauntlet", counter_group::death, true},
    {mg_kills, "mg_kills", "Machinegun", counter_group::kill, true},
    {mg_deaths, "mg_deaths", "Machinegun", counter_group::death, true},
    {sg_kills, "sg_kills", "Shotgun", counter_group::kill, true},
    {sg_deaths, "sg_deaths", "Shotgun", counter_group::death, true},
    {rl_direct_kills, "rl_direct_kills", "Direct hits RL", counter_group::kill, true},
    {rl_direct_deaths, "rl_direct_deaths", "Direct hits RL", counter_group::death, true},
    {rl_close_kills, "rl_close_kills", "Close hits RL", counter_group::kill, true},
    {rl_close_deaths, "rl_close_deaths", "Close hits RL", counter_group::death, true},
    {rail_kills, "rail_kills", "Railgun", counter_group::kill, true},
    {rail_deaths, "rail_deaths", "Railgun", counter_group::death, true},
    {pg_kills, "pg_kills", "Plasma Gun", counter_group::kill, true},
    {pg_deaths, "pg_deaths", "Plasma Gun", counter_group::death, true},
    {lg_kills, "lg_kills", "Lightning Gun", counter_group::kill, true},
    {lg_deaths, "lg_deaths", "Lightning Gun", counter_group::death, true},
    {rocket_suicides, "rocket_suicides", "rocket", counter_group::suicide, true},
    {plasma_suicides, "plasma_suicides", "plasmagun", counter_group::suicide, true},
    {void_suicides, "void_suicides", "void", counter_group::suicide, true},
    {crater_suicides, "crater_suicides", "jumping", counter_group::suicide, true},
    {lava_suicides, "lava_suicides", "lava", counter_group::suicide, true},
});

// Counters in each player's row of statistics.
inline constexpr int counter_count = static_cast<int>(counter_table.size());

namespace counter_checks {

constexpr bool each_counter_has_one_row() {
    std::array<int, counter_table.size()> rows{};
    for (const counter_info& info : counter_table) {
        if (info.id < 0 || info.id >= counter_count) {
            return false;
        }
        ++rows[static_cast<std::size_t>(info.id)];
    }
    for (int n : rows) {
        if (n != 1) {
            return false;
        }
    }
    return true;
}

constexpr bool names_are_unique_snake_case() {
    for (std::size_t i = 0; i < counter_table.size(); ++i) {
        std::string_view name = counter_table[i].name;
        if (name.empty() || counter_table[i].label.empty()) {
            return false;
        }
        for (char c : name) {
            if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) {
                return false;
            }
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (counter_table[j].name == name) {
                return false;
            }
        }
    }
    return true;
}

// The number of rows of the other weapon group with the row's label and text-report flag.
constexpr int partners_of(const counter_info& row) {
    counter_group other =
        row.group == counter_group::kill ? counter_group::death : counter_group::kill;
    int found = 0;
    for (const counter_info& info : counter_table) {
        found += info.group == other && info.label == row.label &&
                         info.in_text_report == row.in_text_report
                     ? 1
                     : 0;
    }
    return found;
}

constexpr bool weapons_come_in_pairs() {
    for (const counter_info& info : counter_table) {
        bool weapon = info.group == counter_group::kill || info.group == counter_group::death;
        if (weapon && partners_of(info) != 1) {
            return false;
        }
    }
    return true;
}

// The text report's first line of a block is "Kills/Deaths": the totals are these two.
constexpr bool totals_are_kills_and_deaths() {
    int totals = 0;
    for (const counter_info& info : counter_table) {
        if (info.group == counter_group::total) {
            ++totals;
            if ((info.id != kills && info.id != deaths) || !info.in_text_report) {
                return false;
            }
        }
    }
    return totals == 2;
}

}  // namespace counter_checks

static_assert(counter_count == counter_end, "every counter of the enumeration needs a row");
static_assert(counter_checks::each_counter_has_one_row(), "one row per counter");
static_assert(counter_checks::names_are_unique_snake_case(),
              "every counter needs a label and a unique name of a-z, 0-9 and _");
static_assert(counter_checks::weapons_come_in_pairs(),
              "each weapon has one kill and one death counter under one label and text flag");
static_assert(counter_checks::totals_are_kills_and_deaths(), "the totals are kills and deaths");

// The counters' names, indexed by the counter enumeration; reports name the counters by them.
inline constexpr std::array<std::string_view, counter_count> counter_names = [] {
    std::array<std::string_view, counter_count> names{};
    for (const counter_info& info : counter_table) {
        names[static_cast<std::size_t>(info.id)] = info.name;
    }
    return names;
}();
