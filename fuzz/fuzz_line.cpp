// Fuzz target: one line of arbitrary bytes through every extractor and the phrase search on
// every CPU path, and through the dispatch. The first input byte sets the scene: its low seven bits
// are how many players already hold a slot (at most max_players, so full tables are reached), its
// top bit puts the round count at the limit, so a "fraglimit" line stops the run. The rest is the
// line, which the full rules' parser also reads, against their model.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "count/classic_rules.h"
#include "count/full_rules.h"
#include "count/kinds.h"
#include "count/pass.h"
#include "count/phrases.h"
#include "full_reference_model.h"
#include "fuzz_support.h"
#include "plain_phrases.h"
#include "scan/cpu.h"

namespace {

std::string up_to_zero(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

// Every rule of names' cutter on every path agrees with the model's own cut by that rule.
void check_extractors(std::string_view line) {
    for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
        if (!cpu_has(static_cast<cpu_path>(p))) {
            continue;
        }
        for (const cut_rule_info& rule : cut_rule_table) {
            stats_t got = cut_names(rule.id, line, static_cast<cpu_path>(p));
            model_names want = model_extract(rule.name, std::string(line));
            std::string_view cur = checked_name(got.curname);
            std::string_view vic = checked_name(got.vicname);
            std::string_view agg = checked_name(got.aggname);
            if (!rule.two_names) {
                fuzz_check(cur == up_to_zero(want.first), "one-name cutter agrees with the model");
                fuzz_check(vic.empty() && agg.empty(), "one-name cutter sets only curname");
            } else {
                fuzz_check(vic == up_to_zero(want.first), "victim agrees with the model");
                fuzz_check(agg == up_to_zero(want.second), "killer agrees with the model");
                fuzz_check(cur.empty(), "two-name cutter sets no curname");
            }
        }
    }
}

// Every path finds the same phrases as the plain search, reading nothing outside the text, and
// so does the pass's search in a map of spots over the text followed by readable bytes, which
// must not change the result. Those bytes repeat the line, so a phrase cut by the end of the
// text is completed just past it.
void check_phrase_search(std::string_view line) {
    using search = phrase_search<pass_phrases>;
    phrase_set want = plain_find_phrases(line);
    std::unique_ptr<char[]> padded(new char[line.size() + phrase_scan_overread]);
    std::memcpy(padded.get(), line.data(), line.size());
    for (std::size_t i = 0; i < phrase_scan_overread; ++i) {
        padded[line.size() + i] = line.empty() ? 'a' : line[i % line.size()];
    }
    std::string_view padded_line(padded.get(), line.size());
    std::vector<std::uint64_t> spots((line.size() + 63) / 64);
    for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
        if (!cpu_has(static_cast<cpu_path>(p))) {
            continue;
        }
        auto path = static_cast<cpu_path>(p);
        const auto on = search::sweep_for(path);
        fuzz_check(find_phrases(line, path) == want, "each path agrees with the plain search");
        search::map(padded.get(), line.size(), spots.data(), on);
        fuzz_check(search::find_mapped(padded_line, padded.get(), spots.data(), on) == want,
                   "each path's map agrees with the plain search");
    }
}

// New tables holding the scene's players (and its rounds), each also added to the model when
// one is given.
std::unique_ptr<classic_tables> set_scene(std::uint8_t scene, model_run* model) {
    auto tables = std::make_unique<classic_tables>();
    int taken = std::min(scene & 0x7f, max_players);
    for (int p = 0; p < taken; ++p) {
        std::string player = "p" + std::to_string(p);
        fuzz_check(tables->find_player(player) == p, "a scene player gets the next slot");
        if (model != nullptr) {
            model_add_player(*model, player);
        }
    }
    if ((scene & 0x80) != 0) {
        tables->rounds = round_limit;
        if (model != nullptr) {
            model->rounds = round_limit;
        }
    }
    return tables;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // An exactly sized copy, so any read past the line's end is caught by AddressSanitizer.
    std::size_t length = size - 1;
    std::unique_ptr<char[]> bytes(new char[length]);
    std::memcpy(bytes.get(), data + 1, length);
    std::string_view line(bytes.get(), length);

    check_extractors(line);
    check_phrase_search(line);

    // The dispatch on the raw bytes, zero bytes included, keeps the tables sound.
    std::unique_ptr<classic_tables> tables = set_scene(data[0], nullptr);
    examine_line(*tables, line, find_phrases(line));
    check_table_invariants(*tables);

    // On a line's text (which ends at its first zero byte) it does what the model does.
    std::string_view text = line.substr(0, line.find('\0'));
    model_run model;
    tables = set_scene(data[0], &model);
    int players_before = tables->player_count;
    bool went_on = examine_line(*tables, text, find_phrases(text));
    fuzz_check(went_on == model_examine(model, std::string(text)), "same round-limit stop");
    if (!went_on) {
        fuzz_check(tables->player_count == players_before, "a stopping line is not dispatched");
    }
    check_tables_equal(*tables, model);
    check_table_invariants(*tables);

    // The full rules' parser reads any bytes (here exactly sized) as the full rules' model does.
    full_line full = parse_full_line(line);
    full_model_line want = full_model_read(std::string(line));
    fuzz_check((full.kind == full_line_kind::round_end) == want.round_end, "full: same round end");
    fuzz_check((full.kind == full_line_kind::obituary) == (want.message >= 0),
               "full: same obituary");
    if (want.message >= 0) {
        fuzz_check(full.message == static_cast<std::size_t>(want.message) &&
                       full.victim == want.victim && full.killer == want.killer,
                   "full: same message and names");
    }
    return 0;
}
