// SPDX-License-Identifier: MIT
// Operating-system services the engine and the program rely on: profile (INI)
// files, well-known folders, the program's own path, wildcard file search,
// code-page conversion, message display, files and modules. posix/ implements
// them for Linux and windows/ for Windows, with the same declarations. Paths
// are UTF-8 on every system; the Windows side turns them into wide paths.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
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

// True when `name` matches `pattern` (one path component): "*" any run of
// characters, "?" one character, ASCII letters without regard to case.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

// True when the pattern's last component holds "*" or "?".
bool HasWildcard(std::string_view pattern);

// What both systems' FindFiles do with the entries they matched: sorts them
// by name and, for a `lastComponent` without wildcards that several entries
// match when case is ignored, keeps the one spelled exactly so, if any.
void OrderFoundFiles(std::vector<FoundFile>& found, std::string_view lastComponent);

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

// ---- Files -------------------------------------------------------------------------

// What went wrong with a file, for callers that react to the kind; the
// message that goes with it is always complete and names the file.
enum class FileStatus {
    kOk,
    kNotFound,        // the file or a folder on its path does not exist
    kAccessDenied,    // the file itself may not be opened or written
    kFolderReadOnly,  // the folder may not be written, so no new file can go there
    kInUse,           // another program holds the file open and shares no writing
    kNoSpace,         // the disk or a quota is full
    kNotAFile,        // a folder or a device where a file was expected
    kFailed,          // anything else; the message carries the system's words
};

// A move-only handle of an open file, closed on destruction. Reads and writes
// go to explicit offsets or to a position the handle keeps itself, always in
// binary: no byte is ever translated.
class File {
public:
    File() = default;
    ~File() { Close(); }
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const;
    // Writes every byte at the handle's position and moves it on (at the end
    // of the file for an appending handle). False on failure, see ErrorText().
    [[nodiscard]] bool WriteAll(std::span<const char> bytes);
    // Writes every byte at `offset`; the handle's position stays.
    [[nodiscard]] bool WriteAt(std::uint64_t offset, std::span<const char> bytes);
    // Reads exactly `bytes.size()` bytes at `offset`; false on failure or when
    // the file ends first.
    [[nodiscard]] bool ReadAt(std::uint64_t offset, std::span<char> bytes);
    // Reads up to `bytes.size()` bytes at the handle's position into *got
    // (0 at the end of the file) and moves the position on.
    [[nodiscard]] bool Read(std::span<char> bytes, std::size_t* got);
    // The file's size in bytes.
    [[nodiscard]] bool Size(std::uint64_t* size);
    // Waits until what was written is on the disk.
    [[nodiscard]] bool Sync();
    // Closes the handle; false when the system reports a late write failure.
    bool Close();
    // The system's words for the last failure, e.g. "No space left on device".
    std::string ErrorText() const;
    // The kind of the last failure.
    FileStatus LastStatus() const;

private:
    friend struct FileAccess;
    std::intptr_t handle_ = -1;  // a descriptor, or a HANDLE on Windows
    std::uint64_t position_ = 0;
    bool append_ = false;
    unsigned long error_ = 0;  // errno, or GetLastError() on Windows
};

// Opens an existing file for reading. On failure `error` reads
// "Cannot open <path>: <reason>".
[[nodiscard]] FileStatus OpenFileForReading(const std::string& path, File& file,
                                            std::string& error);

// Opens a file for appending, creating it when missing.
[[nodiscard]] FileStatus OpenFileForAppending(const std::string& path, File& file,
                                              std::string& error);

// Creates an anonymous scratch file in the system's temporary folder. It is
// gone once the handle is closed, even when the process dies first.
[[nodiscard]] FileStatus OpenScratchFile(File& file, std::string& error);

// A new file beside `target` that becomes the target, in one atomic replace,
// only on Commit(); on every other path (failure, destruction, and in a
// program that called RemovePendingFilesOnTermination, SIGINT, SIGTERM or
// SIGHUP) it is removed. One left by a process that was killed is removed by
// the next save into its folder, once nothing holds it. A target that is a
// symbolic link is saved through: the link stays and its target gets the new
// content. An existing target's permissions carry over to the new file. When
// this thread holds a WorkbookLock on the target, Commit replaces nothing
// that changed since the lock was taken (a file that appeared, or one that
// was replaced or rewritten): it fails and leaves that file as it is.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file. On failure `error` names the target (or its
    // folder, when that is what cannot be written) and says why.
    [[nodiscard]] FileStatus Create(const std::string& target, std::string& error);
    File& file() { return file_; }
    // Flushes the file to disk, closes it and replaces the target with it.
    [[nodiscard]] FileStatus Commit(std::string& error);
    // The temporary file's path while one exists.
    const std::string& temporaryPath() const { return temporaryPath_; }

