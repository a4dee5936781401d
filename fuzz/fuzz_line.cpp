// Fuzz target: one line of arbitrary bytes through every extractor, every phrase scanner and the
// dispatch. The first input byte sets the scene: its low seven bits are how many players
// already hold a slot (at most max_players, so full tables are reached), its top bit puts the
// round count at the limit, so a "fraglimit" line stops the run. The rest is the line.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "parselog.h"
#include "phrases.h"
#include "plain_phrases.h"

namespace {

// In the order of model_extractor_names.
constexpr std::array<stats_t (*)(std::string_view), 13> extractors = {
    suicide, melted,     lava,      blown,           cratered, railed,    lightning,
    shotgun, machinegun, plasmagun, almost_rocketed, gauntlet, rocket_hit};

std::string up_to_zero(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

void check_extractors(std::string_view line) {
    for (std::size_t i = 0; i < extractors.size(); ++i) {
        stats_t got = extractors[i](line);
        model_names want = model_extract(model_extractor_names[i], std::string(line));
        std::string_view cur = checked_name(got.curname);
        std::string_view vic = checked_name(got.vicname);
        std::string_view agg = checked_name(got.aggname);
        if (i < 5) {  // the first five are the one-name extractors
            fuzz_check(cur == up_to_zero(want.first), "one-name extractor agrees with the model");
            fuzz_check(vic.empty() && agg.empty(), "one-name extractor sets only curname");
        } else {
            fuzz_check(vic == up_to_zero(want.first), "victim agrees with the model");
            fuzz_check(agg == up_to_zero(want.second), "killer agrees with the model");
            fuzz_check(cur.empty(), "two-name extractor sets no curname");
        }
    }
}

// Every scanner finds the same phrases as the plain search, reading nothing outside the text,
// and so does the pass's way: a map of spots over the text followed by readable bytes, which
// must not change the result. Those bytes repeat the line, so a phrase cut by the end of the
// text is completed just past it.
void check_phrase_scanners(std::string_view line) {
    phrase_set want = plain_find_phrases(line);
    fuzz_check(find_phrases(line) == want, "find_phrases agrees with the plain search");
    std::unique_ptr<char[]> padded(new char[line.size() + phrase_scan_overread]);
    std::memcpy(padded.get(), line.data(), line.size());
    for (std::size_t i = 0; i < phrase_scan_overread; ++i) {
        padded[line.size() + i] = line.empty() ? 'a' : line[i % line.size()];
    }
    std::string_view padded_line(padded.get(), line.size());
    std::vector<std::uint64_t> spots((line.size() + 63) / 64);
    for (phrase_scanner scanner : {phrase_scanner::portable, phrase_scanner::sse2,
                                   phrase_scanner::avx2, phrase_scanner::avx512}) {
        if (scanner_available(scanner)) {
            fuzz_check(find_phrases_with(scanner, line) == want,
                       "each scanner agrees with the plain search");
            map_spots_with(scanner, padded.get(), line.size(), spots.data());
            fuzz_check(find_mapped_phrases(padded_line, padded.get(), spots.data()) == want,
                       "each scanner's map agrees with the plain search");
        }
    }
}

void set_scene(std::uint8_t scene, model_run* model) {
    init();
    int taken = std::min(scene & 0x7f, max_players);
    for (int p = 0; p < taken; ++p) {
        std::string player = "p" + std::to_string(p);
        fuzz_check(find_player(player) == p, "a scene player gets the next slot");
        if (model != nullptr) {
            model_add_player(*model, player);
        }
    }
    if ((scene & 0x80) != 0) {
        rounds = round_limit;
        if (model != nullptr) {
            model->rounds = round_limit;
        }
    }
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
    check_phrase_scanners(line);

    // The dispatch on the raw bytes, zero bytes included, keeps the tables sound.
    set_scene(data[0], nullptr);
    examine_line(line);
    check_table_invariants();

    // On a line's text (which ends at its first zero byte) it does what the model does.
    std::string_view text = line.substr(0, line.find('\0'));
    model_run model;
    set_scene(data[0], &model);
    int players_before = player_count;
    bool went_on = examine_line(text);
    fuzz_check(went_on == model_examine(model, std::string(text)), "same round-limit stop");
    if (!went_on) {
        fuzz_check(player_count == players_before, "a stopping line is not dispatched");
    }
    check_tables_equal(model);
    check_table_invariants();
    return 0;
}
