// The counters of a player's row of statistics, in one table: each one's id, name, label, group,
// whether the text report shows it, its caption in plain words and the weapon it belongs to. The
// counter count, the names, the reports' rows and the listing the tests check the scripts against
// all follow this table.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

// The rules a run counts by: the classic rules' thirteen kinds of line, or every obituary the
// game prints with the names exactly as it writes them.
enum class rule_set { classic, full };

// The name a rule set is given by on the command line, stored and shown by: "classic" or "full".
constexpr std::string_view rule_set_name(rule_set rules) {
    return rules == rule_set::full ? "full" : "classic";
}

// Index of each counter within a player's row, which is also the order of the JSON report's
// classic counters. A new counter needs a row in counter_table and goes just before suicides
// when the classic rules count it, else just before counter_end.
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
    // The full rules' own counters (gauntlet_kills, gauntlet_deaths, lava_suicides, kills and
    // deaths they share with the classic rules).
    suicides,
    machinegun_kills,
    shotgun_kills,
    grenade_kills,
    grenade_splash_kills,
    rocket_kills,
    rocket_splash_kills,
    plasmagun_kills,
    railgun_kills,
    lightning_kills,
    bfg_kills,
    telefrag_kills,
    grapple_kills,
    other_kills,
    nailgun_kills,
    chaingun_kills,
    prox_mine_kills,
    kamikaze_kills,
    juiced_kills,
    machinegun_deaths,
    shotgun_deaths,
    grenade_deaths,
    grenade_splash_deaths,
    rocket_deaths,
    rocket_splash_deaths,
    plasmagun_deaths,
    railgun_deaths,
    lightning_deaths,
    bfg_deaths,
    telefrag_deaths,
    grapple_deaths,
    other_deaths,
    nailgun_deaths,
    chaingun_deaths,
    prox_mine_deaths,
    kamikaze_deaths,
    juiced_deaths,
    command_suicides,
    falling_suicides,
    crushed_suicides,
    drowned_suicides,
    slime_suicides,
    laser_suicides,
    hurt_suicides,
    own_grenade_suicides,
    own_rocket_suicides,
    own_plasma_suicides,
    own_bfg_suicides,
    own_prox_suicides,
    own_kamikaze_suicides,
    self_suicides,
    died_suicides,
    counter_end,  // not a counter: the number of them
};

// The classic rules' counters are the first ones of the enumeration, up to the full rules' own;
// their tables hold these.
inline constexpr int classic_counter_count = suicides;

// What a counter counts: all of a player's kills, deaths or suicides (the totals), kills or
// deaths by one weapon, or deaths without a killer by one cause.
enum class counter_group { total, kill, death, suicide };

// The rule sets that use a counter, as bits.
enum rule_bits : unsigned { classic_only = 1, full_only = 2, both_rules = 3 };

// Returns the bit of a rule set.
constexpr unsigned bit_of(rule_set rules) {
    return rules == rule_set::classic ? classic_only : full_only;
}

// One counter. A weapon's kill and death counters share its label, which pairs them.
struct counter_info {
    counter id;
    std::string_view name;   // the JSON report's key; snake case, unique
    std::string_view label;  // as the classic reports print it
    counter_group group;
    bool in_text_report;  // the text report keeps the classic layout, so a new counter may stay out
    unsigned rules;       // the rule sets that count it (rule_bits)
    std::string_view caption;  // in plain words, as the page and the full rules' reports print it
    std::string_view family;   // a weapon as players name it (its kill and death counters and
                               // other ways of killing with it share one); else the caption
};

