#include "app/follow.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/exit_status.h"
#include "app/history_run.h"
#include "app/messages.h"
#include "app/progress.h"
#include "app/run.h"
#include "app/stop_signals.h"
#include "count/classic_rules.h"
#include "count/full_rules.h"
#include "count/pass.h"
#include "count/tables.h"
#include "report/report_formats.h"
#include "scan/files.h"
#include "scan/line_scanner.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace {

using clock_type = std::chrono::steady_clock;

// New obituaries without a round end are written at most this often.
constexpr auto write_interval = std::chrono::seconds(2);

// How often the page asks an open browser tab to load it again.
constexpr int page_refresh_seconds = 5;

// Bytes of the log's start kept to tell a rewritten log (the game's "logfile opened on" line).
constexpr std::size_t start_kept = 256;

// The waits between reads. On Linux the log's folder is watched with inotify, and the wait
// also ends at a stop request; the file is looked at once a second as well, for file systems
// that report no change (a network share). On Windows, where the game holds the log open and
// a change notice may come late or never, the file is looked at every 250 ms.
class log_watch {
  public:
    explicit log_watch(const std::string& log);
    ~log_watch();
    log_watch(const log_watch&) = delete;
    log_watch& operator=(const log_watch&) = delete;

    // Waits until the log's folder has a change for the log's name, a stop is requested or
    // the given time has passed.
    void wait(clock_type::duration longest);

  private:
#ifndef _WIN32
    int fd_ = -1;
    std::string name_;
#endif
};

#ifdef _WIN32

log_watch::log_watch(const std::string& /*log*/) {}

log_watch::~log_watch() = default;

void log_watch::wait(clock_type::duration longest) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(longest).count();
    auto wait = static_cast<DWORD>(std::clamp<long long>(ms, 0, 250));
    if (stop_request_event() != nullptr) {
        WaitForSingleObject(stop_request_event(), wait);
    } else {
        Sleep(wait);
    }
}

#else

log_watch::log_watch(const std::string& log) : name_(name_of(log)) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    std::string_view in = folder_of(log);
    std::string folder(in.empty() ? std::string_view(".") : in);
    if (fd_ >= 0 &&
        inotify_add_watch(fd_, folder.c_str(),
                          IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                              IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF) < 0) {
        close(fd_);
        fd_ = -1;
    }
}

log_watch::~log_watch() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void log_watch::wait(clock_type::duration longest) {
    // Without a watch (no inotify, or the folder missing), the file is looked at more often.
    auto limit = fd_ >= 0 ? std::chrono::milliseconds(1000) : std::chrono::milliseconds(250);
    auto until = clock_type::now() + std::min<clock_type::duration>(longest, limit);
    for (;;) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - clock_type::now());
        if (left.count() <= 0) {
            return;
        }
        std::array<pollfd, 2> fds{{{stop_request_descriptor(), POLLIN, 0}, {fd_, POLLIN, 0}}};
        int ready = poll(fds.data(), fd_ >= 0 ? 2 : 1, static_cast<int>(left.count() + 1));
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (stop_requested() || fds[0].revents != 0) {
            return;
        }
        if (fd_ < 0 || fds[1].revents == 0) {
            continue;
        }
        // Changes to other files of the folder, such as the reports written beside the log,
        // do not end the wait.
        alignas(inotify_event) std::array<char, 4096> events{};
        bool ours = false;
        for (;;) {
            ssize_t got = read(fd_, events.data(), events.size());
            if (got <= 0) {
                break;
            }
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events.data() + at);
                std::string_view name(event->name, event->len > 0 ? event->len : 0);
                name = name.substr(0, name.find('\0'));
                ours = ours || name.empty() || name == name_ || (event->mask & IN_Q_OVERFLOW) != 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (ours) {
            return;
        }
    }
}

#endif

// The local time now, as the page says when it was written.
std::string time_now() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &local);
    return text.data();
}

// One reading of the log from its beginning: the open file, the count and where it stands.
class session {
  public:
    session(std::FILE* in, const run_options& options, cpu_path path)
        : in_(in), options_(options), path_(path) {
        start_progress(quiet_of(options) ? nullptr : stdout);
        start_scan(in, path, scan_mode::follow);
        // Hashed as read: once the game truncates the log, its bytes cannot be read again.
        hash_for_history(options);
        if (options.rules == rule_set::full) {
            full_ = std::make_unique<full_count>();
        } else {
            tables_ = std::make_unique<classic_tables>();
            // As in a normal run, closed rounds go to a temporary file, or stay in memory
            // without one.
            if (std::FILE* spill = std::tmpfile()) {
                tables_->spill_rounds_to(spill);
            }
            classic_.emplace(*tables_, path);
        }
    }
    ~session() { std::fclose(in_); }
    session(const session&) = delete;
    session& operator=(const session&) = delete;

