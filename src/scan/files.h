// The file operations the program needs, over paths in UTF-8 on every platform: on Windows
// they go through the wide-character API, so any Unicode path works.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Opens a file for reading in binary mode; returns nullptr with errno set on failure.
std::FILE* open_for_reading(const std::string& path);

// Opens a log that another program is writing, for reading in binary mode, in a way that lets
// that program go on writing, truncating, replacing or deleting it (on Windows, the sharing
// that allows it); returns nullptr with errno set on failure.
std::FILE* open_for_following(const std::string& path);

// What a followed log's path names now, against the file open for reading.
enum class followed_file { same, missing, other };

// Tells whether the path still names the open file, names no file, or names another file.
followed_file check_followed(const std::string& path, std::FILE* in);

// Sets size to the open file's size now; false when it cannot be told.
bool size_of_open_file(std::FILE* in, std::uint64_t& size);

// Reads up to size of the open file's first bytes into out and returns how many it got,
// without moving the stream, whose buffered bytes stay as they were.
std::size_t read_start_of(std::FILE* in, char* out, std::size_t size);

// Makes a stream whose read stopped at the end of its file read on from there when the file
// grows: clears the stream's end-of-file mark and, on Windows, the C runtime's mark on the file
// descriptor, which a read past the end sets and which the next reads return 0 for until a
// seek. Call after a short read of a file that another program may append to.
void read_on_after_end(std::FILE* in);

// Tells whether both paths name one existing file, also through links; false when either
// does not exist.
bool same_file(const std::string& first, const std::string& second);

// The folder part of a path, up to and including its last separator; empty for a bare name.
std::string_view folder_of(std::string_view path);

// The last part of a path, after its last separator.
std::string_view name_of(std::string_view path);

// Whether two names within one folder name the same entry (on Windows, case does not matter).
bool same_name(std::string_view first, std::string_view second);

// A new file beside its target, written in full and then renamed over the target.
struct temp_file {
    std::FILE* stream = nullptr;
    std::string path;
};

// Creates a new, empty temporary file in the folder of target, open for writing in text mode
// (text_mode: "\n" stored as the platform's line end) or binary mode. Returns false with
// errno set on failure.
bool create_temp_beside(const std::string& target, bool text_mode, temp_file& temp);

// Renames the closed temporary file over target, replacing it. Returns false with errno set on
// failure (EISDIR when target is a folder).
bool replace_with(const temp_file& temp, const std::string& target);

// Removes a file, ignoring failure.
void remove_file(const std::string& path);

// Puts standard output into binary mode (no line-end translation); a no-op on POSIX systems.
void make_stdout_binary();
