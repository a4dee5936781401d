#include "command_line.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "exit_status.h"
#include "files.h"
#include "messages.h"
#include "report.h"

namespace {

// The format names, or their extensions, joined by the given separator.
std::string format_list(std::string_view separator, bool extensions) {
    std::string list;
    for (const report_format& format : report_formats) {
        if (!list.empty()) {
            list += separator;
        }
        list += extensions ? format.extension : format.name;
    }
    return list;
}

std::string footer() {
    std::string text;
    text += "Files:\n";
    text += "  LOG             the game's console log; " + std::string(default_log) +
            " in the current folder\n";
    text += "                  when no LOG is given\n";
    text += "  " + std::string(default_report) +
            "    the report, written in LOG's folder when no -o is given\n";
    text += "\nExit status:\n";
    text += "  0  --help or --version\n";
    text += "  1  the log was read and every report written, also after the stop at the\n";
    text += "     round limit\n";
    text += "  2  a failure: a usage error, a log that cannot be read or a report that\n";
    text += "     cannot be written\n";
    text += "\nExample:\n";
    text += "  fragtally -q -o week.txt games/qconsole.log\n";
    text += "      reads games/qconsole.log without progress lines and writes week.txt\n";
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

// Gives every output its format and checks that the outputs can all be written as asked.
bool settle_outputs(const std::vector<std::string>& paths, const std::string& stdout_format,
                    run_options& options, int& exit_status) {
    const report_format* to_stdout = &report_formats[0];
    bool stdout_named = false;
    if (!stdout_format.empty()) {
        to_stdout = format_named(stdout_format);
        if (to_stdout == nullptr) {
            return usage_error("--format " + stdout_format + ": not a report format (" +
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
                return usage_error("-o " + path + ": the extension names no report format (" +
                                       format_list(", ", true) + ")",
                                   exit_status);
            }
        }
        for (const report_output& earlier : options.outputs) {
            bool both_stdout = path == standard_output && earlier.path == standard_output;
            bool both_files = path != standard_output && earlier.path != standard_output;
            if (both_stdout || (both_files && same_output(path, earlier.path))) {
                return usage_error("-o " + path + ": names the same file as -o " + earlier.path,
                                   exit_status);
            }
        }
        options.outputs.push_back({path, format});
    }
    if (!stdout_format.empty() && !stdout_named) {
        return usage_error("--format applies only to standard output, -o -", exit_status);
    }
    if (options.outputs.empty()) {
        options.outputs.push_back(
            {std::string(folder_of(options.log)) + std::string(default_report), to_stdout});
    }
    for (const report_output& output : options.outputs) {
        if (output.path != standard_output && same_file(output.path, options.log)) {
            return usage_error(
                "the report " + output.path + " would overwrite the log " + options.log,
                exit_status);
        }
    }
    return true;
}

}  // namespace

bool parse_command_line(int argc, const char* const* argv, run_options& options, int& exit_status) {
    CLI::App app{
        "Reads the console log of a deathmatch game and reports every player's kills and\n"
        "deaths per weapon, suicides by cause, and who killed whom.",
        "fragtally"};
    app.get_formatter()->column_width(24);
    app.footer(footer());
    std::vector<std::string> paths;
    std::string stdout_format;
    app.add_option("LOG", options.log,
                   "the console log to read; " + std::string(default_log) +
                       " in the current\nfolder when not given")
        ->type_name("");
    app.add_option("-o,--output", paths,
                   "write the report to FILE instead of " + std::string(default_report) +
                       " in\nLOG's folder; its extension sets the format:\n" +
                       format_list(", ", true) +
                       "; - is standard output;\nmay be given several times")
        ->type_name("FILE")
        ->allow_extra_args(false);
    app.add_option("--format", stdout_format,
                   "the format of the report that -o - writes:\n" + format_list(", ", false) +
                       " (" + std::string(report_formats[0].name) + " when not given)")
        ->type_name("NAME");
    app.add_flag("-q,--quiet", options.quiet, "print no progress lines");
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("-V,--version", std::string(program_version),
                         "print the version and exit");

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
        return usage_error(text, exit_status);
    }
    return settle_outputs(paths, stdout_format, options, exit_status);
}
