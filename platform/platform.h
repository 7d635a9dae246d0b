// SPDX-License-Identifier: MIT
// Operating-system services the engine and the program rely on: profile (INI)
// files, well-known folders, the program's own path, wildcard file search,
// code-page conversion and message display. posix/ implements them for Linux;
// a windows/ implementation can sit beside it with the same declarations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// ---- Profile (INI) files ----------------------------------------------------
// Sections and keys match without regard to letter case. A missing or
// unreadable file reads as empty.

// The key's value as a decimal integer: leading blanks and an optional sign,
// then digits up to the first non-digit. `fallback` when the file, section or
// key is missing; 0 when the value holds no digits.
int ReadProfileInt(std::string_view section, std::string_view key, int fallback,
                   const std::string& path);

// The key's value with surrounding blanks removed, or `fallback`.
std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view fallback, const std::string& path);

// Sets the key's value, creating the file, section or key as needed; every
// other line of the file is kept as it stands. The new file is written beside
// the old one and renamed over it, so a reader never sees half a file. False
// when the file cannot be written.
[[nodiscard]] bool WriteProfileString(std::string_view section, std::string_view key,
                                      std::string_view value, const std::string& path);

// ---- Folders and paths ----------------------------------------------------------

// The folder separator of this platform.
inline constexpr char kPathSeparator = '/';

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

// ---- Wildcard file search ----------------------------------------------------------

struct FoundFile {
    std::string name;  // the entry's name alone, without its folder
    bool isDirectory = false;
};

// Lists the entries of the pattern's folder whose names match its last
// component, where "*" stands for any run of characters and "?" for one
// character, ignoring letter case. A pattern without wildcards matches the
// one entry of that name. Entries come in sorted order (byte order of the
// names). Nothing matching, or a folder that cannot be read, gives an empty list.
std::vector<FoundFile> FindFiles(const std::string& pattern);

// True when the pattern's last component holds "*" or "?".
bool HasWildcard(std::string_view pattern);

// ---- Code pages -------------------------------------------------------------------

// Code-page numbers as Windows names them.
inline constexpr int kCodePageUtf8 = 65001;
inline constexpr int kCodePageUtf16Le = 1200;
inline constexpr int kCodePageUtf16Be = 1201;

struct SystemCodePages {
    int ansi = 1252;
    int oem = 437;
};

// The ANSI/OEM pair of this system. QUENDLE_ANSI_CODEPAGE and
// QUENDLE_OEM_CODEPAGE set them; otherwise the locale decides (Russian,
// Ukrainian, Belarusian and Bulgarian locales give 1251/866; others 1252/437).
SystemCodePages GetSystemCodePages();

// Converts text in a single-byte code page to UTF-8 through a table built
// once per code page. Cheap to copy.
class SingleByteDecoder {
public:
    // Fails (false) for unknown or multi-byte code pages.
    [[nodiscard]] bool Open(int codePage);
    int codePage() const { return codePage_; }
    // Appends the UTF-8 form of `bytes` to `out`. Bytes the code page leaves
    // undefined become U+FFFD, so the result is always valid UTF-8.
    void Decode(std::string_view bytes, std::string& out) const;

private:
    struct Table;
    std::shared_ptr<const Table> table_;
    int codePage_ = 0;
};

// Appends the UTF-8 form of a whole buffer in the code page named: UTF-8
// (65001, repaired), UTF-16 LE/BE (1200/1201, no byte-order mark expected),
// single-byte pages through their table, multi-byte pages through the
// system's converter. Invalid input becomes U+FFFD, so the result is always
// valid UTF-8. False (and `out` untouched) for unknown pages.
[[nodiscard]] bool ConvertToUtf8(int codePage, std::string_view in, std::string& out);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

// The Unicode replacement character, which stands in for undecodable bytes.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the UTF-8 character at text[i] (i < text.size()): its length in
// bytes, with *codePoint set; 0 when the bytes there start no well-formed
// character (overlong, surrogate, beyond U+10FFFF, cut short).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t* codePoint);

// Appends the UTF-8 form of a code point (at most U+10FFFF).
void AppendUtf8(char32_t codePoint, std::string& out);

// ---- Messages --------------------------------------------------------------------

enum class MessageIcon { kNone, kError, kWarning, kInformation };

// Where a message box goes. The program's windows and the silent paths
// supply their own; a null sink writes "<caption>: <text>" to stderr.
struct MessageSink {
    void* context = nullptr;
    void (*show)(void* context, std::string_view caption, std::string_view text,
                 MessageIcon icon) = nullptr;
};

// Shows the message through `sink`, or on stderr when `sink` is null. Never
// blocks on stderr.
void ShowMessage(const MessageSink* sink, std::string_view caption, std::string_view text,
                 MessageIcon icon);

}  // namespace platform
