// Drives a Windows program with the console events a player sends it, for the end-to-end tests
// of --follow under wine:
//     console_events <event> <program> [argument ...]
// Starts the program with this driver's standard output and error, sharing the driver's
// console, or with a console of its own for close-console. Once a line comes on standard input
// (the test has seen the program's live reports), it sends the event:
//     break          Ctrl-Break;
//     break-twice    two Ctrl-Breaks, the second as soon as the first has been handled;
//     close          the event of a closed console window;
//     close-console  the program's own console closed: WM_CLOSE to its window or, when it has
//                    none, its host process ended. For a check by hand on Windows: under wine 8
//                    the program gets no event either way (wine's console host sends none when
//                    its window closes, and a console without a display has no window), and it
//                    runs on.
// Ctrl-Break goes through GenerateConsoleCtrlEvent to the program's own process group when the
// console passes it on; otherwise, and always for the event of a closed console (which that
// function does not send), the system's control routine runs in the program on a thread of its
// own with the event, which is how Windows delivers every console event. The driver says on
// standard error which way it took. Then it waits up to 60 seconds for the program, says
// "exit <status>" on standard output and ends with the program's status; with 125 when the
// driver itself fails, said on standard error.
#include <array>
#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>

#include <windows.h>

#include <tlhelp32.h>

namespace {

constexpr int driver_failed = 125;

int fail(const char* what) {
    std::fprintf(stderr, "console_events: %s failed: error %lu\n", what, GetLastError());
    std::fflush(stderr);
    return driver_failed;
}

void say(const char* what) {
    std::fprintf(stderr, "console_events: %s\n", what);
    std::fflush(stderr);
}

// Appends an argument to a command line, quoted by the rules the C runtime reads it back with.
void append_argument(std::wstring& line, std::wstring_view argument) {
    if (!line.empty()) {
        line += L' ';
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            // Backslashes before a quote are doubled, and the quote escaped.
            if (c == L'"') {
                line.append(backslashes + 1, L'\\');
            }
            backslashes = 0;
        }
        line += c;
    }
    // So are those before the closing quote.
    line.append(backslashes, L'\\');
    line += L'"';
}

// Starts a process with the command line, this driver's standard output and error (and input,
// when asked) and the creation flags; false when it cannot.
bool start(const wchar_t* program, std::wstring line, DWORD flags, bool with_input,
           PROCESS_INFORMATION& started) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = with_input ? GetStdHandle(STD_INPUT_HANDLE) : nullptr;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        if (handle != nullptr) {
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        }
    }
    if (!CreateProcessW(program, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                        &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    return true;
}

// Runs this driver again, with the same arguments and standard handles, in a new console
// without a window (a program started from wine's Unix side has a console that takes no
// event), and returns its exit status.
int run_inside_console() {
    SetEnvironmentVariableW(L"CONSOLE_EVENTS_INSIDE", L"1");
    PROCESS_INFORMATION inside{};
    if (!start(nullptr, GetCommandLineW(), CREATE_NO_WINDOW, true, inside)) {
        return fail("starting the driver in a console");
    }
    WaitForSingleObject(inside.hProcess, INFINITE);
    DWORD status = driver_failed;
    GetExitCodeProcess(inside.hProcess, &status);
    return static_cast<int>(status);
}

// Takes the Ctrl-Break that console_sends_break sends to the driver.
BOOL WINAPI take_break(DWORD event) {
    return event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

// Whether this console passes Ctrl-Break on from GenerateConsoleCtrlEvent: tried on the driver
// alone, before the program starts. Wine 8 refuses it (error 6), though it sends Ctrl-C.
bool console_sends_break() {
    SetConsoleCtrlHandler(take_break, TRUE);
    if (GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0)) {
        say("Ctrl-Break goes through GenerateConsoleCtrlEvent");
        return true;
    }
    std::fprintf(stderr,
                 "console_events: GenerateConsoleCtrlEvent refused Ctrl-Break (error %lu); "
                 "running CtrlRoutine in the program instead\n",
                 GetLastError());
    std::fflush(stderr);
    return false;
}

// Runs the system's control routine in the program on a new thread, with the event as its
// argument, as Windows does in each process of a console that has an event for it.
int run_control_routine(HANDLE program, DWORD event) {
    HMODULE kernelbase = GetModuleHandleW(L"kernelbase.dll");
    FARPROC routine = kernelbase != nullptr ? GetProcAddress(kernelbase, "CtrlRoutine") : nullptr;
    if (routine == nullptr) {
        return fail("finding CtrlRoutine");
    }
    // Kernelbase lies at one address in every process of a session.
    HANDLE thread = CreateRemoteThread(
        program, nullptr, 0,
        reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(routine)),
        reinterpret_cast<void*>(static_cast<ULONG_PTR>(event)), 0, nullptr);
    if (thread == nullptr) {
        return fail("CreateRemoteThread");
    }
    // Until the program has handled the event (or ended), so that a second event finds the
    // first taken, as a second Ctrl-Break from a player's hand does.
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    return 0;
}