// Every counter, in the order the reports list them.
// Every counter, in the order the reports list them; each rule set's counters keep this order
// among themselves.
inline constexpr auto counter_table = std::to_array<counter_info>({
    {kills, "kills", "Kills", counter_group::total, true, both_rules, "Kills", "Kills"},
    {deaths, "deaths", "Deaths", counter_group::total, true, both_rules, "Deaths", "Deaths"},
    {suicides, "suicides", "Suicides", counter_group::total, true, full_only, "Suicides",
     "Suicides"},
    {gauntlet_kills, "gauntlet_kills", "Gauntlet", counter_group::kill, true, both_rules,
     "Gauntlet", "Gauntlet"},
    {gauntlet_deaths, "gauntlet_deaths", "Gauntlet", counter_group::death, true, both_rules,
     "Gauntlet", "Gauntlet"},
    {mg_kills, "mg_kills", "Machinegun", counter_group::kill, true, classic_only, "Machine gun",
     "Machine gun"},
    {mg_deaths, "mg_deaths", "Machinegun", counter_group::death, true, classic_only, "Machine gun",
     "Machine gun"},
    {sg_kills, "sg_kills", "Shotgun", counter_group::kill, true, classic_only, "Shotgun",
     "Shotgun"},
    {sg_deaths, "sg_deaths", "Shotgun", counter_group::death, true, classic_only, "Shotgun",
     "Shotgun"},
    {rl_direct_kills, "rl_direct_kills", "Direct hits RL", counter_group::kill, true, classic_only,
     "Rocket (direct hit)", "Rocket launcher"},
    {rl_direct_deaths, "rl_direct_deaths", "Direct hits RL", counter_group::death, true,
     classic_only, "Rocket (direct hit)", "Rocket launcher"},
    {rl_close_kills, "rl_close_kills", "Close hits RL", counter_group::kill, true, classic_only,
     "Rocket (splash)", "Rocket launcher"},
    {rl_close_deaths, "rl_close_deaths", "Close hits RL", counter_group::death, true, classic_only,
     "Rocket (splash)", "Rocket launcher"},
    {rail_kills, "rail_kills", "Railgun", counter_group::kill, true, classic_only, "Railgun",
     "Railgun"},
    {rail_deaths, "rail_deaths", "Railgun", counter_group::death, true, classic_only, "Railgun",
     "Railgun"},
    {pg_kills, "pg_kills", "Plasma Gun", counter_group::kill, true, classic_only, "Plasma gun",
     "Plasma gun"},
    {pg_deaths, "pg_deaths", "Plasma Gun", counter_group::death, true, classic_only, "Plasma gun",
     "Plasma gun"},
    {lg_kills, "lg_kills", "Lightning Gun", counter_group::kill, true, classic_only,
     "Lightning gun", "Lightning gun"},
    {lg_deaths, "lg_deaths", "Lightning Gun", counter_group::death, true, classic_only,
     "Lightning gun", "Lightning gun"},
    {machinegun_kills, "machinegun_kills", "Machinegun", counter_group::kill, false, full_only,
     "Machinegun", "Machinegun"},
    {machinegun_deaths, "machinegun_deaths", "Machinegun", counter_group::death, false, full_only,
     "Machinegun", "Machinegun"},
    {shotgun_kills, "shotgun_kills", "Shotgun", counter_group::kill, false, full_only, "Shotgun",
     "Shotgun"},
    {shotgun_deaths, "shotgun_deaths", "Shotgun", counter_group::death, false, full_only, "Shotgun",
     "Shotgun"},
    {grenade_kills, "grenade_kills", "Grenade (direct hit)", counter_group::kill, false, full_only,
     "Grenade (direct hit)", "Grenade launcher"},
    {grenade_deaths, "grenade_deaths", "Grenade (direct hit)", counter_group::death, false,
     full_only, "Grenade (direct hit)", "Grenade launcher"},
    {grenade_splash_kills, "grenade_splash_kills", "Grenade (splash)", counter_group::kill, false,
     full_only, "Grenade (splash)", "Grenade launcher"},
    {grenade_splash_deaths, "grenade_splash_deaths", "Grenade (splash)", counter_group::death,
     false, full_only, "Grenade (splash)", "Grenade launcher"},
    {rocket_kills, "rocket_kills", "Rocket (direct hit)", counter_group::kill, false, full_only,
     "Rocket (direct hit)", "Rocket launcher"},
    {rocket_deaths, "rocket_deaths", "Rocket (direct hit)", counter_group::death, false, full_only,
     "Rocket (direct hit)", "Rocket launcher"},
    {rocket_splash_kills, "rocket_splash_kills", "Rocket (splash)", counter_group::kill, false,
     full_only, "Rocket (splash)", "Rocket launcher"},
    {rocket_splash_deaths, "rocket_splash_deaths", "Rocket (splash)", counter_group::death, false,
     full_only, "Rocket (splash)", "Rocket launcher"},
    {plasmagun_kills, "plasmagun_kills", "Plasma gun", counter_group::kill, false, full_only,
     "Plasma gun", "Plasma gun"},
    {plasmagun_deaths, "plasmagun_deaths", "Plasma gun", counter_group::death, false, full_only,
     "Plasma gun", "Plasma gun"},
    {railgun_kills, "railgun_kills", "Railgun", counter_group::kill, false, full_only, "Railgun",
     "Railgun"},
    {railgun_deaths, "railgun_deaths", "Railgun", counter_group::death, false, full_only, "Railgun",
     "Railgun"},
    {lightning_kills, "lightning_kills", "Lightning gun", counter_group::kill, false, full_only,
     "Lightning gun", "Lightning gun"},
    {lightning_deaths, "lightning_deaths", "Lightning gun", counter_group::death, false, full_only,
     "Lightning gun", "Lightning gun"},
    {bfg_kills, "bfg_kills", "BFG", counter_group::kill, false, full_only, "BFG", "BFG"},
    {bfg_deaths, "bfg_deaths", "BFG", counter_group::death, false, full_only, "BFG", "BFG"},
    {telefrag_kills, "telefrag_kills", "Telefrag", counter_group::kill, false, full_only,
     "Telefrag", "Telefrag"},
    {telefrag_deaths, "telefrag_deaths", "Telefrag", counter_group::death, false, full_only,
     "Telefrag", "Telefrag"},
    {grapple_kills, "grapple_kills", "Grappling hook", counter_group::kill, false, full_only,
     "Grappling hook", "Grappling hook"},
    {grapple_deaths, "grapple_deaths", "Grappling hook", counter_group::death, false, full_only,
     "Grappling hook", "Grappling hook"},
    {other_kills, "other_kills", "Other", counter_group::kill, false, full_only, "Other", "Other"},
    {other_deaths, "other_deaths", "Other", counter_group::death, false, full_only, "Other",
     "Other"},
    {nailgun_kills, "nailgun_kills", "Nailgun", counter_group::kill, false, full_only, "Nailgun",
     "Nailgun"},
    {nailgun_deaths, "nailgun_deaths", "Nailgun", counter_group::death, false, full_only, "Nailgun",
     "Nailgun"},
    {chaingun_kills, "chaingun_kills", "Chaingun", counter_group::kill, false, full_only,
     "Chaingun", "Chaingun"},
    {chaingun_deaths, "chaingun_deaths", "Chaingun", counter_group::death, false, full_only,
     "Chaingun", "Chaingun"},
    {prox_mine_kills, "prox_mine_kills", "Proximity mine", counter_group::kill, false, full_only,
     "Proximity mine", "Proximity mine"},
    {prox_mine_deaths, "prox_mine_deaths", "Proximity mine", counter_group::death, false, full_only,
     "Proximity mine", "Proximity mine"},
    {kamikaze_kills, "kamikaze_kills", "Kamikaze", counter_group::kill, false, full_only,
     "Kamikaze", "Kamikaze"},
    {kamikaze_deaths, "kamikaze_deaths", "Kamikaze", counter_group::death, false, full_only,
     "Kamikaze", "Kamikaze"},
    {juiced_kills, "juiced_kills", "Juiced", counter_group::kill, false, full_only, "Juiced",
     "Juiced"},
    {juiced_deaths, "juiced_deaths", "Juiced", counter_group::death, false, full_only, "Juiced",
     "Juiced"},
    {rocket_suicides, "rocket_suicides", "rocket", counter_group::suicide, true, classic_only,
     "Own rocket", "Own rocket"},
    {plasma_suicides, "plasma_suicides", "plasmagun", counter_group::suicide, true, classic_only,
     "Own plasma", "Own plasma"},
    {void_suicides, "void_suicides", "void", counter_group::suicide, true, classic_only,
     "Killed by the world", "Killed by the world"},
    {crater_suicides, "crater_suicides", "jumping", counter_group::suicide, true, classic_only,
     "Fell to death", "Fell to death"},
    {command_suicides, "command_suicides", "/kill command", counter_group::suicide, false,
     full_only, "/kill command", "/kill command"},
    {falling_suicides, "falling_suicides", "Fell to death", counter_group::suicide, false,
     full_only, "Fell to death", "Fell to death"},
    {crushed_suicides, "crushed_suicides", "Crushed", counter_group::suicide, false, full_only,
     "Crushed", "Crushed"},
    {drowned_suicides, "drowned_suicides", "Drowned", counter_group::suicide, false, full_only,
     "Drowned", "Drowned"},
    {slime_suicides, "slime_suicides", "Slime", counter_group::suicide, false, full_only, "Slime",
     "Slime"},
    {lava_suicides, "lava_suicides", "lava", counter_group::suicide, true, both_rules, "Lava",
     "Lava"},
    {laser_suicides, "laser_suicides", "Laser", counter_group::suicide, false, full_only, "Laser",
     "Laser"},
    {hurt_suicides, "hurt_suicides", "Wrong place", counter_group::suicide, false, full_only,
     "Wrong place", "Wrong place"},
    {own_grenade_suicides, "own_grenade_suicides", "Own grenade", counter_group::suicide, false,
     full_only, "Own grenade", "Own grenade"},
    {own_rocket_suicides, "own_rocket_suicides", "Own rocket", counter_group::suicide, false,
     full_only, "Own rocket", "Own rocket"},
    {own_plasma_suicides, "own_plasma_suicides", "Own plasma", counter_group::suicide, false,
     full_only, "Own plasma", "Own plasma"},
    {own_bfg_suicides, "own_bfg_suicides", "Own BFG", counter_group::suicide, false, full_only,
     "Own BFG", "Own BFG"},
    {own_prox_suicides, "own_prox_suicides", "Own prox mine", counter_group::suicide, false,
     full_only, "Own prox mine", "Own prox mine"},
    {own_kamikaze_suicides, "own_kamikaze_suicides", "Own kamikaze", counter_group::suicide, false,
     full_only, "Own kamikaze", "Own kamikaze"},
    {self_suicides, "self_suicides", "Killed self", counter_group::suicide, false, full_only,
     "Killed self", "Killed self"},
    {died_suicides, "died_suicides", "Died", counter_group::suicide, false, full_only, "Died",
     "Died"},
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
        if (name.empty() || counter_table[i].label.empty() || counter_table[i].caption.empty() ||
            counter_table[i].family.empty()) {
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

// The number of rows of the other weapon group with the row's label, caption, family and
// text-report flag.
constexpr int partners_of(const counter_info& row) {
    counter_group other =
        row.group == counter_group::kill ? counter_group::death : counter_group::kill;
    int found = 0;
    for (const counter_info& info : counter_table) {
        found += info.group == other && info.label == row.label && info.caption == row.caption &&
                         info.family == row.family && info.in_text_report == row.in_text_report &&
                         info.rules == row.rules
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

// The text report's first line of a block is "Kills/Deaths": the totals are these two, and the
// full rules' suicides.
constexpr bool totals_are_kills_and_deaths() {
    int totals = 0;
    for (const counter_info& info : counter_table) {
        if (info.group == counter_group::total) {
            ++totals;
            bool shared = (info.id == kills || info.id == deaths) && info.rules == both_rules;
            bool full = info.id == suicides && info.rules == full_only;
            if (!(shared || full) || !info.in_text_report) {
                return false;
            }
        }
    }
    return totals == 3;
}

// The classic tables hold the first classic_counter_count counters: exactly the classic ones.
constexpr bool classic_counters_come_first() {
    for (const counter_info& info : counter_table) {
        bool classic = (info.rules & classic_only) != 0;
        if (classic != (info.id < classic_counter_count)) {
            return false;
        }
    }
    return true;
}

constexpr std::size_t count_of_rules(rule_set rules) {
    std::size_t n = 0;
    for (const counter_info& info : counter_table) {
        n += (info.rules & bit_of(rules)) != 0 ? 1u : 0u;
    }
    return n;
}

// A rule set's counters in the JSON report's order: the classic ones by id, as always; the full
// rules' grouped: the totals, the weapons' kills, their deaths, then the causes of suicide.
template <rule_set rules>
constexpr auto in_report_order() {
    std::array<counter, count_of_rules(rules)> order{};
    std::size_t n = 0;
    if constexpr (rules == rule_set::classic) {
        for (int id = 0; id < counter_end; ++id) {
            for (const counter_info& info : counter_table) {
                if (info.id == id && (info.rules & classic_only) != 0) {
                    order[n++] = info.id;
                }
            }
        }
    } else {
        for (counter_group group : {counter_group::total, counter_group::kill, counter_group::death,
                                    counter_group::suicide}) {
            for (const counter_info& info : counter_table) {
                if (info.group == group && (info.rules & full_only) != 0) {
                    order[n++] = info.id;
                }
            }
        }
    }
    return order;
}

}  // namespace counter_checks

static_assert(counter_count == counter_end, "every counter of the enumeration needs a row");
static_assert(counter_checks::each_counter_has_one_row(), "one row per counter");
static_assert(counter_checks::names_are_unique_snake_case(),
              "every counter needs a label, a caption, a family and a unique name of a-z, 0-9 "
              "and _");
static_assert(counter_checks::weapons_come_in_pairs(),
              "each weapon has one kill and one death counter under one label, caption, family, "
              "text flag and rule sets");
static_assert(counter_checks::totals_are_kills_and_deaths(),
              "the totals are kills and deaths, and the full rules' suicides");
static_assert(counter_checks::classic_counters_come_first(),
              "the classic counters are the first of the enumeration");

// The counters' names, indexed by the counter enumeration; reports name the counters by them.
inline constexpr std::array<std::string_view, counter_count> counter_names = [] {
    std::array<std::string_view, counter_count> names{};
    for (const counter_info& info : counter_table) {
        names[static_cast<std::size_t>(info.id)] = info.name;
    }
    return names;
}();

// Each rule set's counters, in the JSON report's order.
inline constexpr auto classic_counters = counter_checks::in_report_order<rule_set::classic>();
inline constexpr auto full_counters = counter_checks::in_report_order<rule_set::full>();
static_assert(classic_counters.size() == classic_counter_count);
static_assert(full_counters.size() == 3 + 19 + 19 + 16,
              "kills, deaths, suicides, 19 weapons' kills and deaths, 16 causes");

// The counters of a rule set, in the JSON report's order.
constexpr std::span<const counter> counters_of_rules(rule_set rules) {
    return rules == rule_set::classic ? std::span<const counter>(classic_counters)
                                      : std::span<const counter>(full_counters);
}
