// The progress text a run over a number of lines must print, made the plain way; shared by the
// unit tests and the fuzz targets.
#pragma once

#include <cstdint>
#include <string>

// Returns "1 lines parsed.\n" up to "<count> lines parsed.\n".
inline std::string expected_progress(std::uint64_t count) {
    std::string text;
    for (std::uint64_t i = 1; i <= count; ++i) {
        text += std::to_string(i) + " lines parsed.\n";
    }
    return text;
}
