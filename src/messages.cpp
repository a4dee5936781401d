#include "messages.h"

#include <cstdio>
#include <cstring>

void report_failure(std::string_view action, std::string_view file, int error) {
    std::fprintf(stderr, "fragtally: %.*s %.*s: %s\n", static_cast<int>(action.size()),
                 action.data(), static_cast<int>(file.size()), file.data(), std::strerror(error));
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
