#include "report/report_json.h"

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "report/report.h"
#include "version.h"

namespace {

// Members keep the order in which they are added, so counters come in the rule set's order.
using json = nlohmann::ordered_json;

json counters_of(const counter_values& row, rule_set rules) {
    json counters = json::object();
    for (counter c : counters_of_rules(rules)) {
        auto i = static_cast<std::size_t>(c);
        counters[std::string(counter_names[i])] = row[i];
    }
    return counters;
}

json opponent(const run_results& results, std::size_t q, std::int32_t killed,
              std::int32_t killed_by) {
    return {{"slot", q},
            {"name", text_of_bytes(results.players[q].name)},
            {"kills", killed},
            {"deaths", killed_by}};
}

// The text report's two lists in its order: everyone p killed, then everyone who killed p and
// whom p never killed; only the counts decide, so p himself may be among them.
json opponents_of(const run_results& results, const kill_matrix& killed, std::size_t p) {
    json list = json::array();
    for (std::size_t q = 0; q < results.players.size(); ++q) {
        if (killed.killed(p, q) > 0) {
            list.push_back(opponent(results, q, killed.killed(p, q), killed.killed(q, p)));
        }
    }
    for (std::size_t q = 0; q < results.players.size(); ++q) {
        if (killed.killed(q, p) > 0 && killed.killed(p, q) == 0) {
            list.push_back(opponent(results, q, 0, killed.killed(q, p)));
        }
    }
    return list;
}

// The path is kept as it is when it is UTF-8 already; other bytes are written as names are.
json path_value(std::string_view path) {
    try {
        json value = std::string(path);
        value.dump();
        return value;
    } catch (const json::type_error&) {
        return json(text_of_bytes(path));
    }
}

std::string text_of_path(std::string_view path) {
    return path_value(path).dump();
}

void write_member(std::FILE* out, const char* key, const std::string& value) {
    std::fprintf(out, "  \"%s\": %s,\n", key, value.c_str());
}

// One object per line keeps the document readable and the writer's memory to one object; the
// whole document held as one value would take megabytes for a log of many rounds.
void write_item(std::FILE* out, const char* indent, bool first, const json& item) {
    std::fprintf(out, "%s%s%s", first ? "\n" : ",\n", indent, item.dump().c_str());
}

void write_players(std::FILE* out, const run_results& results) {
    std::fputs("  \"players\": [", out);
    for (std::size_t p = 0; p < results.players.size(); ++p) {
        const player_result& player = results.players[p];
        json item = {{"slot", p},
                     {"name", text_of_bytes(player.name)},
                     {"plain_name", text_of_bytes(plain_name_of(player.name))},
                     {"counters", counters_of(player.counters, results.rules)},
                     {"opponents", opponents_of(results, results.head_to_head, p)}};
        write_item(out, "    ", p == 0, item);
    }
    std::fputs(results.players.empty() ? "],\n" : "\n  ],\n", out);
}

void write_round(std::FILE* out, const run_results& results, const round_result& round,
                 std::size_t number) {
    if (const auto& session = round.session()) {
        json facts = {
            {"session", number},
            {"log", path_value(session->log)},
            {"started", session->started.empty() ? json(nullptr) : json(session->started)},
            {"recorded", session->recorded},
            {"lines", round.last_line()},
            {"round_ends", session->round_ends}};
        std::string head = facts.dump();
        head.pop_back();
        std::fprintf(out, "    %s,\"players\":[", head.c_str());
    } else {
        std::string ended_by =
            round.ended() ? json(text_of_bytes(round.ended_by().who)).dump() : std::string("null");
        std::fprintf(out,
                     "    {\"round\":%llu,\"first_line\":%llu,\"last_line\":%llu,\"ended\":%s,"
                     "\"ended_by\":%s,\"players\":[",
                     static_cast<unsigned long long>(number),
                     static_cast<unsigned long long>(round.first_line()),
                     static_cast<unsigned long long>(round.last_line()),
                     round.ended() ? "true" : "false", ended_by.c_str());
    }
    std::size_t listed = 0;
    for (std::size_t p = 0; p < results.players.size(); ++p) {
        if (!round.counts(p)) {
            continue;
        }
        json player = {{"slot", p},
                       {"counters", counters_of(round.counters_of(p), results.rules)},
                       {"opponents", opponents_of(results, round.kills(), p)}};
        write_item(out, "      ", listed == 0, player);
        ++listed;
    }
    std::fputs(listed == 0 ? "]}" : "\n    ]}", out);
}

}  // namespace

std::string text_of_bytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

std::string plain_name_of(std::string_view player) {
    std::string plain;
    for (std::size_t i = 0; i < player.size(); ++i) {
        if (player[i] == '^' && i + 1 < player.size()) {
            ++i;
        } else {
            plain += player[i];
        }
    }
    return plain;
}

bool write_json(std::FILE* out, const run_results& results) {
    std::fputs("{\n", out);
    write_member(out, "format", json(json_format_name).dump());
    write_member(out, "format_version", std::to_string(json_format_version));
    write_member(out, "program_version", json(program_version).dump());
    write_member(out, "log", text_of_path(results.log));
    write_member(out, "rules", results.rules == rule_set::full ? "\"full\"" : "\"classic\"");
    write_member(out, "lines", std::to_string(results.lines));
    write_member(out, "round_ends", std::to_string(results.round_ends));
    write_member(out, "stopped_at_round_limit", results.stopped_at_round_limit ? "true" : "false");
    write_member(out, "uncounted_obituaries", std::to_string(results.uncounted_obituaries));
    if (results.history) {
        json history = {{"rules", std::string(rule_set_name(results.rules))},
                        {"sessions", results.history->sessions},
                        {"other_rules_left_out", results.history->other_rules_left_out},
                        {"out_of_range_left_out", results.history->out_of_range_left_out}};
        write_member(out, "history", history.dump());
    }
    write_players(out, results);
    std::fputs(results.history ? "  \"sessions\": [" : "  \"rounds\": [", out);
    // The rounds are read once, in order: a history may hand them over as it reads them back.
    std::size_t number = 0;
    for (const round_result& round : results.rounds) {
        std::fputs(number == 0 ? "\n" : ",\n", out);
        write_round(out, results, round, ++number);
    }
    std::fputs(number == 0 ? "]\n}\n" : "\n  ]\n}\n", out);
    return std::ferror(out) == 0;
}
