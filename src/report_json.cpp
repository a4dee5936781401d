#include "report_json.h"

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "report.h"
#include "tables.h"

namespace {

// Members keep the order in which they are added, so counters come in the table's order.
using json = nlohmann::ordered_json;

using counter_row = std::array<std::int32_t, counter_count>;
using kill_matrix = std::array<std::array<std::int32_t, max_players>, max_players>;

std::string_view name_bytes(std::size_t slot) {
    const name_slot& field = name[slot];
    auto end = std::find(field.begin(), field.end(), '\0');
    return {field.data(), static_cast<std::size_t>(end - field.begin())};
}

json counters_of(const counter_row& row) {
    json counters = json::object();
    for (std::size_t i = 0; i < counter_count; ++i) {
        counters[std::string(counter_names[i])] = row[i];
    }
    return counters;
}

json opponent(std::size_t q, std::int32_t killed, std::int32_t killed_by) {
    return {{"slot", q},
            {"name", text_of_bytes(name_bytes(q))},
            {"kills", killed},
            {"deaths", killed_by}};
}

// The text report's two lists in its order: everyone p killed, then everyone who killed p and
// whom p never killed; only the counts decide, so p himself may be among them.
json opponents_of(const kill_matrix& killed, std::size_t p) {
    json list = json::array();
    for (std::size_t q = 0; q < max_players; ++q) {
        if (killed[p][q] > 0) {
            list.push_back(opponent(q, killed[p][q], killed[q][p]));
        }
    }
    for (std::size_t q = 0; q < max_players; ++q) {
        if (killed[q][p] > 0 && killed[p][q] == 0) {
            list.push_back(opponent(q, 0, killed[q][p]));
        }
    }
    return list;
}

bool counted_in(const round_tally& round, std::size_t p) {
    return std::any_of(round.stats[p].begin(), round.stats[p].end(),
                       [](std::int32_t count) { return count != 0; });
}

// The path is kept as it is when it is UTF-8 already; other bytes are written as names are.
std::string text_of_path(std::string_view path) {
    try {
        return json(std::string(path)).dump();
    } catch (const json::type_error&) {
        return json(text_of_bytes(path)).dump();
    }
}

void write_member(std::FILE* out, const char* key, const std::string& value) {
    std::fprintf(out, "  \"%s\": %s,\n", key, value.c_str());
}

// One object per line keeps the document readable and the writer's memory to one object; the
// whole document held as one value would take megabytes for a log of many rounds.
void write_item(std::FILE* out, const char* indent, bool first, const json& item) {
    std::fprintf(out, "%s%s%s", first ? "\n" : ",\n", indent, item.dump().c_str());
}

void write_players(std::FILE* out) {
    std::fputs("  \"players\": [", out);
    for (int p = 0; p < player_count; ++p) {
        auto slot = static_cast<std::size_t>(p);
        std::string_view bytes = name_bytes(slot);
        json player = {{"slot", slot},
                       {"name", text_of_bytes(bytes)},
                       {"plain_name", text_of_bytes(plain_name_of(bytes))},
                       {"counters", counters_of(stats[slot])},
                       {"opponents", opponents_of(who_killed_who, slot)}};
        write_item(out, "    ", p == 0, player);
    }
    std::fputs(player_count == 0 ? "],\n" : "\n  ],\n", out);
}

void write_round(std::FILE* out, int r) {
    const round_tally& round = round_tallies[static_cast<std::size_t>(r)];
    round_span span = span_of_round(r);
    std::fprintf(out,
                 "    {\"round\":%d,\"first_line\":%llu,\"last_line\":%llu,\"ended\":%s,"
                 "\"players\":[",
                 r + 1, static_cast<unsigned long long>(span.first_line),
                 static_cast<unsigned long long>(span.last_line), span.ended ? "true" : "false");
    std::size_t listed = 0;
    for (int p = 0; p < player_count; ++p) {
        auto slot = static_cast<std::size_t>(p);
        if (!counted_in(round, slot)) {
            continue;
        }
        json player = {{"slot", slot},
                       {"counters", counters_of(round.stats[slot])},
                       {"opponents", opponents_of(round.who_killed_who, slot)}};
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

bool write_json(std::FILE* out, const report_source& source) {
    std::fputs("{\n", out);
    write_member(out, "format", json(json_format_name).dump());
    write_member(out, "format_version", std::to_string(json_format_version));
    write_member(out, "program_version", json(program_version).dump());
    write_member(out, "log", text_of_path(source.log));
    write_member(out, "lines", std::to_string(lines_read));
    write_member(out, "round_ends", std::to_string(rounds));
    write_member(out, "stopped_at_round_limit", stopped_at_round_limit ? "true" : "false");
    write_member(out, "uncounted_obituaries", std::to_string(uncounted_obituaries));
    write_players(out);
    std::fputs("  \"rounds\": [", out);
    int count = round_count();
    for (int r = 0; r < count; ++r) {
        std::fputs(r == 0 ? "\n" : ",\n", out);
        write_round(out, r);
    }
    std::fputs(count == 0 ? "]\n}\n" : "\n  ]\n}\n", out);
    return std::ferror(out) == 0;
}
