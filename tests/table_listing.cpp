// Writes the program's table of counters (with each rule set's list) and table of kinds as one JSON
// document to standard output, for the scripts and tests that keep lists of their own to be checked
// against.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "count/counters.h"
#include "count/kinds.h"

namespace {

const char* group_name(counter_group group) {
    switch (group) {
        case counter_group::total:
            return "total";
        case counter_group::kill:
            return "kill";
        case counter_group::death:
            return "death";
        case counter_group::suicide:
            return "suicide";
    }
    return "";
}

std::string name_of(counter c) {
    return std::string(counter_names[static_cast<std::size_t>(c)]);
}

}  // namespace

int main() {
    using json = nlohmann::ordered_json;
    json counters = json::array();
    for (const counter_info& info : counter_table) {
        counters.push_back({{"id", static_cast<int>(info.id)},
                            {"name", std::string(info.name)},
                            {"label", std::string(info.label)},
                            {"group", group_name(info.group)},
                            {"text_report", info.in_text_report},
                            {"classic", (info.rules & classic_only) != 0},
                            {"full", (info.rules & full_only) != 0},
                            {"caption", std::string(info.caption)},
                            {"family", std::string(info.family)}});
    }
    json classic = json::array();
    for (counter c : classic_counters) {
        classic.push_back(name_of(c));
    }
    json full = json::array();
    for (counter c : full_counters) {
        full.push_back(name_of(c));
    }
    json kinds = json::array();
    for (const obituary_kind& kind : obituary_kinds) {
        json phrases = json::array({std::string(kind.phrase)});
        if (!kind.also.empty()) {
            phrases.push_back(std::string(kind.also));
        }
        kinds.push_back(
            {{"name", std::string(kind.name)},
             {"cut_rule", std::string(info_of(kind.cut).name)},
             {"phrases", phrases},
             {"victim", name_of(kind.victim)},
             {"killer", kind.two_names() ? json(name_of(kind.killer)) : json(nullptr)}});
    }
    json rules = json::array();
    for (const cut_rule_info& rule : cut_rule_table) {
        rules.push_back({{"name", std::string(rule.name)}, {"two_names", rule.two_names}});
    }
    std::string text = json{{"counters", counters},
                            {"classic_counters", classic},
                            {"full_counters", full},
                            {"cut_rules", rules},
                            {"kinds", kinds}}
                           .dump(2) +
                       "\n";
    return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}