    // Whether the progress lines stay off: asked for, or a report on standard output.
    static bool quiet_of(const run_options& options) {
        return options.quiet ||
               std::any_of(options.outputs.begin(), options.outputs.end(),
                           [](const report_output& o) { return o.path == standard_output; });
    }

    // Reads every whole line there is; returns how the pass stopped (waiting when the file has
    // no more for now).
    pass_end read_on() {
        progress_output progress;
        pass_end end = pass_end::end_of_log;
        if (full_) {
            scan_result got = run_full_pass(*full_, progress);
            end = got == scan_result::failed    ? pass_end::read_failed
                  : got == scan_result::waiting ? pass_end::waiting
                                                : pass_end::end_of_log;
        } else {
            end = run_pass(*classic_, progress, path_, at_);
        }
        flush_progress();
        return end;
    }

    // Reads what is left as the end of the log, the unfinished last line as a line: what the
    // file holds past the buffer too, unless it is another session's now.
    pass_end read_to_end(bool read_file) {
        end_scan_input(read_file);
        pass_end end = read_on();
        while (end == pass_end::waiting) {
            end = read_on();
        }
        return end;
    }

    std::int32_t round_ends() const { return full_ ? full_->round_ends() : tables_->rounds; }
    std::uint64_t obituaries() const {
        return full_ ? full_->obituaries() : tables_->obituaries_counted();
    }

    // The results of the lines read so far, with the bytes read and the log's first line as
    // the history knows the session by; counting may go on.
    run_results results() const {
        run_results results =
            full_ ? full_->results_so_far(options_.log) : results_of_pass(*tables_, options_.log);
        results.log_bytes = bytes_scanned();
        std::string_view kept(start_);
        kept = kept.substr(
            0, static_cast<std::size_t>(std::min<std::uint64_t>(kept.size(), results.log_bytes)));
        results.log_first_line = std::string(kept.substr(0, kept.find('\n')));
        return results;
    }

    // Records the results in the history that --history names, with the hashes taken so far,
    // among them those of every earlier recording of this session, which it replaces. Returns
    // false after reporting a failure.
    bool record(const run_results& results) const {
        return record_run(options_, results, scan_digests());
    }

    // What became of the log since it was opened: the same file, still growing; or truncated
    // or rewritten (shorter than what was read, or with other first bytes); or gone.
    enum class change { none, truncated, gone };
    change look() {
        followed_file named = check_followed(options_.log, in_);
        if (named != followed_file::same) {
            return change::gone;
        }
        std::uint64_t size = 0;
        if (size_of_open_file(in_, size) && size < bytes_scanned()) {
            return change::truncated;
        }
        std::array<char, start_kept> first{};
        std::size_t got = read_start_of(in_, first.data(), first.size());
        std::size_t same = std::min(got, start_.size());
        if (!std::equal(start_.begin(), start_.begin() + static_cast<std::ptrdiff_t>(same),
                        first.begin())) {
            return change::truncated;
        }
        if (got > start_.size()) {
            start_.assign(first.data(), got);
        }
        return change::none;
    }

  private:
    std::FILE* in_;
    const run_options& options_;
    cpu_path path_;
    std::unique_ptr<full_count> full_;
    std::unique_ptr<classic_tables> tables_;
    std::optional<classic_rules> classic_;
    pass_position at_;
    std::string start_;
};

// The reports of the run, each with its temporary file ready (but one on standard output).
class report_set {
  public:
    explicit report_set(const run_options& options) : reports_(options.outputs.size()) {
        for (std::size_t i = 0; i < reports_.size(); ++i) {
            reports_[i].format = options.outputs[i].format;
            reports_[i].path = options.outputs[i].path;
            started_ = start_report(reports_[i]) && started_;
        }
    }
    ~report_set() {
        for (pending_report& report : reports_) {
            drop_report(report);
        }
    }
    report_set(const report_set&) = delete;
    report_set& operator=(const report_set&) = delete;

    bool started() const { return started_; }
    const std::vector<pending_report>& reports() const { return reports_; }

