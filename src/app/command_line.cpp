#include "app/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "app/exit_status.h"
#include "app/messages.h"
#include "report/report.h"
#include "scan/files.h"
#include "version.h"

namespace {

// The format names, or their extensions, joined by the given separator.
std::string format_list(std::string_view separator, bool extensions) {
    std::string list;
    for (const report_format& format : report_formats) {
        if (!list.empty()) {
            list += separator;
        }
        list += extensions ? format.extension : format.name;
        if (extensions && !format.other_extension.empty()) {
            list += separator;
            list += format.other_extension;
        }
    }
    return list;
}

std::string footer() {
    std::string text;
    text += "Files:\n";
    text += "  LOG             the game's console log; " + std::string(default_log) +
            " in the current folder\n";
    text += "                  when no LOG is given\n";
    text += "  LOG's report    the text report when no -o is given: LOG's name with .txt\n";
    text += "                  for its extension, in LOG's folder: games/a.log gives\n";
    text += "                  games/a.txt, " + std::string(default_log) + " gives " +
            std::string(default_report) + ", and a.txt gives\n";
    text += "                  a.report.txt\n";
    text += "  --history FILE  a SQLite file that keeps every session recorded in it;\n";
    text += "                  docs/history.md describes its tables\n";
    text += "\nExit status:\n";
    text += "  0  --help or --version\n";
    text += "  1  the log was read and every report written, also after the stop at the\n";
    text += "     round limit, and after a stop request of --follow\n";
    text += "  2  a failure: a usage error, a log that cannot be read or a report that\n";
    text += "     cannot be written\n";
    text += "\nExample:\n";
    text += "  fragtally -q -o week.txt games/qconsole.log\n";
    text += "      reads games/qconsole.log without progress lines and writes week.txt\n";
    text += "  fragtally --history games.db games/qconsole.log\n";
    text += "      also records the session in games.db (made when missing)\n";
    text += "  fragtally -f -o live.html games/qconsole.log\n";
    text += "      keeps live.html current while the game writes games/qconsole.log\n";
    text += "  fragtally --history games.db --from-history --since 2026-12-01 -o month.html\n";
    text += "      writes the page of the sessions in games.db begun since December 1\n";
    return text;
}

bool usage_error(const std::string& text, int& exit_status) {
    report_usage_error(text);
    exit_status = exit_failure;
    return false;
}

// Whether two output paths that are not standard output name one file, existing or not.
bool same_output(const std::string& first, const std::string& second) {
    if (first == second || same_file(first, second)) {
        return true;
    }
    std::string first_folder{folder_of(first)};
    std::string second_folder{folder_of(second)};
    return same_name(name_of(first), name_of(second)) &&
           same_file(first_folder.empty() ? "." : first_folder,
                     second_folder.empty() ? "." : second_folder);
}

// The number of single-character edits (insert, delete, replace, swap two neighbours) that
// turn one word into the other.
std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = i + j;
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0U : 1U)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

// The option nearest to a mistyped one ("--quite" gives "--quiet", "--out" gives "--output"),
// or empty when none is near enough to be what was meant.
std::string nearest_option(const CLI::App& app, std::string_view typed) {
    typed = typed.substr(0, typed.find('='));
    std::string best;
    std::size_t best_distance = 0;
    for (const CLI::Option* option : app.get_options()) {
        std::vector<std::string> names;
        for (const std::string& name : option->get_lnames()) {
            names.push_back("--" + name);
        }
        for (const std::string& name : option->get_snames()) {
            names.push_back("-" + name);
        }
        for (const std::string& name : names) {
            std::size_t distance = edit_distance(typed, name);
            // A long option's start is as good as a near miss.
            if (typed.size() > 3 && name.size() > typed.size() &&
                name.compare(0, typed.size(), typed) == 0) {
                distance = 1;
            }
            bool near = distance <= 2 && distance * 2 < name.size();
            if (near && (best.empty() || distance < best_distance)) {
                best = name;
                best_distance = distance;
            }
        }
    }
    return best;
}

// The usage error for arguments the command line has no place for, named as typed and in
// order: the first unknown option (one before any "--"), with the nearest known one, or else
// the arguments after the one LOG. typed is the command line in order, without the program.
bool extra_arguments(const CLI::App& app, std::vector<std::string> extras,
                     const std::vector<std::string>& typed, int& exit_status) {
    auto separator = std::find(typed.begin(), typed.end(), "--");
    if (separator != typed.end()) {
        // CLI11 keeps the "--" that ends the options among the extras.
        auto kept = std::find(extras.begin(), extras.end(), "--");
        if (kept != extras.end()) {
            extras.erase(kept);
        }
    }
    for (const std::string& arg : extras) {
        if (arg.size() > 1 && arg[0] == '-' &&
            std::find(typed.begin(), separator, arg) != separator) {
            std::string text = "unknown option '" + printable(arg) + "'";
            std::string nearest = nearest_option(app, arg);
            if (!nearest.empty()) {
                text += "; did you mean '" + nearest + "'?";
            }
            return usage_error(text, exit_status);
        }
    }
    if (extras.empty()) {
        return true;
    }
    std::string text = "only one LOG is read; not expected:";
    for (const std::string& arg : extras) {
        text += " " + printable(arg);
    }
    return usage_error(text, exit_status);
}

