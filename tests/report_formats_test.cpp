// The format an output path asks for, and the folder a default report goes into.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "files.h"
#include "report_formats.h"

namespace {

struct path_case {
    std::string_view path;
    std::string_view format;  // empty: no format
};

constexpr path_case format_cases[] = {
    {"week.txt", "txt"},   {"WEEK.TXT", "txt"},    {"games/week.Txt", "txt"},
    {"week.json", "json"}, {"week.html", "html"},  {"week.txt.bak", ""},
    {"week", ""},          {".txt", ""},            // a hidden file without an extension
    {"games/.txt", ""},    {"games.txt/week", ""},  // the extension of a folder is not the report's
    {"weektxt", ""},
};

TEST(ReportFormats, TheExtensionPicksTheFormat) {
    for (const path_case& c : format_cases) {
        const report_format* format = format_of_path(c.path);
        std::string_view name = format == nullptr ? std::string_view{} : format->name;
        EXPECT_EQ(name, c.format) << c.path;
    }
}

TEST(ReportFormats, NamesAndExtensionsAreUnique) {
    for (const report_format& format : report_formats) {
        EXPECT_EQ(format_named(format.name), &format);
        EXPECT_EQ(format_of_path(std::string("a") + std::string(format.extension)), &format);
    }
    EXPECT_EQ(format_named("TXT"), nullptr);
    EXPECT_EQ(format_named(""), nullptr);
}

struct folder_case {
    std::string_view path;
    std::string_view folder;
};

constexpr folder_case folder_cases[] = {
    {"qconsole.log", ""},
    {"games/qconsole.log", "games/"},
    {"/var/games/my log.log", "/var/games/"},
    {"/qconsole.log", "/"},
    {"games/", "games/"},
    {"Zo\xc3\xab/\xe6\x97\xa5\xe6\x9c\xac/a.log", "Zo\xc3\xab/\xe6\x97\xa5\xe6\x9c\xac/"},
#ifdef _WIN32
    {"C:\\Games\\qconsole.log", "C:\\Games\\"},
    {"C:qconsole.log", "C:"},
#endif
};

TEST(ReportFormats, TheDefaultReportGoesIntoTheLogsFolder) {
    for (const folder_case& c : folder_cases) {
        EXPECT_EQ(folder_of(c.path), c.folder) << c.path;
        EXPECT_EQ(std::string(folder_of(c.path)) + std::string(name_of(c.path)), c.path);
    }
}

}  // namespace
