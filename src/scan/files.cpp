#include "scan/files.h"

#include <cerrno>

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

#ifdef _WIN32
constexpr std::string_view separators = "/\\:";
#else
constexpr std::string_view separators = "/";
#endif

// What a temporary name adds to its stem: a dot and six characters that make it unique.
constexpr std::size_t temp_suffix_size = 7;

// A name this long, with the suffix, fits in any file system in use; a longer one may be near
// the longest a folder takes (255 bytes on most, 143 on some), so it gives up its last seven
// characters (whole UTF-8 sequences, a UTF-16 unit or two each on Windows) for the suffix, and
// the temporary name is never longer than the report's.
constexpr std::size_t whole_name_limit = 64 - temp_suffix_size;

// The target's path up to where the temporary file's suffix goes.
std::string temp_stem(const std::string& target) {
    std::size_t name_at = target.size() - name_of(target).size();
    std::size_t end = target.size();
    if (end - name_at <= whole_name_limit) {
        return target;
    }
    for (std::size_t dropped = 0; dropped < temp_suffix_size && end > name_at; ++dropped) {
        do {
            --end;
        } while (end > name_at && (static_cast<unsigned char>(target[end]) & 0xc0U) == 0x80);
    }
    return target.substr(0, end);
}

}  // namespace

std::string_view folder_of(std::string_view path) {
    std::size_t last = path.find_last_of(separators);
    return last == std::string_view::npos ? std::string_view{} : path.substr(0, last + 1);
}

std::string_view name_of(std::string_view path) {
    return path.substr(folder_of(path).size());
}

#ifdef _WIN32

namespace {

std::wstring wide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        size);
    return result;
}

// Identifies a file by its volume and index, which links and different spellings share.
bool identify(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    // Backup semantics let folders be opened too; no access right is needed to read the index.
    HANDLE handle =
        CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    return known;
}

// The errno value whose text tells the user why the rename failed, worded as on POSIX systems.
int error_of_failed_rename(const std::string& target, DWORD error) {
    DWORD attributes = GetFileAttributesW(wide(target).c_str());
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
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        default:
            return EIO;
    }
}

}  // namespace

std::FILE* open_for_reading(const std::string& path) {
    return _wfopen(wide(path).c_str(), L"rb");
}

std::FILE* open_for_following(const std::string& path) {
    // The game holds its log open and truncates it at start: sharing write and delete lets it.
    HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND
                    ? ENOENT
                    : EACCES;
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* in = _fdopen(fd, "rb");
    if (in == nullptr) {
        _close(fd);
    }
    return in;
}

followed_file check_followed(const std::string& path, std::FILE* in) {
    BY_HANDLE_FILE_INFORMATION named{};
    BY_HANDLE_FILE_INFORMATION open{};
    if (!identify(path, named)) {
        return followed_file::missing;
    }
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in)));
    if (GetFileInformationByHandle(handle, &open) == 0) {
        return followed_file::other;
    }
    return named.dwVolumeSerialNumber == open.dwVolumeSerialNumber &&
                   named.nFileIndexHigh == open.nFileIndexHigh &&
                   named.nFileIndexLow == open.nFileIndexLow
               ? followed_file::same
               : followed_file::other;
}

bool size_of_open_file(std::FILE* in, std::uint64_t& size) {
    LARGE_INTEGER bytes{};
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in)));
    if (GetFileSizeEx(handle, &bytes) == 0) {
        return false;
    }
    size = static_cast<std::uint64_t>(bytes.QuadPart);
    return true;
}

std::size_t read_start_of(std::FILE* in, char* out, std::size_t size) {
    // A read at an offset moves the handle's file pointer, which the stream reads on from.
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in)));
    LARGE_INTEGER here{};
    LARGE_INTEGER none{};
    if (SetFilePointerEx(handle, none, &here, FILE_CURRENT) == 0) {
        return 0;
    }
    OVERLAPPED at{};
    DWORD got = 0;
    if (ReadFile(handle, out, static_cast<DWORD>(size), &got, &at) == 0) {
        got = 0;
    }
    SetFilePointerEx(handle, here, nullptr, FILE_BEGIN);
    return got;
}

