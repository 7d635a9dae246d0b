// SPDX-License-Identifier: MIT
// Files on Windows through the wide calls, so any UTF-8 name of any length
// works. Handles are binary; positions are our own, because a read or write
// at an offset moves a synchronous handle's position. Scratch files delete
// themselves on close; the save beside the target is committed with
// ReplaceFileW (which keeps the old file's attributes and access rights) or
// MoveFileExW, and a file another program holds is named as such.
#include "platform/files.h"

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <utility>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files_backend.h"
#include "platform/find_files.h"
#include "platform/path_names.h"
#include "platform/paths.h"
#include "platform/shared_library.h"
#include "platform/windows/wide.h"
#include "platform/workbook_lock_backend.h"

namespace platform {

using windows::ErrorText;
using windows::NarrowPath;
using windows::WidePath;

struct FileAccess {
    static void Adopt(File& file, HANDLE handle, bool append) {
        (void)file.Close();
        file.handle_ = reinterpret_cast<std::intptr_t>(handle);
        file.position_ = 0;
        file.append_ = append;
        file.error_ = 0;
    }
    static HANDLE Handle(const File& file) { return reinterpret_cast<HANDLE>(file.handle_); }
};

namespace {

FileStatus StatusOf(DWORD code) {
    switch (code) {
        case ERROR_SUCCESS:
            return FileStatus::kOk;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return FileStatus::kNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return FileStatus::kAccessDenied;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
        case ERROR_UNABLE_TO_REMOVE_REPLACED:
            return FileStatus::kInUse;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FileStatus::kNoSpace;
        case ERROR_DIRECTORY:
            return FileStatus::kNotAFile;
        default:
            return FileStatus::kFailed;
    }
}

std::string InUseText(const std::string& path) {
    return path + " is open in another program; close it and try again";
}

DWORD Attributes(const std::string& path) {
    return GetFileAttributesW(WidePath(path).c_str());
}

// ---- The table of pending temporary files -------------------------------------------

// Ctrl+C and console closing run their handler on a thread of their own while
// the save goes on, so the handler marks each pending file for deletion
// through its handle; the system removes it when the process ends.
constexpr std::size_t kPendingSlots = 64;
std::array<std::atomic<HANDLE>, kPendingSlots> pendingHandles{};

BOOL WINAPI OnConsoleControl(DWORD) {
    RemovePendingFiles();
    return FALSE;  // the default handler ends the process
}

int RegisterPending(HANDLE handle) {
    for (std::size_t i = 0; i < pendingHandles.size(); ++i) {
        HANDLE expected = nullptr;
        if (pendingHandles[i].compare_exchange_strong(expected, handle)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void UnregisterPending(int slot) {
    if (slot >= 0) {
        pendingHandles[static_cast<std::size_t>(slot)].store(nullptr);
    }
}

// Removes the temporary files in `folder` that saves of processes since ended
// left behind. A live save holds its file open unshared, which refuses the
// deletion; the age keeps off the moment between its close and its rename.
void RemoveAbandonedSaves(const std::string& folder) {
    constexpr std::uint64_t kAbandonedAfter = 60ull * 10000000;  // in 100 ns, a minute
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    for (const FoundFile& found :
         FindFiles(JoinPath(folder, std::string(detail::kSavePrefix) + "*"))) {
        const std::wstring path = WidePath(JoinPath(folder, found.name));
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!found.isDirectory &&
            GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
            ticks(now) - ticks(data.ftLastWriteTime) >= kAbandonedAfter) {
            (void)DeleteFileW(path.c_str());  // best effort: it is only clutter
        }
    }
}

// The file a symbolic link leads to, when `path` is one and its target
// exists; otherwise `path` itself.
std::string ResolveLinks(const std::string& path) {
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return path;
    }
    HANDLE handle = CreateFileW(WidePath(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return path;
    }
    std::wstring final(32768, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    if (length == 0 || length >= final.size()) {
        return path;
    }
    final.resize(length);
    return NarrowPath(final);
}

}  // namespace

namespace detail {

std::string SaveTarget(const std::string& path) {
    return ResolveLinks(path);
}

}  // namespace detail

void RemovePendingFilesOnTermination() {
    static std::once_flag once;
    std::call_once(once, [] { (void)SetConsoleCtrlHandler(OnConsoleControl, TRUE); });
}

void RemovePendingFiles() {
    for (std::atomic<HANDLE>& slot : pendingHandles) {
        HANDLE handle = slot.load();
        if (handle != nullptr) {
            FILE_DISPOSITION_INFO dispose{};
            dispose.DeleteFile = TRUE;
            (void)SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose);
        }
    }
}

// ---- File -----------------------------------------------------------------------------

bool File::IsOpen() const {
    return handle_ != -1;
}

bool File::Close() {
    if (handle_ == -1) {
        return true;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(std::exchange(handle_, -1));
    if (!CloseHandle(handle)) {
        error_ = GetLastError();
        return false;
    }
    return true;
}

namespace {

// One call moves at most this much; WriteFile and ReadFile count in DWORDs.
constexpr std::size_t kMaxTransfer = 1u << 30;

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return where;
}

}  // namespace

namespace detail {

bool AppendAll(std::intptr_t handle, std::span<const char> bytes, unsigned long* error) {
    // An appending handle (FILE_APPEND_DATA only) writes at the end.
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto take = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer));
        if (!WriteFile(reinterpret_cast<HANDLE>(handle), bytes.data(), take, &written, nullptr) ||
            written == 0) {
            *error = GetLastError();
            return false;
        }
        bytes = bytes.subspan(written);
    }
    return true;
}

}  // namespace detail

