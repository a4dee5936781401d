#include "report.h"

#include <cerrno>
#include <cstdio>

#include "messages.h"
#include "tables.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr const char* report_name = "qconsole.txt";

// A temporary file in the current folder, so the final rename stays on one file system.
struct temp_file {
    std::FILE* stream = nullptr;
    char path[64] = {};
};

#ifdef _WIN32

bool create_temp(temp_file& temp) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::snprintf(temp.path, sizeof temp.path, "%s.%d.%d.tmp", report_name, _getpid(), attempt);
        int fd = _open(temp.path, _O_CREAT | _O_EXCL | _O_WRONLY | _O_TEXT, _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            temp.stream = _fdopen(fd, "w");
            if (temp.stream == nullptr) {
                int error = errno;
                _close(fd);
                std::remove(temp.path);
                errno = error;
                return false;
            }
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

// The errno value whose text tells the user why the rename failed, worded as on POSIX systems.
int error_of_failed_rename(DWORD error) {
    DWORD attributes = GetFileAttributesA(report_name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return EISDIR;
    }
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        default:
            return EIO;
    }
}

bool replace_report(const temp_file& temp) {
    if (MoveFileExA(temp.path, report_name, MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    errno = error_of_failed_rename(GetLastError());
    return false;
}

#else

bool create_temp(temp_file& temp) {
    std::snprintf(temp.path, sizeof temp.path, "%s.XXXXXX", report_name);
    int fd = mkstemp(temp.path);
    if (fd < 0) {
        return false;
    }
    // mkstemp makes the file private; give the report the permissions a new file gets.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, static_cast<mode_t>(0666 & ~mask));
    temp.stream = fdopen(fd, "w");
    if (temp.stream == nullptr) {
        int error = errno;
        close(fd);
        std::remove(temp.path);
        errno = error;
        return false;
    }
    return true;
}

bool replace_report(const temp_file& temp) {
    return std::rename(temp.path, report_name) == 0;
}

#endif

void write_header(std::FILE* out) {
    std::fprintf(out, "fragtally, version %s\n", program_version);
    std::fprintf(out, "Written by the fragtally developers.\n");
    std::fprintf(out, "Free software under the MIT licence, with no warranty.\n");
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

bool write_txt() {
    temp_file temp;
    if (!create_temp(temp)) {
        report_failure("cannot create", report_name, errno);
        return false;
    }
    errno = 0;
    write_header(temp.stream);
    for (int p = 0; p < player_count; ++p) {
        write_block(temp.stream, static_cast<std::size_t>(p));
    }
    bool written = std::fflush(temp.stream) == 0 && std::ferror(temp.stream) == 0;
    int error = errno != 0 ? errno : EIO;
    if (std::fclose(temp.stream) != 0 && written) {
        written = false;
        error = errno != 0 ? errno : EIO;
    }
    if (!written || !replace_report(temp)) {
        if (written) {
            error = errno;
        }
        std::remove(temp.path);
        report_failure("cannot write", report_name, error);
        return false;
    }
    return true;
}
