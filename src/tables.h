// The player tables: names, counters and the kill matrix, shared by the whole run.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "game_limits.h"

// Index of each counter within a player's row of statistics.
enum counter : int {
    kills = 0,
    deaths = 1,
    void_suicides = 2,
    crater_suicides = 3,
    mg_kills = 4,
    rl_direct_kills = 5,
    pg_kills = 6,
    sg_kills = 7,
    gauntlet_kills = 8,
    rail_kills = 9,
    rail_deaths = 10,
    rl_close_deaths = 11,
    rl_direct_deaths = 12,
    rl_close_kills = 13,
    sg_deaths = 14,
    mg_deaths = 15,
    gauntlet_deaths = 16,
    pg_deaths = 17,
    rocket_suicides = 18,
    plasma_suicides = 19,
    lava_suicides = 20,
    lg_kills = 21,
    lg_deaths = 22,
};

using name_slot = std::array<char, name_size>;

// Player names by slot, zero-terminated; a slot never claimed holds "NULL".
extern std::array<name_slot, max_players> name;

// Number of claimed slots: slots 0 to player_count - 1 are taken, in first-appearance order.
extern int player_count;

// Each slot's counters, indexed by the counter enumeration.
extern std::array<std::array<std::int32_t, counter_count>, max_players> stats;

// who_killed_who[killer][victim]: how often the killer killed the victim.
extern std::array<std::array<std::int32_t, max_players>, max_players> who_killed_who;

// Round ends ("fraglimit" lines) seen so far.
extern std::int32_t rounds;

// Result of a lookup for a name that has no slot and cannot get one.
inline constexpr int no_slot = -1;

// Empties every table: all slots free (holding "NULL"), all counts 0, no index entries.
void init();

// Returns the slot of the player, or no_slot if the name has none yet; claims nothing.
int lookup_player(std::string_view player);

// Returns the slot of the player, claiming the next free slot for a new name; returns no_slot
// only when the name is new and all slots are taken. A name is stored up to its first zero
// byte and at most max_name_length bytes, and looked up the same way.
int find_player(std::string_view player);

// lookup_player and find_player for a name held in a field as the extractors fill it: up to its
// first zero byte, which the field's last byte is at the latest.
int lookup_name(const name_slot& field);
int find_name(const name_slot& field);

// Number of slots still free.
inline int free_slots() {
    return max_players - player_count;
}
