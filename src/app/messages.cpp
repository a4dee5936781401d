#include "app/messages.h"

#include <cstdio>
#include <cstring>

std::string printable(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    auto escape = [&shown](unsigned char byte) {
        constexpr char digits[] = "0123456789abcdef";
        shown += "\\x";
        shown += digits[byte >> 4U];
        shown += digits[byte & 15U];
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            shown += "\\n";
        } else if (byte == '\t') {
            shown += "\\t";
        } else if (byte == '\r') {
            shown += "\\r";
        } else if (byte < 0x20 || byte == 0x7f) {
            escape(byte);
        } else if (byte == 0xc2 && i + 1 < text.size() &&
                   (static_cast<unsigned char>(text[i + 1]) & 0xe0U) == 0x80) {
            // U+0080 to U+009F: terminals that take UTF-8 act on these as on escape sequences.
            escape(byte);
            escape(static_cast<unsigned char>(text[++i]));
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}

void report_failure(std::string_view action, std::string_view file, int error) {
    std::string shown = printable(file);
    std::fprintf(stderr, "fragtally: %.*s %s: %s\n", static_cast<int>(action.size()), action.data(),
                 shown.c_str(), std::strerror(error));
    std::fflush(stderr);
}

void report_problem(std::string_view text) {
    std::fprintf(stderr, "fragtally: %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
}

void report_usage_error(std::string_view text) {
    std::fprintf(stderr, "fragtally: %.*s\nTry 'fragtally --help' for more information.\n",
                 static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
}
