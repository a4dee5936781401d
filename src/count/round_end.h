// Who ended a round, read from the round-end line: a player, a team, the time limit, or, for a
// line of no form known here, the line itself.
#pragma once

#include <array>
#include <string_view>

// What ended a round, as its round-end line tells.
enum class round_end_kind {
    player,  // "X^7 hit the fraglimit.": `who` is X, colour codes and all
    team,    // "Red hit the fraglimit.", "Blue hit the capturelimit.": `who` is the team
    time,    // "Timelimit hit.": `who` is "time limit"
    line,    // any other line: `who` is the line as kept
};

// Who ended a round; `who` points into the line given or into the table of forms.
struct round_end {
    round_end_kind kind;
    std::string_view who;
};

// The round-end lines of a fixed text, and whom each names.
struct round_end_form {
    std::string_view text;
    round_end_kind kind;
    std::string_view who;
};

inline constexpr auto round_end_forms = std::to_array<round_end_form>({
    {"Red hit the fraglimit.", round_end_kind::team, "Red"},
    {"Blue hit the fraglimit.", round_end_kind::team, "Blue"},
    {"Red hit the capturelimit.", round_end_kind::team, "Red"},
    {"Blue hit the capturelimit.", round_end_kind::team, "Blue"},
    {"Timelimit hit.", round_end_kind::time, "time limit"},
});

// What a player's round-end line holds after the player's name.
inline constexpr std::string_view player_round_end = "^7 hit the fraglimit.";

// Returns who ended a round by the round-end line's text, its line feed dropped or not: one of
// the fixed forms, a player's (a name of at least one byte before player_round_end), or else
// the text itself. The whole text must be the form; nothing may come before or after it.
constexpr round_end round_end_of(std::string_view text) {
    if (text.ends_with('\n')) {
        text.remove_suffix(1);
    }
    for (const round_end_form& form : round_end_forms) {
        if (text == form.text) {
            return {form.kind, form.who};
        }
    }
    if (text.size() > player_round_end.size() && text.ends_with(player_round_end)) {
        return {round_end_kind::player, text.substr(0, text.size() - player_round_end.size())};
    }
    return {round_end_kind::line, text};
}