// The host process of the program's own console: a conhost.exe that the program (wine starts
// it in the new process) or the driver started.
DWORD console_host_of(DWORD program) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    DWORD found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more != FALSE;
         more = Process32NextW(snapshot, &entry)) {
        if ((entry.th32ParentProcessID == program ||
             entry.th32ParentProcessID == GetCurrentProcessId()) &&
            _wcsicmp(entry.szExeFile, L"conhost.exe") == 0) {
            found = entry.th32ProcessID;
        }
    }
    CloseHandle(snapshot);
    return found;
}

// Closes the program's own console as a player closing its window does, or as near as the
// platform allows.
int close_console(DWORD program) {
    // Looked for first: on wine the host ends when a process that attached to the console
    // detaches again.
    DWORD host = console_host_of(program);
    FreeConsole();
    if (!AttachConsole(program)) {
        return fail("AttachConsole");
    }
    HWND window = GetConsoleWindow();
    if (window != nullptr) {
        say("sending WM_CLOSE to the console window");
        return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : fail("PostMessage");
    }
    if (host == 0) {
        say("the program's console has no window and no host process");
        return driver_failed;
    }
    say("the program's console has no window: ending its host process");
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, host);
    if (process == nullptr || !TerminateProcess(process, 0)) {
        return fail("ending the console host");
    }
    CloseHandle(process);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        say("usage: console_events break|break-twice|close|close-console <program> "
            "[argument ...]");
        return driver_failed;
    }
    std::wstring_view event = argv[1];
    bool breaks = event == L"break" || event == L"break-twice";
    bool own_console = event == L"close-console";
    if (!breaks && !own_console && event != L"close") {
        say("unknown event");
        return driver_failed;
    }
    if (breaks && GetEnvironmentVariableW(L"CONSOLE_EVENTS_INSIDE", nullptr, 0) == 0) {
        return run_inside_console();
    }
    // A process group of its own is what GenerateConsoleCtrlEvent sends to; but under wine a
    // process so started ran its handler for no event (Windows turns off only Ctrl-C there), so
    // the program stays in the driver's group when the control routine delivers the event.
    bool by_console = breaks && console_sends_break();
    DWORD flags = own_console ? CREATE_NEW_CONSOLE : by_console ? CREATE_NEW_PROCESS_GROUP : 0;

    std::wstring line;
    for (int i = 2; i < argc; ++i) {
        append_argument(line, argv[i]);
    }
    PROCESS_INFORMATION child{};
    if (!start(argv[2], line, flags, false, child)) {
        return fail("CreateProcess");
    }
    std::array<char, 64> go{};
    if (std::fgets(go.data(), static_cast<int>(go.size()), stdin) == nullptr) {
        TerminateProcess(child.hProcess, driver_failed);
        say("standard input ended before the go");
        return driver_failed;
    }
    int sent = 0;
    int times = event == L"break-twice" ? 2 : 1;
    for (int i = 0; i < times && sent == 0; ++i) {
        if (own_console) {
            sent = close_console(child.dwProcessId);
        } else if (by_console) {
            sent = GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, child.dwProcessId)
                       ? 0
                       : fail("GenerateConsoleCtrlEvent");
        } else {
            sent =
                run_control_routine(child.hProcess, breaks ? CTRL_BREAK_EVENT : CTRL_CLOSE_EVENT);
        }
    }
    if (sent != 0) {
        TerminateProcess(child.hProcess, driver_failed);
        return sent;
    }
    if (WaitForSingleObject(child.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(child.hProcess, driver_failed);
        say("the program did not end within 60 s");
        return driver_failed;
    }
    DWORD status = driver_failed;
    GetExitCodeProcess(child.hProcess, &status);
    std::printf("exit %lu\n", status);
    std::fflush(stdout);
    return static_cast<int>(status);
}
