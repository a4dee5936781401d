#include "full_reference_model.h"

#include <algorithm>
#include <limits>

#include "count/full_rules.h"
#include "count/game_limits.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t most_name_bytes = 63;

std::vector<std::vector<std::int32_t>> square() {
    return std::vector<std::vector<std::int32_t>>(max_players,
                                                  std::vector<std::int32_t>(max_players, 0));
}

void add_one(std::int32_t& n) {
    if (n != std::numeric_limits<std::int32_t>::max()) {
        n += 1;
    }
}

int slot_of(const full_model_run& run, const std::string& player) {
    for (std::size_t p = 0; p < run.names.size(); ++p) {
        if (run.names[p] == player) {
            return static_cast<int>(p);
        }
    }
    return -1;
}

}  // namespace

full_model_line full_model_read(const std::string& text) {
    full_model_line line;
    const std::vector<std::string> exact_ends = {
        "Red hit the fraglimit.",    "Blue hit the fraglimit.",    "Timelimit hit.",
        "Red hit the capturelimit.", "Blue hit the capturelimit.",
    };
    for (const std::string& end : exact_ends) {
        if (text == end) {
            line.round_end = true;
            return line;
        }
    }
    // Every candidate victim, shortest first: the text before a "^7 " at byte 1 to 63.
    for (std::size_t v = 1; v <= most_name_bytes && v + 3 <= text.size(); ++v) {
        if (text.substr(v, 3) != "^7 ") {
            continue;
        }
        std::string victim = text.substr(0, v);
        if (text == victim + "^7 hit the fraglimit.") {
            line.round_end = true;
            return line;
        }
        for (std::size_t m = 0; m < full_messages.size(); ++m) {
            const full_message& message = full_messages[m];
            std::string head = victim + "^7 " + std::string(message.text);
            if (!message.two_names) {
                if (text == head + ".") {
                    line.message = static_cast<int>(m);
                    line.victim = victim;
                    return line;
                }
                continue;
            }
            // Every killer length: the line must be head, a blank, the killer, "^7", suffix.
            for (std::size_t k = 1; k <= most_name_bytes; ++k) {
                std::size_t size = head.size() + 1 + k + 2 + message.suffix.size();
                if (size != text.size()) {
                    continue;
                }
                std::string killer = text.substr(head.size() + 1, k);
                if (text == head + " " + killer + "^7" + std::string(message.suffix)) {
                    line.message = static_cast<int>(m);
                    line.victim = victim;
                    line.killer = killer;
                    return line;
                }
            }
        }
    }
    return line;
}

full_model_run full_model_pass(std::string_view log) {
    full_model_run run;
    run.killed = square();
    full_model_round round;
    round.first_line = 1;
    round.killed = square();

    for (std::string text : text_mode_lines(log)) {
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        ++run.lines;
        full_model_line line = full_model_read(text);
        if (line.round_end) {
            ++run.round_ends;
            round.last_line = run.lines;
            round.ended = true;
            round.stats.resize(run.names.size());
            run.rounds.push_back(round);
            round = full_model_round{};
            round.first_line = run.lines + 1;
            round.killed = square();
            continue;
        }
        if (line.message < 0) {
            continue;
        }
        const full_message& message = full_messages[static_cast<std::size_t>(line.message)];
        // The names new to the table, the victim's first; both or none are claimed.
        std::vector<std::string> fresh;
        if (slot_of(run, line.victim) < 0) {
            fresh.push_back(line.victim);
        }
        if (message.two_names && slot_of(run, line.killer) < 0 &&
            std::find(fresh.begin(), fresh.end(), line.killer) == fresh.end()) {
            fresh.push_back(line.killer);
        }
        if (run.names.size() + fresh.size() > static_cast<std::size_t>(max_players)) {
            ++run.uncounted;
            continue;
        }
        for (const std::string& player : fresh) {
            run.names.push_back(player);
            run.stats.emplace_back();
        }
        round.stats.resize(run.names.size());
        auto bump = [&](int p, counter c) {
            add_one(run.stats[static_cast<std::size_t>(p)][static_cast<std::size_t>(c)]);
            add_one(round.stats[static_cast<std::size_t>(p)][static_cast<std::size_t>(c)]);
        };
        int victim = slot_of(run, line.victim);
        if (!message.two_names) {
            bump(victim, suicides);
            bump(victim, message.victim);
            continue;
        }
        int killer = slot_of(run, line.killer);
        bump(killer, kills);
        bump(killer, message.killer);
        bump(victim, deaths);
        bump(victim, message.victim);
        add_one(run.killed[static_cast<std::size_t>(killer)][static_cast<std::size_t>(victim)]);
        add_one(round.killed[static_cast<std::size_t>(killer)][static_cast<std::size_t>(victim)]);
    }
    // The lines after the last round end, if any, make one more round.
    if (run.lines >= round.first_line) {
        round.last_line = run.lines;
        round.stats.resize(run.names.size());
        run.rounds.push_back(round);
    }
    return run;
}
