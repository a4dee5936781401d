// The format an output path asks for, and the folder a default report goes into.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "app/command_line.h"
#include "app/messages.h"
#include "report/report_formats.h"
#include "scan/files.h"

namespace {

struct path_case {
    std::string_view path;
    std::string_view format;  // empty: no format
};

constexpr path_case format_cases[] = {
    {"week.txt", "txt"},   {"WEEK.TXT", "txt"},    {"games/week.Txt", "txt"},
    {"week.json", "json"}, {"week.html", "html"},  {"week.txt.bak", ""},
    {"week.htm", "html"},  {"WEEK.HTM", "html"},   {"week.htmx", ""},
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

struct name_case {
    std::string_view log;
    std::string_view report;
};

// Logs that do not exist, so only their names decide.
constexpr name_case report_names[] = {
    {"qconsole.log", "qconsole.txt"},
    {"games/a.log", "games/a.txt"},
    {"games/match", "games/match.txt"},      // no extension
    {"a.b.log", "a.b.txt"},                  // the last dot starts the extension
    {"games.d/match", "games.d/match.txt"},  // a folder's dot is not the log's
    {".hidden", ".hidden.txt"},              // a leading dot starts no extension
    {"a.txt", "a.report.txt"},               // the report would be the log
    {"games/a.txt", "games/a.report.txt"},
#ifdef _WIN32
    {"A.TXT", "A.report.txt"},  // one name, whatever the letter case
#endif
};

TEST(ReportFormats, TheTextReportIsNamedAfterTheLog) {
    for (const name_case& c : report_names) {
        EXPECT_EQ(report_named_after(std::string(c.log)), c.report) << c.log;
    }
}

struct printable_case {
    std::string_view text;
    std::string_view shown;
};

constexpr printable_case printable_cases[] = {
    {"games/a b.log", "games/a b.log"},
    {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
    {"\x1b[2J\x7f", "\\x1b[2J\\x7f"},
    {std::string_view("a\0b", 3), "a\\x00b"},
    {"Zo\xc3\xab \xe6\x97\xa5", "Zo\xc3\xab \xe6\x97\xa5"},  // UTF-8 kept
    {"\xc2\x9b"
     "2J",
     "\\xc2\\x9b2J"},                          // U+009B, a terminal's CSI
    {"\xc2\xa0", "\xc2\xa0"},                  // U+00A0 kept
    {"C:\\Games\\a.log", "C:\\Games\\a.log"},  // backslashes kept
};

TEST(Messages, ControlBytesAreShownEscaped) {
    for (const printable_case& c : printable_cases) {
        EXPECT_EQ(printable(c.text), c.shown);
    }
}

}  // namespace
