// The rows the reports print from a player's counters, in their order: the weapons with their
// kill and death counters, and the causes of suicide.
#pragma once

#include <array>
#include <string_view>

#include "tables.h"

// A weapon: its label, the counter of kills with it and the counter of deaths by it.
struct weapon_row {
    std::string_view label;
    counter kills_for;
    counter kills_against;
};

// The weapons, in the order the reports list them.
inline constexpr std::array<weapon_row, 8> weapon_rows{{
    {"Gauntlet", gauntlet_kills, gauntlet_deaths},
    {"Machinegun", mg_kills, mg_deaths},
    {"Shotgun", sg_kills, sg_deaths},
    {"Direct hits RL", rl_direct_kills, rl_direct_deaths},
    {"Close hits RL", rl_close_kills, rl_close_deaths},
    {"Railgun", rail_kills, rail_deaths},
    {"Plasma Gun", pg_kills, pg_deaths},
    {"Lightning Gun", lg_kills, lg_deaths},
}};

// A cause of death without a killer: its label and its counter.
struct suicide_row {
    std::string_view label;
    counter count;
};

// The causes of suicide, in the order the reports list them.
inline constexpr std::array<suicide_row, 5> suicide_rows{{
    {"rocket", rocket_suicides},
    {"plasmagun", plasma_suicides},
    {"void", void_suicides},
    {"jumping", crater_suicides},
    {"lava", lava_suicides},
}};
