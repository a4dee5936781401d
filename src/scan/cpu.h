// The CPU paths the hot loops (the phrase search, the line-feed map, the name cutter and the
// pass's batch loop) can take.
#pragma once

#include <array>
#include <string_view>

// Vector code for x86-64, compiled function by function for the instruction sets it needs and
// run only on a CPU that has them. SSE2 is part of x86-64 itself.
#if defined(__x86_64__) && defined(__GNUC__)
#define FRAGTALLY_X86_64 1
#endif

// The paths, slowest first; each one's instruction sets include those of the paths before it.
enum class cpu_path { portable, sse2, avx2, avx512 };

// The name of each path, as FRAGTALLY_CPU spells it.
inline constexpr std::array<std::string_view, 4> cpu_path_names = {"portable", "sse2", "avx2",
                                                                   "avx512"};

// Returns whether this build can take the path on this CPU.
bool cpu_has(cpu_path path);

// Returns the fastest path this build can take on this CPU.
cpu_path fastest_cpu_path();

// Finds the path that a value of FRAGTALLY_CPU names (unset or empty: the fastest). Returns
// false when the name is unknown or the CPU lacks the path; the caller reports that. The program
// makes this one choice at start-up and hands the path to each module, which takes its own
// functions for it.
bool cpu_path_named(const char* wanted, cpu_path& path);

// The path FRAGTALLY_CPU names, or the fastest when it names none this CPU has: for the tests,
// the fuzz targets and the benchmarks, so that one setting runs all of them on one path.
cpu_path cpu_path_of_environment();
