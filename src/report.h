// The report qconsole.txt: a fixed header, then one block per player in slot order.
#pragma once

// The program's version, as every report names it.
inline constexpr const char* program_version = "0.23b";

// Where users reach the program's makers; printed in the report and the round-limit notice.
inline constexpr const char* contact_email = "fragtally@example.org";
inline constexpr const char* web_page = "https://fragtally.example.org/";

// Writes qconsole.txt in the current folder from the player tables. The report is written to
// a temporary file beside it and renamed over qconsole.txt only when complete, so a failure
// leaves any earlier report as it was. Returns false after reporting a failure on stderr.
bool write_txt();