    // Writes the reports to files, each renamed into place, and makes their next temporary
    // files; a failure is reported and the following goes on. Returns false after a failure.
    bool write_live(const run_results& results) {
        bool written = true;
        for (pending_report& report : reports_) {
            if (report.path != standard_output) {
                written = finish_report(report, results) && written;
                written = start_report(report) && written;
            }
        }
        return written;
    }

    // Writes every report for the last time.
    bool write_final(const run_results& results) {
        bool written = true;
        for (pending_report& report : reports_) {
            written = finish_report(report, results) && written;
        }
        return written;
    }

  private:
    std::vector<pending_report> reports_;
    bool started_ = true;
};

}  // namespace

int follow_log(const run_options& options, cpu_path path) {
    report_set reports(options);
    if (!reports.started()) {
        return exit_failure;
    }
    defer_first_stop_request();
    log_watch watch(options.log);
    std::unique_ptr<session> current;
    bool said_missing = false;
    bool written = true;
    bool at_round_limit = false;
    std::int32_t round_ends = 0;
    std::uint64_t obituaries = 0;
    bool unwritten = false;  // obituaries came since the reports were last written
    clock_type::time_point last_written{};

    auto write_live = [&](bool round_ended) {
        run_results results = current->results();
        if (round_ended) {
            // The session as it stands, so that a kill or the game's restart loses no round;
            // before the reports, so that whoever sees them can find it in the history.
            written = current->record(results) && written;
        }
        results.live = live_facts{time_now(), page_refresh_seconds};
        written = reports.write_live(results) && written;
        last_written = clock_type::now();
        unwritten = false;
    };

    while (!stop_requested() && !at_round_limit) {
        if (!current) {
            std::FILE* in = open_for_following(options.log);
            if (in == nullptr) {
                if (!said_missing) {
                    report_failure("waiting for", options.log, errno);
                    said_missing = true;
                }
                watch.wait(std::chrono::hours(1));
                continue;
            }
            said_missing = false;
            current = std::make_unique<session>(in, options, path);
            round_ends = 0;
            obituaries = 0;
            // A new tally shows at once, even before its first obituary.
            unwritten = true;
            last_written = {};
        }
        // Looked at before the read, so that a log the game truncated or replaced meanwhile,
        // even one already longer than what was read, adds nothing to the finished session,
        // which is recorded with every line read from it.
        if (current->look() != session::change::none) {
            written = current->record(current->results()) && written;
            current.reset();
            continue;
        }
        pass_end end = current->read_on();
        if (end == pass_end::read_failed) {
            report_failure("cannot read", options.log, scan_error());
            return exit_failure;
        }
        at_round_limit = end == pass_end::round_limit_stop;
        if (at_round_limit) {
            break;
        }
        // Looked at after the read: a log truncated and written again during it may have
        // handed this read another session's bytes, which must show nowhere, not even in the
        // history, which keeps the session as last recorded.
        session::change change = current->look();
        if (change != session::change::none) {
            current.reset();
            continue;
        }
        std::int32_t ends_now = current->round_ends();
        std::uint64_t obituaries_now = current->obituaries();
        unwritten = unwritten || obituaries_now != obituaries;
        obituaries = obituaries_now;
        auto now = clock_type::now();
        if (ends_now != round_ends) {
            round_ends = ends_now;
            write_live(true);
        } else if (unwritten && now - last_written >= write_interval) {
            write_live(false);
        }
        if (stop_requested()) {
            break;
        }
        watch.wait(unwritten ? write_interval - (now - last_written) : std::chrono::hours(1));
    }

    // The final reports, as a normal run writes them: the page no longer reloads.
    pass_end end = at_round_limit ? pass_end::round_limit_stop : pass_end::end_of_log;
    std::optional<run_results> results;
    if (current) {
        if (!at_round_limit) {
            end = current->read_to_end(current->look() == session::change::none);
        }
        if (end == pass_end::read_failed) {
            report_failure("cannot read", options.log, scan_error());
            return exit_failure;
        }
        results = current->results();
    } else {
        results = results_of_pass(*std::make_unique<classic_tables>(), options.log);
    }
    if (end == pass_end::round_limit_stop) {
        notice_round_limit(options, reports.reports());
    }
    written = reports.write_final(*results) && written;
    if (current) {
        written = current->record(*results) && written;
    }
    int status = written ? exit_normal : exit_failure;
#ifdef _WIN32
    stop_request_done(status);
#endif
    return status;
}