// Gives every output its format and checks that the outputs can all be written as asked.
bool settle_outputs(const std::vector<std::string>& paths, const std::string& stdout_format,
                    run_options& options, int& exit_status) {
    const report_format* to_stdout = &report_formats[0];
    bool stdout_named = false;
    if (!stdout_format.empty()) {
        to_stdout = format_named(stdout_format);
        if (to_stdout == nullptr) {
            return usage_error("--format " + printable(stdout_format) + ": not a report format (" +
                                   format_list(", ", false) + ")",
                               exit_status);
        }
    }
    for (const std::string& path : paths) {
        const report_format* format = nullptr;
        if (path == standard_output) {
            stdout_named = true;
            format = to_stdout;
        } else {
            format = format_of_path(path);
            if (format == nullptr) {
                return usage_error("-o " + printable(path) +
                                       ": the extension names no report format (" +
                                       format_list(", ", true) + ")",
                                   exit_status);
            }
        }
        for (const report_output& earlier : options.outputs) {
            bool both_stdout = path == standard_output && earlier.path == standard_output;
            bool both_files = path != standard_output && earlier.path != standard_output;
            if (both_stdout || (both_files && same_output(path, earlier.path))) {
                return usage_error("-o " + printable(path) + ": names the same file as -o " +
                                       printable(earlier.path),
                                   exit_status);
            }
        }
        options.outputs.push_back({path, format});
    }
    if (!stdout_format.empty() && !stdout_named) {
        return usage_error("--format applies only to standard output, -o -", exit_status);
    }
    options.output_named = !options.outputs.empty();
    if (options.outputs.empty()) {
        options.outputs.push_back(
            {options.from_history ? std::string(default_report) : report_named_after(options.log),
             to_stdout});
    }
    for (const report_output& output : options.outputs) {
        if (!options.history.empty() && output.path != standard_output &&
            same_output(output.path, options.history)) {
            return usage_error("the report " + printable(output.path) +
                                   " would overwrite the history " + printable(options.history),
                               exit_status);
        }
        if (options.from_history) {
            continue;
        }
        if (output.path != standard_output && same_file(output.path, options.log)) {
            return usage_error("the report " + printable(output.path) +
                                   " would overwrite the log " + printable(options.log),
                               exit_status);
        }
    }
    return true;
}

