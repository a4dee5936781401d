#include "scan/cpu.h"

#include <cstddef>
#include <cstdlib>

bool cpu_has(cpu_path path) {
    switch (path) {
        case cpu_path::portable:
            return true;
#if FRAGTALLY_X86_64
        case cpu_path::sse2:
            return true;
        case cpu_path::avx2:
            // Also called before main, when the CPU may not have been examined yet. The bit
            // instructions come with AVX2 in every CPU that has it; the pass's loops use them.
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("popcnt") != 0 &&
                   __builtin_cpu_supports("bmi") != 0 && __builtin_cpu_supports("bmi2") != 0;
        case cpu_path::avx512:
            __builtin_cpu_init();
            return cpu_has(cpu_path::avx2) && __builtin_cpu_supports("avx512bw") != 0 &&
                   __builtin_cpu_supports("avx512vl") != 0;
#else
        default:
            return false;
#endif
    }
    return false;
}

cpu_path fastest_cpu_path() {
    auto fastest = cpu_path::portable;
    for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
        auto path = static_cast<cpu_path>(p);
        if (cpu_has(path)) {
            fastest = path;
        }
    }
    return fastest;
}

bool cpu_path_named(const char* wanted, cpu_path& path) {
    if (wanted == nullptr || *wanted == '\0') {
        path = fastest_cpu_path();
        return true;
    }
    for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
        if (cpu_path_names[p] == wanted && cpu_has(static_cast<cpu_path>(p))) {
            path = static_cast<cpu_path>(p);
            return true;
        }
    }
    return false;
}

cpu_path cpu_path_of_environment() {
    cpu_path path = cpu_path::portable;
    return cpu_path_named(std::getenv("FRAGTALLY_CPU"), path) ? path : fastest_cpu_path();
}
