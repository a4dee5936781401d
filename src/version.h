// The program's own facts: its version, licence and where its makers are reached.
#pragma once

// The program's version, as the report and --version show it; CMakeLists.txt reads it from here
// for the packages, so it is the only place to change it.
inline constexpr const char* program_version = "0.23b";

// The licence in one line, as the report and --version show it.
inline constexpr const char* licence_notice =
    "Free software under the MIT licence, with no warranty.";

// Where users reach the program's makers; printed in the report and the round-limit notice.
inline constexpr const char* contact_email = "fragtally@example.org";
inline constexpr const char* web_page = "https://fragtally.example.org/";
