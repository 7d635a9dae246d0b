// SPDX-License-Identifier: MIT
// Paths and folders: separators, joining, well-known folders, the
// program's own path, tests on folders and the start of a file. Paths are
// UTF-8 on every system; posix/ and windows/ implement the system calls.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The folder separator of this platform.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// True for a character that separates folders on this platform: "/" on
// Linux; "/" and "\\" on Windows.
inline constexpr bool IsPathSeparator(char c) {
    return c == '/' || c == kPathSeparator;
}

// Where the last folder separator of `path` is, or npos.
std::size_t LastSeparator(std::string_view path);

// `folder` and `name` joined with this platform's separator (none added when
// `folder` is empty or already ends in one).
std::string JoinPath(std::string_view folder, std::string_view name);

// The running program's full path, or empty when it cannot be found.
std::string ProgramPath();

// The folder where the current user's state files (the run log) live, created
// when missing, without a trailing separator; empty when there is none.
// Linux: $XDG_STATE_HOME/Morvik, by default ~/.local/state/Morvik.
std::string AppDataFolder();

// The folder where the current user's settings live, without a trailing
// separator and not created; empty when there is none.
// Linux: $XDG_CONFIG_HOME/Morvik, by default ~/.config/Morvik.
std::string UserConfigFolder();

// True when something (file or folder) exists at the path.
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);

// The path made absolute against the current folder; an absolute path and
// an empty one come back unchanged. "." and ".." parts are kept.
std::string AbsolutePath(std::string_view path);

// The folder part of a path, without its trailing separator ("/" for a file
// in the root); empty for a bare name.
std::string FolderOf(std::string_view path);

// Creates the folder and any missing parents; true when it exists afterwards.
bool CreateFolders(const std::string& path);

// True when the folder exists and this user may create files in it.
bool IsWritableFolder(const std::string& path);

// Reads at most `maxBytes` from the start of a regular file into `out`
// (replacing its contents). False, with `out` emptied, when the file cannot
// be opened or read or is a folder.
[[nodiscard]] bool ReadFileStart(const std::string& path, std::size_t maxBytes, std::string* out);

// How a command line is quoted for this platform's usual shell: POSIX sh, or
// the Windows rules by which CommandLineToArgvW splits a command line.
enum class ShellQuoting { kPosix, kWindows };
ShellQuoting NativeShellQuoting();

}  // namespace platform
