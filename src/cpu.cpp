#include "cpu.h"

#include <cstddef>

bool cpu_has(cpu_path path) {
    switch (path) {
        case cpu_path::portable:
            return true;
#if FRAGTALLY_X86_64
        case cpu_path::sse2:
            return true;
        case cpu_path::avx2:
            // Also called before main, when the CPU may not have been examined yet.
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") != 0;
        case cpu_path::avx512:
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
                   __builtin_cpu_supports("avx512vl") != 0 && __builtin_cpu_supports("bmi2") != 0;
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

cpu_path active_cpu_path = fastest_cpu_path();

bool choose_cpu_path(const char* wanted) {
    if (wanted == nullptr || *wanted == '\0') {
        active_cpu_path = fastest_cpu_path();
        return true;
    }
    for (std::size_t p = 0; p < cpu_path_names.size(); ++p) {
        auto path = static_cast<cpu_path>(p);
        if (cpu_path_names[p] == wanted) {
            if (!cpu_has(path)) {
                return false;
            }
            active_cpu_path = path;
            return true;
        }
    }
    return false;
}
