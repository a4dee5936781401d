#include "app/console.h"

#include <array>
#include <cstdio>

#ifdef _WIN32

#include <conio.h>
#include <windows.h>

namespace {

bool is_console(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

void ignore_broken_pipe() {}

bool output_is_console() {
    return is_console(STD_OUTPUT_HANDLE);
}

bool input_is_console() {
    return is_console(STD_INPUT_HANDLE);
}

bool console_is_own() {
    std::array<DWORD, 2> processes{};
    return GetConsoleProcessList(processes.data(), static_cast<DWORD>(processes.size())) == 1;
}

void clear_console() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out, &info)) {
        return;
    }
    DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    DWORD written = 0;
    COORD home = {0, 0};
    FillConsoleOutputCharacterA(out, ' ', cells, home, &written);
    FillConsoleOutputAttribute(out, info.wAttributes, cells, home, &written);
    SetConsoleCursorPosition(out, home);
}

void restore_console_settings() {}

void wait_for_key() {
    // _getch reads one key from the console without echo and leaves the console mode as it was.
    (void)_getch();
}

#else

#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace {

termios saved_settings;
volatile std::sig_atomic_t settings_changed = 0;

}  // namespace

void restore_console_settings() {
    if (settings_changed != 0) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_settings);
        settings_changed = 0;
    }
}

void ignore_broken_pipe() {
    std::signal(SIGPIPE, SIG_IGN);
}

bool output_is_console() {
    return isatty(STDOUT_FILENO) == 1;
}

bool input_is_console() {
    return isatty(STDIN_FILENO) == 1;
}

bool console_is_own() {
    return false;
}

void clear_console() {
    std::fputs("\033[H\033[2J", stdout);
    std::fflush(stdout);
}

void wait_for_key() {
    if (tcgetattr(STDIN_FILENO, &saved_settings) != 0) {
        return;
    }
    termios raw = saved_settings;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    settings_changed = 1;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
        char key = 0;
        while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
        }
    }
    restore_console_settings();
}

#endif