bool File::WriteAt(std::uint64_t offset, std::span<const char> bytes) {
    while (!bytes.empty()) {
        OVERLAPPED where = At(offset);
        DWORD written = 0;
        const auto take = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer));
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data(), take, &written, &where) ||
            written == 0) {
            error_ = GetLastError();
            if (error_ == ERROR_SUCCESS) {
                error_ = ERROR_DISK_FULL;
            }
            return false;
        }
        bytes = bytes.subspan(written);
        offset += written;
    }
    return true;
}

bool File::ReadAt(std::uint64_t offset, std::span<char> bytes) {
    while (!bytes.empty()) {
        OVERLAPPED where = At(offset);
        DWORD got = 0;
        const auto take = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer));
        if (!ReadFile(reinterpret_cast<HANDLE>(handle_), bytes.data(), take, &got, &where) ||
            got == 0) {
            error_ = GetLastError();
            if (error_ == ERROR_SUCCESS || error_ == ERROR_HANDLE_EOF) {
                error_ = ERROR_HANDLE_EOF;
            }
            return false;
        }
        bytes = bytes.subspan(got);
        offset += got;
    }
    return true;
}

bool File::Read(std::span<char> bytes, std::size_t* got) {
    *got = 0;
    HANDLE handle = reinterpret_cast<HANDLE>(handle_);
    const bool disk = GetFileType(handle) == FILE_TYPE_DISK;
    OVERLAPPED where = At(position_);
    DWORD count = 0;
    const auto take = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer));
    // Pipes and consoles have no offsets; files are read at our own position.
    if (!ReadFile(handle, bytes.data(), take, &count, disk ? &where : nullptr)) {
        const DWORD code = GetLastError();
        if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) {
            return true;  // the end
        }
        error_ = code;
        return false;
    }
    *got = count;
    position_ += count;
    return true;
}

bool File::Size(std::uint64_t* size) {
    HANDLE handle = reinterpret_cast<HANDLE>(handle_);
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        *size = 0;
        return true;
    }
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(handle, &value)) {
        error_ = GetLastError();
        return false;
    }
    *size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
}

bool File::Sync() {
    if (!FlushFileBuffers(reinterpret_cast<HANDLE>(handle_))) {
        error_ = GetLastError();
        return false;
    }
    return true;
}

