#include "report/report_formats.h"

#include <cerrno>

#include "app/messages.h"
#include "app/stop_signals.h"
#include "report/report.h"
#include "report/report_html.h"
#include "report/report_json.h"
#include "scan/files.h"

const std::array<report_format, 3> report_formats = {{
    {"txt", ".txt", true, write_txt},
    {"json", ".json", false, write_json},
    {"html", ".html", false, write_html, ".htm"},
}};

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Users on Windows name files "REPORT.TXT" as often as "report.txt".
bool ends_with_ignoring_case(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) {
        return false;
    }
    text.remove_prefix(text.size() - end.size());
    for (std::size_t i = 0; i < end.size(); ++i) {
        if (lower(text[i]) != lower(end[i])) {
            return false;
        }
    }
    return true;
}

bool write_to_stdout(const report_format& format, const run_results& results) {
    std::fflush(stdout);
    if (!format.text_mode) {
        make_stdout_binary();
    }
    errno = 0;
    bool written = format.write(stdout, results) && std::fflush(stdout) == 0;
    // A reader that stopped early (`| head`) wanted no more; saying so would be noise. (The
    // Windows runtime maps a pipe without a reader to EPIPE too; wine's to EINVAL.)
    if (!written && errno != EPIPE) {
        report_failure("cannot write", "standard output", errno != 0 ? errno : EIO);
    }
    return written;
}

}  // namespace

const report_format* format_named(std::string_view name) {
    for (const report_format& format : report_formats) {
        if (format.name == name) {
            return &format;
        }
    }
    return nullptr;
}

const report_format* format_of_path(std::string_view path) {
    std::string_view name = name_of(path);
    for (const report_format& format : report_formats) {
        // A name that is only the extension, ".txt", is a hidden file without one.
        for (std::string_view extension : {format.extension, format.other_extension}) {
            if (!extension.empty() && name.size() > extension.size() &&
                ends_with_ignoring_case(name, extension)) {
                return &format;
            }
        }
    }
    return nullptr;
}

bool start_report(pending_report& report) {
    if (report.path == standard_output) {
        return true;
    }
    stops_held held;
    if (!create_temp_beside(report.path, report.format->text_mode, report.temp)) {
        report_failure("cannot create", report.path, errno);
        return false;
    }
    remember_temp_file(report.temp);
    return true;
}

void drop_report(pending_report& report) {
    if (report.temp.stream == nullptr) {
        return;
    }
    stops_held held;
    forget_temp_file(report.temp);
    std::fclose(report.temp.stream);
    report.temp.stream = nullptr;
    remove_file(report.temp.path);
}

bool finish_report(pending_report& report, const run_results& results) {
    if (report.path == standard_output) {
        return write_to_stdout(*report.format, results);
    }
    temp_file& temp = report.temp;
    errno = 0;
    bool written = report.format->write(temp.stream, results) && std::fflush(temp.stream) == 0 &&
                   std::ferror(temp.stream) == 0;
    int error = errno != 0 ? errno : EIO;
    // Off the list, closed, and renamed or removed, without a stop in between.
    stops_held held;
    forget_temp_file(temp);
    if (std::fclose(temp.stream) != 0 && written) {
        written = false;
        error = errno != 0 ? errno : EIO;
    }
    temp.stream = nullptr;
    if (!written || !replace_with(temp, report.path)) {
        if (written) {
            error = errno;
        }
        remove_file(temp.path);
        report_failure("cannot write", report.path, error);
        return false;
    }
    return true;
}
