#include "fuzz_support.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/progress.h"
#include "count/classic_rules.h"
#include "count/full_rules.h"
#include "count/pass.h"
#include "expected_progress.h"
#include "full_reference_model.h"
#include "scan/line_scanner.h"

namespace {

// Progress text is compared byte for byte up to this many lines; past it only the count.
constexpr std::uint64_t progress_compared = 1 << 14;

std::string read_back(std::FILE* out) {
    std::string text;
    std::rewind(out);
    std::array<char, 4096> chunk{};
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), out)) > 0) {
        text.append(chunk.data(), got);
    }
    return text;
}

}  // namespace

std::vector<std::string> text_mode_lines(std::string_view log) {
    constexpr std::size_t examined_bytes = std::size_t{64} * 1024;
    std::string data(log.substr(0, log.find('\x1a')));
    data.erase(std::remove(data.begin(), data.end(), '\r'), data.end());
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < data.size()) {
        std::size_t lf = data.find('\n', begin);
        std::size_t end = lf == std::string::npos ? data.size() : lf + 1;
        std::string text = data.substr(begin, end - begin);
        begin = end;
        text = text.substr(0, text.find('\0'));
        lines.push_back(text.substr(0, examined_bytes));
    }
    return lines;
}

void fuzz_check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

std::string_view checked_name(const std::array<char, name_size>& field) {
    const void* nul = std::memchr(field.data(), '\0', field.size());
    fuzz_check(nul != nullptr, "a name field is zero-terminated");
    std::string_view text(field.data());
    fuzz_check(text.size() <= max_name_length, "a name has at most max_name_length bytes");
    return text;
}

void check_table_invariants(const classic_tables& tables) {
    fuzz_check(tables.player_count >= 0 && tables.player_count <= max_players,
               "player_count in range");
    std::int64_t kill_sum = 0;
    std::int64_t death_sum = 0;
    std::int64_t matrix_sum = 0;
    for (int p = 0; p < max_players; ++p) {
        auto slot = static_cast<std::size_t>(p);
        std::string_view text = checked_name(tables.name[slot]);
        if (p < tables.player_count) {
            fuzz_check(tables.lookup_player(text) == p, "a claimed name looks up to its own slot");
        } else {
            fuzz_check(text == "NULL", "a free slot holds NULL");
            for (std::int32_t count : tables.stats[slot]) {
                fuzz_check(count == 0, "a free slot has no counts");
            }
        }
        kill_sum += tables.stats[slot][static_cast<std::size_t>(kills)];
        death_sum += tables.stats[slot][static_cast<std::size_t>(deaths)];
        for (std::int32_t count : tables.who_killed_who[slot]) {
            fuzz_check(count >= 0, "kill matrix counts are not negative");
            matrix_sum += count;
        }
    }
    fuzz_check(kill_sum == death_sum && kill_sum == matrix_sum,
               "every kill has one death and one kill matrix cell");
}

void check_tables_equal(const classic_tables& tables, const model_run& run) {
    fuzz_check(static_cast<std::size_t>(tables.player_count) == run.names.size(),
               "same player count");
    for (std::size_t p = 0; p < run.names.size(); ++p) {
        fuzz_check(checked_name(tables.name[p]) == run.names[p], "same name in each slot");
        fuzz_check(tables.stats[p] == run.stats[p], "same counters in each slot");
    }
    for (std::size_t k = 0; k < static_cast<std::size_t>(max_players); ++k) {
        for (std::size_t v = 0; v < static_cast<std::size_t>(max_players); ++v) {
            fuzz_check(tables.who_killed_who[k][v] == run.killed[k][v], "same kill matrix");
        }
    }
    fuzz_check(tables.rounds == run.rounds, "same rounds");
    fuzz_check(tables.uncounted_obituaries == run.uncounted, "same uncounted obituaries");
}

void check_pass(const std::string& log) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    fuzz_check(in != nullptr && out != nullptr, "temporary streams open");
    fuzz_check(std::fwrite(log.data(), 1, log.size(), in) == log.size(), "log written");
    std::rewind(in);

    auto tables = std::make_unique<classic_tables>();
    const cpu_path path = cpu_path_of_environment();
    start_scan(in, path);
    start_progress(out);
    classic_rules rules(*tables, path);
    progress_output progress;
    pass_end end = run_pass(rules, progress, path);
    flush_progress();
    std::fclose(in);
    std::string printed = read_back(out);
    std::fclose(out);

    model_run model;
    model_pass(model, log);

    fuzz_check(end != pass_end::read_failed, "an in-memory log never fails to read");
    fuzz_check((end == pass_end::round_limit_stop) == model.stopped, "same round-limit stop");
    fuzz_check(progress_lines_counted() == model.lines, "same number of progress lines");
    if (model.lines <= progress_compared) {
        fuzz_check(printed == expected_progress(model.lines),
                   "progress lines count from 1, one per step");
    }
    check_tables_equal(*tables, model);
    check_table_invariants(*tables);
}

void check_full_pass(const std::string& log) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    fuzz_check(in != nullptr && out != nullptr, "temporary streams open");
    fuzz_check(std::fwrite(log.data(), 1, log.size(), in) == log.size(), "log written");
    std::rewind(in);

    start_scan(in, cpu_path_of_environment());
    start_progress(out);
    full_count count;
    progress_output progress;
    bool read = run_full_pass(count, progress) != scan_result::failed;
    flush_progress();
    std::fclose(in);
    std::fclose(out);
    const run_results results = count.finish("log");
    const full_model_run model = full_model_pass(log);

    fuzz_check(read, "an in-memory log never fails to read");
    fuzz_check(results.rules == rule_set::full, "the results say the full rules counted");
    fuzz_check(progress_lines_counted() == model.lines, "full: a progress line per line");
    fuzz_check(results.lines == model.lines, "full: same lines");
    fuzz_check(results.round_ends == model.round_ends, "full: same round ends");
    fuzz_check(results.uncounted_obituaries == model.uncounted, "full: same uncounted");
    fuzz_check(results.players.size() == model.names.size(), "full: same players");
    for (std::size_t p = 0; p < model.names.size(); ++p) {
        fuzz_check(results.players[p].name == model.names[p], "full: same name in each slot");
        fuzz_check(results.players[p].counters == model.stats[p], "full: same counters");
        for (std::size_t q = 0; q < model.names.size(); ++q) {
            fuzz_check(results.head_to_head.killed(p, q) == model.killed[p][q],
                       "full: same kill matrix");
        }
    }
    fuzz_check(results.rounds.size() == model.rounds.size(), "full: same rounds");
    std::size_t r = 0;
    for (const round_result& round : results.rounds) {
        const full_model_round& want = model.rounds[r++];
        fuzz_check(round.first_line() == want.first_line && round.last_line() == want.last_line &&
                       round.ended() == want.ended,
                   "full: same round lines");
        for (std::size_t p = 0; p < model.names.size(); ++p) {
            std::array<std::int32_t, counter_count> none{};
            const auto& counts = p < want.stats.size() ? want.stats[p] : none;
            fuzz_check(round.counters_of(p) == counts, "full: same counters in each round");
            for (std::size_t q = 0; q < model.names.size(); ++q) {
                fuzz_check(round.kills().killed(p, q) == want.killed[p][q],
                           "full: same kill matrix in each round");
            }
        }
    }
}