namespace detail {

std::string SystemErrorText(unsigned long code) {
    return windows::ErrorText(static_cast<DWORD>(code));
}

FileStatus StatusOfSystemError(unsigned long code) {
    return StatusOf(static_cast<DWORD>(code));
}

}  // namespace detail

// ---- Opening --------------------------------------------------------------------------

FileStatus OpenFileForReading(const std::string& path, File& file, std::string& error) {
    // Others may go on writing or even delete it, as they can on POSIX.
    HANDLE handle = CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        const DWORD attributes = Attributes(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            code = ERROR_DIRECTORY;
        }
        error = "Cannot open " + path + ": " + ErrorText(code);
        return StatusOf(code);
    }
    FileAccess::Adopt(file, handle, false);
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        (void)file.Close();
        error = "Cannot open " + path + ": " + ErrorText(ERROR_DIRECTORY);
        return FileStatus::kNotAFile;
    }
    return FileStatus::kOk;
}

FileStatus OpenFileForAppending(const std::string& path, File& file, std::string& error) {
    HANDLE handle =
        CreateFileW(WidePath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        error = "Cannot open " + path + ": " + ErrorText(code);
        return StatusOf(code);
    }
    FileAccess::Adopt(file, handle, true);
    return FileStatus::kOk;
}

FileStatus OpenScratchFile(File& file, std::string& error) {
    // The folder comes from TMP, TEMP, USERPROFILE or the Windows folder; the
    // system gives none longer than MAX_PATH. There is no other place to fall
    // back on: the current folder of a service is System32.
    std::wstring folder(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    folder.resize(length > 0 && length < folder.size() ? length : 0);
    if (folder.empty()) {
        error =
            "Cannot create a temporary file: the system names no usable folder for temporary "
            "files (set TEMP to a folder that takes new files)";
        return FileStatus::kFailed;
    }
    const std::string narrowFolder = NarrowPath(folder);
    std::random_device random;
    DWORD code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 32; ++attempt) {
        char name[32];
        (void)std::snprintf(name, sizeof name, "quendle-sheet-%08x.tmp", random());
        // An open file cannot be unlinked here: the system deletes this one
        // when its last handle closes, the process's death included.
        HANDLE handle = CreateFileW(WidePath(narrowFolder + name).c_str(),
                                    GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            FileAccess::Adopt(file, handle, false);
            return FileStatus::kOk;
        }
        code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    error = "Cannot create a temporary file in " + narrowFolder + ": " + ErrorText(code) +
            " (set TEMP to a folder that takes new files)";
    return StatusOf(code);
}

bool IsSymbolicLink(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// ---- PendingFile ----------------------------------------------------------------------

void PendingFile::Discard() {
    UnregisterPending(slot_);
    slot_ = -1;
    (void)file_.Close();
    if (!temporaryPath_.empty()) {
        (void)DeleteFileW(WidePath(temporaryPath_).c_str());
        temporaryPath_.clear();
    }
}

namespace detail {

FileStatus RefuseTargetInUse(const std::string& target, const std::string& requested,
                             std::string& error) {
    // A workbook open in another program cannot be replaced; say so before
    // anything is written.
    // A workbook this thread's lock holds open is known to be free of others.
    const DWORD attributes = Attributes(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        !HoldsGuard(target)) {
        HANDLE probe = CreateFileW(WidePath(target).c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            if (StatusOf(code) == FileStatus::kInUse) {
                error = InUseText(requested);
                return FileStatus::kInUse;
            }
        } else {
            CloseHandle(probe);
        }
    }
    return FileStatus::kOk;
}

SaveFileResult CreateSaveFile(const std::string& path, File& file, int* slot,
                              unsigned long* error) {
    HANDLE handle = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *error = code;
        return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS
                   ? SaveFileResult::kNameTaken
                   : SaveFileResult::kFailed;
    }
    FileAccess::Adopt(file, handle, false);
    *slot = RegisterPending(handle);
    return SaveFileResult::kCreated;
}

void PrepareSaveFile(File&, const std::string&, const std::string& folder) {
    RemoveAbandonedSaves(folder);
}

std::string SaveFailureText(const std::string& requested, FileStatus status,
                            const std::string& words) {
    return status == FileStatus::kInUse ? InUseText(requested)
                                        : "Cannot save " + requested + ": " + words;
}

File HoldSaveFile(File&) {
    return File();  // a live save holds its file open unshared until the close
}

void BeforeClosingSaveFile(int* slot) {
    UnregisterPending(*slot);
    *slot = -1;
}

void ReleaseSaveTarget(const std::string& target) {
    DropGuard(target);
}

MoveResult MoveSaveIntoPlace(const std::string& temporaryPath, const std::string& targetPath,
                             SaveExpectation expected, unsigned long* error) {
    const std::wstring temporary = WidePath(temporaryPath);
    const std::wstring target = WidePath(targetPath);
    if (expected == SaveExpectation::kAbsent) {
        // Without MOVEFILE_REPLACE_EXISTING a file that appeared meanwhile stays.
        if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            const DWORD code = GetLastError();
            *error = code;
            return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS
                       ? MoveResult::kTargetAppeared
                       : MoveResult::kFailed;
        }
        (void)SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        return MoveResult::kMoved;
    }
    const DWORD attributes = GetFileAttributesW(target.c_str());
    bool replaced = false;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        // ReplaceFileW keeps the replaced file's attributes and access rights.
        replaced = ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                                REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
        if (!replaced && StatusOf(GetLastError()) == FileStatus::kInUse) {
            *error = ERROR_SHARING_VIOLATION;
            return MoveResult::kFailed;
        }
        if (replaced) {
            // The new file was the hidden temporary file; the workbook is not hidden.
            (void)SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_HIDDEN);
        }
    }
    if (!replaced) {
        if (!MoveFileExW(temporary.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            *error = GetLastError();
            return MoveResult::kFailed;
        }
        (void)SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    return MoveResult::kMoved;
}

void AfterCommit(const std::string&, int*) {}

}  // namespace detail

