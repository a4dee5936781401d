// The CPU paths the hot loops (the phrase search and the name cutter) can take, and the one
// choice among them that the whole run uses.
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

// Returns whether the AVX-512 path may also gather the bytes of a vector under a mask
// (AVX-512 VBMI2), which it does where it can: not every CPU of the path has it.
bool cpu_compresses_bytes();

// Returns the fastest path this build can take on this CPU.
cpu_path fastest_cpu_path();

// The path the phrase search, the line-feed map and the name cutter take: from the start of the
// program the one FRAGTALLY_CPU names when the CPU has it, else the fastest (until then, in
// other files' start-up code, the portable one).
extern cpu_path active_cpu_path;

// Takes the path named by the value of FRAGTALLY_CPU (unset or empty: the fastest). Returns
// false, with active_cpu_path unchanged, when the name is unknown or the CPU lacks the path;
// the caller reports that.
bool choose_cpu_path(const char* wanted);

// Runs the rest of the current scope on the given path, which the CPU must have, and goes back
// to the previous one at its end; for tests that compare the paths.
class cpu_path_scope {
  public:
    explicit cpu_path_scope(cpu_path path) : previous_(active_cpu_path) { active_cpu_path = path; }
    ~cpu_path_scope() { active_cpu_path = previous_; }
    cpu_path_scope(const cpu_path_scope&) = delete;
    cpu_path_scope& operator=(const cpu_path_scope&) = delete;

  private:
    cpu_path previous_;
};