void read_on_after_end(std::FILE* in) {
    std::clearerr(in);
    // A read that reaches the end marks the descriptor at its end (wine's msvcrt does, in
    // binary mode too), and each later read returns 0 without asking the file; only a seek
    // takes the mark off. The stream's buffer is empty after a short read, so the seek to where
    // it stands drops no byte.
    _fseeki64(in, 0, SEEK_CUR);
}

bool same_file(const std::string& first, const std::string& second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return identify(first, a) && identify(second, b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool same_name(std::string_view first, std::string_view second) {
    if (first.size() != second.size()) {
        return false;
    }
    for (std::size_t i = 0; i < first.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(first[i]) != lower(second[i])) {
            return false;
        }
    }
    return true;
}

bool create_temp_beside(const std::string& target, bool text_mode, temp_file& temp) {
    int mode = _O_CREAT | _O_EXCL | _O_WRONLY | (text_mode ? _O_TEXT : _O_BINARY);
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Six characters from the process and the attempt, as mkstemp's are elsewhere.
        unsigned long long unique = static_cast<unsigned long long>(_getpid()) * 100U +
                                    static_cast<unsigned long long>(attempt);
        temp.path = temp_stem(target) + ".";
        for (int i = 0; i < 6; ++i) {
            temp.path += "0123456789abcdefghijklmnopqrstuvwxyz"[unique % 36U];
            unique /= 36U;
        }
        int fd = _wopen(wide(temp.path).c_str(), mode, _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            temp.stream = _fdopen(fd, text_mode ? "w" : "wb");
            if (temp.stream == nullptr) {
                int error = errno;
                _close(fd);
                remove_file(temp.path);
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

bool replace_with(const temp_file& temp, const std::string& target) {
    if (MoveFileExW(wide(temp.path).c_str(), wide(target).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    errno = error_of_failed_rename(target, GetLastError());
    return false;
}

void remove_file(const std::string& path) {
    _wremove(wide(path).c_str());
}

void make_stdout_binary() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

#else

std::FILE* open_for_reading(const std::string& path) {
    return std::fopen(path.c_str(), "rb");
}

std::FILE* open_for_following(const std::string& path) {
    return std::fopen(path.c_str(), "rb");
}

followed_file check_followed(const std::string& path, std::FILE* in) {
    struct stat named {};
    struct stat open {};
    if (stat(path.c_str(), &named) != 0) {
        return followed_file::missing;
    }
    if (fstat(fileno(in), &open) != 0) {
        return followed_file::other;
    }
    return named.st_dev == open.st_dev && named.st_ino == open.st_ino ? followed_file::same
                                                                      : followed_file::other;
}

bool size_of_open_file(std::FILE* in, std::uint64_t& size) {
    struct stat open {};
    if (fstat(fileno(in), &open) != 0) {
        return false;
    }
    size = static_cast<std::uint64_t>(open.st_size);
    return true;
}

std::size_t read_start_of(std::FILE* in, char* out, std::size_t size) {
    ssize_t got = pread(fileno(in), out, size, 0);
    return got < 0 ? 0 : static_cast<std::size_t>(got);
}

void read_on_after_end(std::FILE* in) {
    // The C library asks the file again once the mark is off.
    std::clearerr(in);
}

bool same_file(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

bool same_name(std::string_view first, std::string_view second) {
    return first == second;
}

bool create_temp_beside(const std::string& target, bool /*text_mode*/, temp_file& temp) {
    temp.path = temp_stem(target) + ".XXXXXX";
    int fd = mkstemp(temp.path.data());
    if (fd < 0) {
        return false;
    }
    // mkstemp makes the file private; give the report the permissions the report it replaces
    // has, or those a new file gets.
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        fchmod(fd, existing.st_mode & 0777);
    } else {
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, static_cast<mode_t>(0666 & ~mask));
    }
    temp.stream = fdopen(fd, "w");
    if (temp.stream == nullptr) {
        int error = errno;
        close(fd);
        remove_file(temp.path);
        errno = error;
        return false;
    }
    return true;
}

bool replace_with(const temp_file& temp, const std::string& target) {
    return std::rename(temp.path.c_str(), target.c_str()) == 0;
}

void remove_file(const std::string& path) {
    std::remove(path.c_str());
}

void make_stdout_binary() {}

#endif