// ---- Modules, terminals, the command line -------------------------------------------

Module::~Module() {
    if (handle_ != nullptr) {
        (void)FreeLibrary(static_cast<HMODULE>(handle_));
    }
}

bool Module::Load(const std::string& path, std::string& error) {
    handle_ = LoadLibraryW(WidePath(path).c_str());
    if (handle_ == nullptr) {
        error = path + ": " + ErrorText(GetLastError());
        return false;
    }
    return true;
}

void* Module::Symbol(const char* name) const {
    if (handle_ == nullptr) {
        return nullptr;
    }
    // GetProcAddress gives a generic function pointer; callers cast it back.
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void WriteStandardError(std::string_view text) {
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        // A console shows UTF-16 right whatever its code page.
        const std::wstring wide = windows::Widen(text);
        DWORD written = 0;
        (void)WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written,
                            nullptr);
        return;
    }
    // Redirected: the bytes as they are, UTF-8.
    while (!text.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written == 0) {
            return;  // nowhere left to report it
        }
        text.remove_prefix(written);
    }
}

std::vector<std::string> CommandLineArguments(int, char**) {
    // The narrow argv holds the ANSI code page's idea of each name; the wide
    // command line holds every name as it is.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    if (wide == nullptr) {
        return arguments;
    }
    for (int i = 0; i < count; ++i) {
        arguments.push_back(windows::Narrow(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

bool LocalTime(std::time_t time, std::tm* out) {
    return localtime_s(out, &time) == 0;
}

bool UtcTime(std::time_t time, std::tm* out) {
    return gmtime_s(out, &time) == 0;
}

std::string CallerTextToUtf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        (void)MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    }
    return windows::Narrow(wide);
}

}  // namespace platform
