#include "report.h"

#include "report_rows.h"
#include "tables.h"

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

void write_block(std::FILE* out, std::size_t p) {
    const auto& row = stats[p];
    auto count = [&row](counter c) { return row[static_cast<std::size_t>(c)]; };
    std::fprintf(out, "============================================\n");
    std::fprintf(out, "-----===> %s\n", name[p].data());
    std::fprintf(out, "============================================\n");
    std::fprintf(out, "Kills/Deaths            : %d/%d\n", row[kills], row[deaths]);
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
    std::fprintf(out, "\n");
    std::fprintf(out, "Kills/Deaths by player:\n");
    // First everyone p killed, then everyone who killed p and whom p never killed; the tests
    // look at the counts only, so p himself may appear.
    for (std::size_t q = 0; q < max_players; ++q) {
        if (who_killed_who[p][q] > 0) {
            std::fprintf(out, "   %s - %d/%d\n", name[q].data(), who_killed_who[p][q],
                         who_killed_who[q][p]);
        }
    }
    for (std::size_t q = 0; q < max_players; ++q) {
        if (who_killed_who[q][p] > 0 && who_killed_who[p][q] == 0) {
            std::fprintf(out, "   %s - %d/%d\n", name[q].data(), who_killed_who[p][q],
                         who_killed_who[q][p]);
        }
    }
    std::fprintf(out, "\n\n\n");
}

}  // namespace

bool write_txt(std::FILE* out, const report_source& /*source*/) {
    write_header(out);
    for (int p = 0; p < player_count; ++p) {
        write_block(out, static_cast<std::size_t>(p));
    }
    return std::ferror(out) == 0;
}
