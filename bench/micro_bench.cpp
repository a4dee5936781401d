// Micro-benchmarks of the pass's hot paths: the phrase search of one line on every CPU path this
// machine has, the examination of one line, the progress output and the whole pass over an
// in-memory log. bench/run.sh times the real program on large logs.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/progress.h"
#include "count/classic_rules.h"
#include "count/pass.h"
#include "count/phrases.h"
#include "count/tables.h"
#include "scan/cpu.h"
#include "scan/line_scanner.h"

namespace {

#ifdef _WIN32
constexpr const char* null_device = "NUL";
#else
constexpr const char* null_device = "/dev/null";
#endif

struct sample_line {
    const char* label;
    std::string text;
};

const std::array<sample_line, 4> sample_lines = {{
    {"obituary", "Cobra^7 was electrocuted by Hex^7\n"},
    {"rocket", "Knox^7 ate Big^1Bob^7's rocket\n"},
    {"chat", "Hex^7: nice one, rematch on this map?\n"},
    {"long", "Zap^7: " + std::string(1000, 'x') + " lol by the way\n"},
}};

void find_phrases_bench(benchmark::State& state, cpu_path path, const sample_line& line) {
    if (!cpu_has(path)) {
        state.SkipWithError("path not available on this CPU");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(find_phrases(line.text, path));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(line.text.size()));
}

// Mapping a whole buffer of lines, then finding each line's phrases from the map, as the pass
// does: the time is per line.
void mapped_bench(benchmark::State& state, cpu_path path, const sample_line& line) {
    using search = phrase_search<pass_phrases>;
    if (!cpu_has(path)) {
        state.SkipWithError("path not available on this CPU");
        return;
    }
    const auto on = search::sweep_for(path);
    std::string data;
    while (data.size() < 64 * 1024) {
        data += line.text;
    }
    std::size_t lines = data.size() / line.text.size();
    std::size_t mapped = data.size();
    data.resize(mapped + phrase_scan_overread, ' ');
    std::vector<std::uint64_t> spots((mapped + 63) / 64);
    for (auto _ : state) {
        search::map(data.data(), mapped, spots.data(), on);
        for (std::size_t i = 0; i < lines; ++i) {
            std::string_view text(data.data() + i * line.text.size(), line.text.size());
            benchmark::DoNotOptimize(search::find_mapped(text, data.data(), spots.data(), on));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(mapped));
}

void register_phrase_benchmarks() {
    for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
        for (const sample_line& line : sample_lines) {
            std::string name = std::string(cpu_path_names[p]) + "/" + line.label;
            benchmark::RegisterBenchmark(("find_phrases/" + name).c_str(), find_phrases_bench,
                                         static_cast<cpu_path>(p), std::cref(line));
            benchmark::RegisterBenchmark(("mapped_lines/" + name).c_str(), mapped_bench,
                                         static_cast<cpu_path>(p), std::cref(line));
        }
    }
}

void examine_line_bench(benchmark::State& state, const sample_line& line) {
    auto tables = std::make_unique<classic_tables>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(examine_line(*tables, line.text, find_phrases(line.text)));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(line.text.size()));
}

void register_examine_benchmarks() {
    for (const sample_line& line : sample_lines) {
        std::string name = std::string("examine_line/") + line.label;
        benchmark::RegisterBenchmark(name.c_str(), examine_line_bench, std::cref(line));
    }
}

void progress_lines(benchmark::State& state) {
    std::FILE* out = std::fopen(null_device, "wb");
    if (out == nullptr) {
        state.SkipWithError("cannot open the null device");
        return;
    }
    // Lines are added in batches, as the pass adds them; counts start at several digits, as in a
    // long log.
    const auto batch = static_cast<std::uint64_t>(state.range(0));
    start_progress(out);
    add_progress_lines(1000000);
    for (auto _ : state) {
        add_progress_lines(batch);
    }
    flush_progress();
    std::fclose(out);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(batch));
}
BENCHMARK(progress_lines)->Arg(1)->Arg(4096);

// A log of typical lines in a fixed shuffled order: chat, server lines and obituaries.
std::string sample_log(std::size_t size) {
    const std::array<std::string_view, 16> lines = {
        "Cobra^7 was railed by Hex^7\n",
        "Hex^7: wp\n",
        "Knox^7 picked up the Red Armor\n",
        "Zap^7 was machinegunned by Knox^7\n",
        "Big^1Bob^7 was melted by Hex^7's plasmagun\n",
        "Hex^7 tried to avoid Knox^7's grenade\n",
        "Knox^7 almost dodged Cobra^7's rocket\n",
        "Cobra^7: rematch?\n",
        "Zap^7 ate Big^1Bob^7's rocket\n",
        "Hunk_Clear: reset the hunk ok\n",
        "Hex^7 was gunned down by Zap^7\n",
        "Knox^7 entered the game\n",
        "Big^1Bob^7 blew himself up.\n",
        "Zap^7 was electrocuted by Cobra^7\n",
        "Cobra^7 cratered.\n",
        "Knox^7 is now spectating\n",
    };
    std::string log;
    std::uint32_t state = 1;
    while (log.size() < size) {
        state = state * 1664525u + 1013904223u;
        log += lines[state >> 28];
    }
    return log;
}

void whole_pass(benchmark::State& state) {
    const std::string log = sample_log(8 << 20);
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::fopen(null_device, "wb");
    if (in == nullptr || out == nullptr ||
        std::fwrite(log.data(), 1, log.size(), in) != log.size()) {
        state.SkipWithError("cannot set up the log");
        return;
    }
    for (auto _ : state) {
        std::rewind(in);
        auto tables = std::make_unique<classic_tables>();
        const cpu_path path = cpu_path_of_environment();
        start_scan(in, path);
        start_progress(out);
        classic_rules rules(*tables, path);
        progress_output progress;
        benchmark::DoNotOptimize(run_pass(rules, progress, path));
        flush_progress();
    }
    std::fclose(in);
    std::fclose(out);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(log.size()));
}
BENCHMARK(whole_pass)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    register_phrase_benchmarks();
    register_examine_benchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
