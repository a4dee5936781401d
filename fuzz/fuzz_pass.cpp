// Fuzz target: the whole pass over an in-memory log, compared with the plain model of the same
// rules, under the classic rules and under the full rules. The first input byte picks how the rest
// becomes the log: with its low bit clear the rest is the log itself; with it set, the rest is
// expanded so that small inputs reach long lines, read boundaries and the round limit: the bytes
// 0xFE, n, k, then k bytes stand for those k bytes repeated 64 * (n + 1) times; every other byte
// stands for itself.
#include <algorithm>
#include <string>

#include "count/game_limits.h"
#include "fuzz_support.h"

namespace {

// Room for over-long lines and for lines across the scanner's first reads (of 128 KiB); larger
// logs would only slow the runs down.
constexpr std::size_t largest_log = std::size_t{128} * 1024 + 2 * max_line_text;

std::string expand(const std::uint8_t* data, std::size_t size) {
    std::string log;
    std::size_t i = 0;
    while (i < size && log.size() < largest_log) {
        if (data[i] == 0xFE && i + 2 < size) {
            std::size_t repeats = 64 * (std::size_t{data[i + 1]} + 1);
            std::size_t k = std::min<std::size_t>(data[i + 2], size - i - 3);
            std::string piece(reinterpret_cast<const char*>(data + i + 3), k);
            for (std::size_t r = 0; r < repeats && log.size() < largest_log; ++r) {
                log += piece;
            }
            i += 3 + k;
        } else {
            log += static_cast<char>(data[i]);
            ++i;
        }
    }
    return log.substr(0, largest_log);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    std::string log = (data[0] & 1) != 0
                          ? expand(data + 1, size - 1)
                          : std::string(reinterpret_cast<const char*>(data + 1), size - 1);

    check_pass(log);
    check_full_pass(log);
    return 0;
}