private:
    void Discard();

    File file_;
    std::string target_;         // where the content goes, links resolved
    std::string requested_;      // the name the caller gave, for messages
    std::string temporaryPath_;  // empty once committed or removed
    int slot_ = -1;              // in the registry the signal handler clears
};

// Removes every pending temporary file of the process. Safe to call from a
// signal handler.
void RemovePendingFiles();

// Makes SIGINT, SIGTERM and SIGHUP (on Windows, Ctrl+C and the closing of the
// console) remove the pending temporary files, then end the process as they
// would have. For programs only: a library leaves its host's process-wide
// state alone. A signal the program already handles or ignores keeps that.
void RemovePendingFilesOnTermination();

// ---- Workbook locks --------------------------------------------------------------------

enum class LockStatus {
    kOk,
    kTimedOut,       // another conversion held the workbook for the whole wait
    kOpenElsewhere,  // another program has the workbook open
    kCancelled,      // the wait was cancelled
    kFailed,         // anything else; the message says why
};

// Told once when Acquire has to wait for another holder; a wait also ends
// as soon as `cancel` (when given) becomes non-zero.
struct LockWaitNotice {
    void* context = nullptr;
    void (*waiting)(void* context) = nullptr;
    const std::atomic<std::int32_t>* cancel = nullptr;
};

// Keeps every other conversion, in this process or another, away from a
// workbook from its load to its save. It is two locks: one among the threads
// of this process, keyed by the workbook's absolute path, and one of the
// system on a hidden file beside the workbook, which the system drops when
// the process ends however it ends, so a killed conversion holds nothing.
// On Windows the workbook itself is also held open against other writers.
// A workbook whose office owner file (".~lock.NAME#", "~$NAME") lies beside
// it is open in another program and is refused. Released on destruction.
class WorkbookLock {
public:
    WorkbookLock() = default;
    ~WorkbookLock() { Release(); }
    WorkbookLock(const WorkbookLock&) = delete;
    WorkbookLock& operator=(const WorkbookLock&) = delete;

    // Takes the lock on the workbook at `path` (which need not exist),
    // waiting at most `wait` for other holders. On any status but kOk
    // nothing is held and `error` names the workbook and says why.
    [[nodiscard]] LockStatus Acquire(const std::string& path, std::chrono::milliseconds wait,
                                     const LockWaitNotice& notice, std::string& error);
    void Release();

private:
    std::string key_;                // the in-process key while held
    std::string lockPath_;           // the hidden file beside the workbook
    std::intptr_t lockHandle_ = -1;  // its descriptor or HANDLE; -1 when none
};

// True when the path names a symbolic link.
bool IsSymbolicLink(const std::string& path);

// ---- Clock -----------------------------------------------------------------------------

// Breaks a time into the local calendar, thread-safely; false when it cannot.
[[nodiscard]] bool LocalTime(std::time_t time, std::tm* out);

// Breaks a time into the UTC calendar, thread-safely; false when it cannot.
[[nodiscard]] bool UtcTime(std::time_t time, std::tm* out);

// ---- Modules, terminals, the command line -------------------------------------------

// A shared library loaded at run time; unloaded on destruction unless kept.
class Module {
public:
    Module() = default;
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // Loads the module; false with the system's reason in `error`.
    [[nodiscard]] bool Load(const std::string& path, std::string& error);
    // The address of an exported function, or null.
    void* Symbol(const char* name) const;
    // Leaves the module loaded for the rest of the process.
    void Keep() { handle_ = nullptr; }

private:
    void* handle_ = nullptr;
};

// True when the standard error stream is an interactive terminal (or console).
bool StandardErrorIsTerminal();

// Writes bytes to the standard error stream unbuffered; failures are ignored.
void WriteStandardError(std::string_view text);

// The program's arguments as UTF-8 texts, argv[0] first. POSIX passes them on
// as they are; Windows reads the wide command line, so names outside the
// ANSI code page survive.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The UTF-8 form of a narrow text another program passed to the library: in
// the ANSI code page on Windows, as Windows programs pass them; unchanged on
// POSIX, where texts are UTF-8.
std::string CallerTextToUtf8(std::string_view text);

}  // namespace platform
