#include "reference_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "count/kinds.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t longest_name = 19;
constexpr std::size_t slots = 100;
constexpr int rounds_allowed = 50;

bool has(const std::string& text, std::size_t pos, std::string_view word) {
    return pos <= text.size() && text.size() - pos >= word.size() &&
           text.compare(pos, word.size(), word) == 0;
}

enum class second_end { line_feed_or_three_blanks, line_feed_or_two_blanks, s_p, s_ro, s_roc };

struct member {
    std::string_view cut_rule;  // the rule of names' name in the table
    bool two_names;
    bool blank_before_mark;  // the first name's end mark needs a blank before its word
    std::string_view mark_word;
    std::string_view start;  // '?' is any byte
    second_end end;
};

// The rules of names, one row each: where the first name ends, where the second begins and
// what ends it. Kinds pick one by name.
constexpr auto members = std::to_array<member>({
    {"any_before_wa", false, false, "wa", "", second_end::s_p},
    {"any_before_melt", false, false, "melt", "", second_end::s_p},
    {"any_before_does", false, false, "does", "", second_end::s_p},
    {"any_before_blew", false, false, "blew", "", second_end::s_p},
    {"blank_before_cr", false, true, "cr", "", second_end::s_p},
    {"by_to_line_end", true, true, "wa", "ed by", second_end::line_feed_or_three_blanks},
    {"down_by_to_two_blanks", true, true, "wa", "wn by", second_end::line_feed_or_two_blanks},
    {"by_to_s_p", true, true, "wa", "ed by", second_end::s_p},
    {"dodged_to_s_roc", true, false, "almo", "dged", second_end::s_roc},
    {"pummeled_by_to_line_end", true, false, "was", "d?by", second_end::line_feed_or_three_blanks},
    {"ate_to_s_ro", true, false, "ate", "ate", second_end::s_ro},
});

// The model knows every rule of names of the table, and no other.
const member& member_named(std::string_view cut_rule) {
    const auto* found = std::find_if(members.begin(), members.end(),
                                     [&](const member& m) { return m.cut_rule == cut_rule; });
    if (found == members.end()) {
        std::fprintf(stderr, "the model has no rule of names called %.*s\n",
                     static_cast<int>(cut_rule.size()), cut_rule.data());
        std::abort();
    }
    return *found;
}

constexpr bool members_are_the_rules_of_names() {
    if (members.size() != cut_rule_table.size()) {
        return false;
    }
    for (const cut_rule_info& rule : cut_rule_table) {
        bool known = false;
        for (const member& m : members) {
            known = known || (m.cut_rule == rule.name && m.two_names == rule.two_names);
        }
        if (!known) {
            return false;
        }
    }
    return true;
}
static_assert(members_are_the_rules_of_names(),
              "the model's own rules of names, one per rule of the table, by name");

bool start_at(const std::string& text, std::size_t j, std::string_view start) {
    if (j + start.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < start.size(); ++i) {
        if (start[i] != '?' && start[i] != text[j + i]) {
            return false;
        }
    }
    return true;
}

bool second_ends_at(const std::string& text, std::size_t m, second_end end) {
    switch (end) {
        case second_end::line_feed_or_three_blanks:
            return text[m] == '\n' || has(text, m, "   ");
        case second_end::line_feed_or_two_blanks:
            return text[m] == '\n' || has(text, m, "  ");
        case second_end::s_p:
            return has(text, m + 1, "s p");
        case second_end::s_ro:
            return has(text, m + 1, "s") && has(text, m + 3, "ro");
        case second_end::s_roc:
            return has(text, m + 1, "s") && has(text, m + 3, "roc");
    }
    return false;
}

int slot_of(const model_run& run, const std::string& player) {
    for (std::size_t i = 0; i < run.names.size(); ++i) {
        if (run.names[i] == player) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int claim(model_run& run, const std::string& player) {
    int slot = slot_of(run, player);
    if (slot < 0) {
        model_add_player(run, player);
        slot = static_cast<int>(run.names.size()) - 1;
    }
    return slot;
}

void bump(model_run& run, int slot, counter c) {
    ++run.stats[static_cast<std::size_t>(slot)][static_cast<std::size_t>(c)];
}

}  // namespace

model_names model_extract(std::string_view cut_rule, const std::string& text) {
    const member& m = member_named(cut_rule);
    model_names names;

    std::size_t first_end = text.size();
    for (std::size_t k = 1; k < text.size(); ++k) {
        if (has(text, k + 1, m.mark_word) && (!m.blank_before_mark || text[k] == ' ')) {
            first_end = k;
            break;
        }
    }
    names.first = text.substr(0, std::min(first_end, longest_name));
    if (!m.two_names) {
        return names;
    }

    std::size_t j = 0;
    while (j < text.size() && !start_at(text, j, m.start)) {
        ++j;
    }
    std::size_t s = j + m.start.size() + 1;
    if (j == text.size() || s >= text.size()) {
        return names;  // no start pattern, or the text ends before the name would begin
    }
    std::size_t f = text.size();
    for (std::size_t pos = s + 1; pos < text.size(); ++pos) {
        if (second_ends_at(text, pos, m.end)) {
            f = pos;
            break;
        }
    }
    names.second = text.substr(s, std::min(f - s, longest_name));
    return names;
}

model_run::model_run() : killed(slots, std::vector<std::int32_t>(slots, 0)) {}

void model_add_player(model_run& run, const std::string& player) {
    run.names.push_back(player);
    run.stats.push_back({});
}

bool model_examine(model_run& run, const std::string& text) {
    if (text.find("fraglimit") != std::string::npos) {
        ++run.rounds;
        if (run.rounds > rounds_allowed) {
            return false;
        }
    }
    for (const obituary_kind& kind : obituary_kinds) {
        if (text.find(kind.phrase) == std::string::npos ||
            (!kind.also.empty() && text.find(kind.also) == std::string::npos)) {
            continue;
        }
        std::string_view rule = info_of(kind.cut).name;
        model_names names = model_extract(rule, text);
        const member& m = member_named(rule);
        std::size_t free = slots - run.names.size();
        if (!m.two_names) {
            if (slot_of(run, names.first) < 0 && free == 0) {
                ++run.uncounted;
                continue;
            }
            bump(run, claim(run, names.first), kind.victim);
            continue;
        }
        std::size_t needed = 0;
        if (slot_of(run, names.first) < 0) {
            ++needed;
        }
        if (names.second != names.first && slot_of(run, names.second) < 0) {
            ++needed;
        }
        if (needed > free) {
            ++run.uncounted;
            continue;
        }
        int victim = claim(run, names.first);
        bump(run, victim, deaths);
        bump(run, victim, kind.victim);
        int killer = claim(run, names.second);
        bump(run, killer, kills);
        bump(run, killer, kind.killer);
        ++run.killed[static_cast<std::size_t>(killer)][static_cast<std::size_t>(victim)];
    }
    return true;
}

void model_pass(model_run& run, std::string_view log) {
    for (const std::string& text : text_mode_lines(log)) {
        if (!model_examine(run, text)) {
            run.stopped = true;
            return;
        }
        ++run.lines;
    }
}