// Whether text is a date as YYYY-MM-DD, of a month that has the day.
bool is_date(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (std::size_t i : {0U, 1U, 2U, 3U, 5U, 6U, 8U, 9U}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    auto number = [&](std::size_t at, std::size_t digits) {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    int year = number(0, 4);
    int month = number(5, 2);
    int day = number(8, 2);
    constexpr std::array<int, 12> month_days = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month >= 1 && month <= 12 && day >= 1 &&
           day <= month_days[static_cast<std::size_t>(month - 1)] - (month == 2 && !leap ? 1 : 0);
}

// Checks the history's options against each other and against the log.
bool settle_history(bool log_given, run_options& options, int& exit_status) {
    if (options.from_history && options.history.empty()) {
        return usage_error("--from-history needs --history FILE", exit_status);
    }
    if (options.from_history && options.follow) {
        return usage_error("--from-history reads no log to follow; not expected: --follow",
                           exit_status);
    }
    if (options.from_history && log_given) {
        return usage_error("--from-history reads no LOG; not expected: " + printable(options.log),
                           exit_status);
    }
    if (!options.from_history && (!options.since.empty() || !options.until.empty())) {
        return usage_error("--since and --until apply only to --from-history", exit_status);
    }
    for (const auto& [name, date] :
         {std::pair<const char*, const std::string&>{"--since", options.since},
          {"--until", options.until}}) {
        if (!date.empty() && !is_date(date)) {
            return usage_error(
                std::string(name) + " " + printable(date) + ": not a date as YYYY-MM-DD",
                exit_status);
        }
    }
    if (!options.since.empty() && !options.until.empty() && options.until < options.since) {
        return usage_error("--until " + options.until + " comes before --since " + options.since,
                           exit_status);
    }
    if (!options.history.empty() && !options.from_history &&
        (options.history == options.log || same_file(options.history, options.log))) {
        return usage_error("the history " + printable(options.history) + " is the log itself",
                           exit_status);
    }
    return true;
}

}  // namespace

std::string report_named_after(const std::string& log) {
    std::string_view folder = folder_of(log);
    std::string_view name = name_of(log);
    std::size_t dot = name.rfind('.');
    // A name's leading dot makes it hidden; it starts no extension.
    std::string stem{folder};
    stem += dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
    std::string report = stem + std::string(report_formats[0].extension);
    if (same_name(name_of(report), name) || same_file(report, log)) {
        report = stem + ".report" + std::string(report_formats[0].extension);
    }
    return report;
}

bool parse_command_line(int argc, const char* const* argv, run_options& options, int& exit_status) {
    CLI::App app{
        "Reads the console log of a deathmatch game and reports every player's kills and\n"
        "deaths per weapon, suicides by cause, and who killed whom.",
        "fragtally"};
    app.get_formatter()->column_width(24);
    app.footer(footer());
    std::vector<std::string> paths;
    std::string stdout_format;
    app.allow_extras();
    CLI::Option* log_option =
        app.add_option("LOG", options.log,
                       "the console log to read; " + std::string(default_log) +
                           " in the current\nfolder when not given")
            ->type_name("");
    app.add_option("-o,--output", paths,
                   "write the report to FILE instead of the text\nreport beside the log (see "
                   "Files); its extension\nsets the format: " +
                       format_list(", ", true) +
                       ";\n- is standard output; may be given several times")
        ->type_name("FILE")
        ->allow_extra_args(false);
    app.add_option("--format", stdout_format,
                   "the format of the report that -o - writes:\n" + format_list(", ", false) +
                       " (" + std::string(report_formats[0].name) + " when not given)")
        ->type_name("NAME");
    const std::string classic(rule_set_name(rule_set::classic));
    const std::string full(rule_set_name(rule_set::full));
    std::string rules = classic;
    app.add_option("--rules", rules,
                   "the rules every report counts by: " + classic +
                       " (the\nthirteen kinds of line, the default) or " + full +
                       "\n(every obituary the game prints, names exact)")
        ->type_name("SET")
        ->check(CLI::IsMember({classic, full}));
    app.add_flag("-q,--quiet", options.quiet,
                 "print no progress lines (the notice at the round\nlimit goes to standard error)");
    app.add_flag("-f,--follow", options.follow,
                 "after the log's end, go on reading what the game\nadds, rewriting the reports "
                 "after each round end\n(at most every 2 s while obituaries come),\n"
                 "until stopped with Ctrl-C; the page reloads\nitself");
    app.add_option("--history", options.history,
                   "after the run, record its session in FILE (made\nwhen missing); a log "
                   "recorded before adds\nnothing, a log grown since replaces its session")
        ->type_name("FILE");
    app.add_flag("--from-history", options.from_history,
                 "write the reports from the sessions in --history\nFILE instead of from a "
                 "log (qconsole.txt in the\ncurrent folder when no -o is given)");
    app.add_option("--since", options.since,
                   "with --from-history, only sessions begun on DATE\n(YYYY-MM-DD) or later")
        ->type_name("DATE");
    app.add_option("--until", options.until,
                   "with --from-history, only sessions begun on DATE\n(YYYY-MM-DD) or earlier")
        ->type_name("DATE");
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("-V,--version", std::string(program_version),
                         "print the version and exit");

    options.no_arguments = argc <= 1;
    // CLI11 takes a vector of arguments last first.
    std::vector<std::string> args;
    for (int i = argc - 1; i > 0; --i) {
        args.emplace_back(argv[i]);
#ifdef _WIN32
        // The usual way to ask a Windows program for help.
        if (args.back() == "/?") {
            args.back() = "--help";
        }
#endif
    }
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        exit_status = exit_info;
        return false;
    } catch (const CLI::CallForVersion&) {
        std::printf("fragtally %s\n%s\n", program_version, licence_notice);
        exit_status = exit_info;
        return false;
    } catch (const CLI::ParseError& error) {
        std::string text = error.what();
        for (char& c : text) {
            if (c == '\n') {
                c = ' ';
            }
        }
        return usage_error(printable(text), exit_status);
    }
    options.rules = rules == full ? rule_set::full : rule_set::classic;
    std::vector<std::string> extras = app.remaining();
    if (!extras.empty() &&
        !extra_arguments(app, extras, std::vector<std::string>(args.rbegin(), args.rend()),
                         exit_status)) {
        return false;
    }
    return settle_history(log_option->count() > 0, options, exit_status) &&
           settle_outputs(paths, stdout_format, options, exit_status);
}
