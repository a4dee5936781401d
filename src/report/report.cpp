#include "report/report.h"

#include "report/report_rows.h"
#include "version.h"

namespace {

void write_header(std::FILE* out) {
    std::fprintf(out, "fragtally, version %s\n", program_version);
    std::fprintf(out, "Written by the fragtally developers.\n");
    std::fprintf(out, "%s\n", licence_notice);
    std::fprintf(out, "\n");
    std::fprintf(out, "Webpage: %s\n", web_page);
    std::fprintf(out, "E-mail : %s\n", contact_email);
    std::fprintf(out, "\n");
    std::fprintf(out, "\n");
    std::fprintf(out, "\n");
}

// The classic block's counts: the causes of suicide on one line, the weapons in a narrow column.
void write_classic_counts(std::FILE* out, const counter_values& row) {
    auto count = [&row](counter c) { return row[static_cast<std::size_t>(c)]; };
    std::fprintf(out, "Suicide by...\n");
    // The labels joined by slashes, then the counts in the same order.
    const char* separator = "";
    for (const auto& cause : suicide_rows) {
        if (cause.in_text_report) {
            std::fprintf(out, "%s%.*s", separator, static_cast<int>(cause.label.size()),
                         cause.label.data());
            separator = "/";
        }
    }
    separator = ": ";
    for (const auto& cause : suicide_rows) {
        if (cause.in_text_report) {
            std::fprintf(out, "%s%d", separator, count(cause.count));
            separator = "/";
        }
    }
    std::fprintf(out, "\n");
    std::fprintf(out, "\n");
    std::fprintf(out, "Weapon stats (kills for/kills against)\n");
    std::fprintf(out, "--------------------------------------\n");
    for (const auto& weapon : weapon_rows) {
        if (!weapon.in_text_report) {
            continue;
        }
        std::fprintf(out, "%-14.*s: %d/%d\n", static_cast<int>(weapon.label.size()),
                     weapon.label.data(), count(weapon.kills_for), count(weapon.kills_against));
    }
}

// The full rules' block: a row for every cause and every weapon, whatever the log holds, so that
// the layout is the same for every log.
void write_full_counts(std::FILE* out, const counter_values& row) {
    auto count = [&row](counter c) { return row[static_cast<std::size_t>(c)]; };
    std::fprintf(out, "Suicides                : %d\n", row[suicides]);
    std::fprintf(out, "Suicide by...\n");
    for (const auto& cause : full_suicide_rows) {
        std::fprintf(out, "  %-22.*s: %d\n", static_cast<int>(cause.label.size()),
                     cause.label.data(), count(cause.count));
    }
    std::fprintf(out, "\n");
    std::fprintf(out, "Weapon stats (kills for/kills against)\n");
    std::fprintf(out, "--------------------------------------\n");
    for (const auto& weapon : full_weapon_rows) {
        std::fprintf(out, "%-24.*s: %d/%d\n", static_cast<int>(weapon.label.size()),
                     weapon.label.data(), count(weapon.kills_for), count(weapon.kills_against));
    }
}

void write_block(std::FILE* out, const run_results& results, std::size_t p) {
    const auto& row = results.players[p].counters;
    std::fprintf(out, "============================================\n");
    std::fprintf(out, "-----===> %s\n", results.players[p].name.c_str());
    std::fprintf(out, "============================================\n");
    std::fprintf(out, "Kills/Deaths            : %d/%d\n", row[kills], row[deaths]);
    if (results.rules == rule_set::full) {
        write_full_counts(out, row);
    } else {
        write_classic_counts(out, row);
    }
    std::fprintf(out, "\n");
    std::fprintf(out, "Kills/Deaths by player:\n");
    // First everyone p killed, then everyone who killed p and whom p never killed; the tests
    // look at the counts only, so p himself may appear.
    const kill_matrix& killed = results.head_to_head;
    auto put_opponent = [&](std::size_t q) {
        std::fprintf(out, "   %s - %d/%d\n", results.players[q].name.c_str(), killed.killed(p, q),
                     killed.killed(q, p));
    };
    for (std::size_t q = 0; q < results.players.size(); ++q) {
        if (killed.killed(p, q) > 0) {
            put_opponent(q);
        }
    }
    for (std::size_t q = 0; q < results.players.size(); ++q) {
        if (killed.killed(q, p) > 0 && killed.killed(p, q) == 0) {
            put_opponent(q);
        }
    }
    std::fprintf(out, "\n\n\n");
}

}  // namespace

bool write_txt(std::FILE* out, const run_results& results) {
    write_header(out);
    for (std::size_t p = 0; p < results.players.size(); ++p) {
        write_block(out, results, p);
    }
    return std::ferror(out) == 0;
}
