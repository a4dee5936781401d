#include "tables.h"

#include <algorithm>
#include <cstring>

std::array<name_slot, max_players> name;
int player_count = 0;
std::array<std::array<std::int32_t, counter_count>, max_players> stats;
std::array<std::array<std::int32_t, max_players>, max_players> who_killed_who;
std::int32_t rounds = 0;

namespace {

// An open-addressing index from name to slot in front of the slot table, so a lookup does
// not compare against every player; slot order stays the order of first appearance.
constexpr std::size_t index_size = 256;  // a power of two, well above max_players
static_assert(index_size >= std::size_t{2} * max_players && (index_size & (index_size - 1)) == 0);
std::array<std::int16_t, index_size> slot_index;  // -1 marks an empty entry

std::size_t name_hash(std::string_view player) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (char c : player) {
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return h;
}

// Whether the slot holds exactly the player's name: its bytes, then the terminating zero.
bool holds(int slot, std::string_view player) {
    const name_slot& text = name[static_cast<std::size_t>(slot)];
    return std::equal(player.begin(), player.end(), text.begin()) && text[player.size()] == '\0';
}

// Returns the index entry that holds the player's slot, or the empty entry where it would go.
std::size_t probe(std::string_view player) {
    std::size_t i = name_hash(player) & (index_size - 1);
    while (slot_index[i] >= 0 && !holds(slot_index[i], player)) {
        i = (i + 1) & (index_size - 1);
    }
    return i;
}

}  // namespace

void init() {
    for (auto& slot : name) {
        slot.fill('\0');
        std::memcpy(slot.data(), "NULL", 4);
    }
    for (auto& row : stats) {
        row.fill(0);
    }
    for (auto& row : who_killed_who) {
        row.fill(0);
    }
    slot_index.fill(-1);
    player_count = 0;
    rounds = 0;
}

namespace {

// A slot holds a zero-terminated name, so a name ends at its first zero byte.
std::string_view as_stored(std::string_view player) {
    std::size_t size = std::min(player.size(), max_name_length);
    for (std::size_t i = 0; i < size; ++i) {
        if (player[i] == '\0') {
            return player.substr(0, i);
        }
    }
    return player.substr(0, size);
}

}  // namespace

int lookup_player(std::string_view player) {
    player = as_stored(player);
    return slot_index[probe(player)];
}

int find_player(std::string_view player) {
    player = as_stored(player);
    std::size_t entry = probe(player);
    if (slot_index[entry] >= 0) {
        return slot_index[entry];
    }
    if (player_count == max_players) {
        return no_slot;
    }
    int slot = player_count++;
    name_slot& text = name[static_cast<std::size_t>(slot)];
    text.fill('\0');
    std::copy(player.begin(), player.end(), text.begin());
    slot_index[entry] = static_cast<std::int16_t>(slot);
    return slot;
}
