#include "report.h"

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
    std::fprintf(out, "============================================\n");
    std::fprintf(out, "-----===> %s\n", name[p].data());
    std::fprintf(out, "============================================\n");
    std::fprintf(out, "Kills/Deaths            : %d/%d\n", row[kills], row[deaths]);
    std::fprintf(out, "Suicide by...\n");
    std::fprintf(out, "rocket/plasmagun/void/jumping/lava: %d/%d/%d/%d/%d\n", row[rocket_suicides],
                 row[plasma_suicides], row[void_suicides], row[crater_suicides],
                 row[lava_suicides]);
    std::fprintf(out, "\n");
    std::fprintf(out, "Weapon stats (kills for/kills against)\n");
    std::fprintf(out, "--------------------------------------\n");
    std::fprintf(out, "Gauntlet      : %d/%d\n", row[gauntlet_kills], row[gauntlet_deaths]);
    std::fprintf(out, "Machinegun    : %d/%d\n", row[mg_kills], row[mg_deaths]);
    std::fprintf(out, "Shotgun       : %d/%d\n", row[sg_kills], row[sg_deaths]);
    std::fprintf(out, "Direct hits RL: %d/%d\n", row[rl_direct_kills], row[rl_direct_deaths]);
    std::fprintf(out, "Close hits RL : %d/%d\n", row[rl_close_kills], row[rl_close_deaths]);
    std::fprintf(out, "Railgun       : %d/%d\n", row[rail_kills], row[rail_deaths]);
    std::fprintf(out, "Plasma Gun    : %d/%d\n", row[pg_kills], row[pg_deaths]);
    std::fprintf(out, "Lightning Gun : %d/%d\n", row[lg_kills], row[lg_deaths]);
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
