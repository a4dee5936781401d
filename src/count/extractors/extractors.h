// The thirteen obituary extractors: each cuts the player names out of one kind of obituary
// line. They read only the given text, never past its end, and keep no state.
#pragma once

#include <array>
#include <string_view>

#include "count/game_limits.h"
#include "scan/cpu.h"

// Names cut from one obituary line, each zero-terminated and at most max_name_length bytes.
// A one-name extractor fills curname; a two-name extractor fills vicname and aggname.
struct stats_t {
    std::array<char, name_size> curname{};
    std::array<char, name_size> aggname{};  // the killer
    std::array<char, name_size> vicname{};  // the victim
};

// Each extractor takes the text of a line (up to, not including, its first zero byte; usually
// ending in its line feed) that holds the extractor's trigger phrase, and returns the names, cut
// with the given CPU path's cutter, which the CPU must have.
stats_t lightning(std::string_view readPtr,
                  cpu_path path = cpu_path::portable);  // "was electrocuted by"
stats_t gauntlet(std::string_view readPtr,
                 cpu_path path = cpu_path::portable);                          // "was pummeled by"
stats_t melted(std::string_view readPtr, cpu_path path = cpu_path::portable);  // "melted himself"
stats_t blown(std::string_view readPtr, cpu_path path = cpu_path::portable);   // "blew himself up"
stats_t lava(std::string_view readPtr, cpu_path path = cpu_path::portable);    // "into the lava"
stats_t plasmagun(std::string_view readPtr, cpu_path path = cpu_path::portable);  // "melted by"
stats_t machinegun(std::string_view readPtr,
                   cpu_path path = cpu_path::portable);  // "machinegunned by"
stats_t shotgun(std::string_view readPtr,
                cpu_path path = cpu_path::portable);  // "was gunned down by"
stats_t rocket_hit(std::string_view readPtr,
                   cpu_path path = cpu_path::portable);  // "ate" and "rocket"
stats_t almost_rocketed(std::string_view readPtr,
                        cpu_path path = cpu_path::portable);                     // "almost dodged"
stats_t railed(std::string_view readPtr, cpu_path path = cpu_path::portable);    // "was railed by"
stats_t cratered(std::string_view readPtr, cpu_path path = cpu_path::portable);  // "cratered"
stats_t suicide(std::string_view readPtr,
                cpu_path path = cpu_path::portable);  // "in the wrong place"
