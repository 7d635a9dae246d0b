// SPDX-License-Identifier: MIT
// Files on POSIX: descriptors opened close-on-exec, positioned reads and
// writes, scratch files unlinked at once, and the save beside the target that
// an atomic rename commits. Pending temporary files are listed in a table the
// program's signal handler can walk without allocating or locking, and each
// is flock-ed by its save, so a later save can tell one whose process died.
#include "platform/files.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files_backend.h"
#include "platform/path_names.h"
#include "platform/paths.h"
#include "platform/shared_library.h"
#include "platform/workbook_lock_backend.h"

namespace platform {

// Reaches File's private parts from this file's free functions.
struct FileAccess {
    static void Adopt(File& file, int fd, bool append) {
        (void)file.Close();
        file.handle_ = fd;
        file.position_ = 0;
        file.append_ = append;
        file.error_ = 0;
    }
    static int Fd(const File& file) { return static_cast<int>(file.handle_); }
    static void SetError(File& file, int number) {
        file.error_ = static_cast<unsigned long>(number);
    }
};

namespace {

std::string SystemText(int number) {
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(number, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : "error " + std::to_string(number);
}

FileStatus StatusOf(int number) {
    switch (number) {
        case 0:
            return FileStatus::kOk;
        case ENOENT:
        case ENOTDIR:
            return FileStatus::kNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return FileStatus::kAccessDenied;
        case ETXTBSY:
        case EBUSY:
            return FileStatus::kInUse;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return FileStatus::kNoSpace;
        case EISDIR:
            return FileStatus::kNotAFile;
        default:
            return FileStatus::kFailed;
    }
}

// ---- The table of pending temporary files -------------------------------------------

// A slot is free (0), being filled or cleared (1), or holds a path the signal
// handler may remove (2). Paths longer than a slot cannot exist on Linux.
constexpr std::size_t kPendingSlots = 64;
constexpr std::size_t kPendingPathCapacity = 4096;  // PATH_MAX, terminator included

struct PendingSlot {
    std::atomic<int> state{0};
    char path[kPendingPathCapacity];
};
std::array<PendingSlot, kPendingSlots> pendingSlots;

void OnTerminatingSignal(int number) {
    RemovePendingFiles();
    // SA_RESETHAND put the default action back: end the process as the
    // signal would have, so the parent sees the usual status.
    (void)std::raise(number);
}

// Removes the temporary files in `folder` that saves of processes since ended
// left behind: a live save holds its file's flock until it is committed.
void RemoveAbandonedSaves(const std::string& folder) {
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
    if (!listing) {
        return;
    }
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string_view name = entry->d_name;
        if (name.substr(0, detail::kSavePrefix.size()) != detail::kSavePrefix) {
            continue;
        }
        const std::string path = JoinPath(folder, name);
        File file;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        FileAccess::Adopt(file, fd, false);
        struct stat locked {};
        struct stat named {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &locked) == 0 &&
            ::lstat(path.c_str(), &named) == 0 && locked.st_ino == named.st_ino &&
            locked.st_dev == named.st_dev && S_ISREG(named.st_mode)) {
            (void)::unlink(path.c_str());  // best effort: it is only clutter
        }
    }
}

}  // namespace

void RemovePendingFilesOnTermination() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction current {};
            // A program that handles or ignores the signal itself keeps doing so.
            if (sigaction(number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) {
                continue;
            }
            struct sigaction action {};
            action.sa_handler = OnTerminatingSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND | SA_NODEFER;
            (void)sigaction(number, &action, nullptr);
        }
    });
}

namespace {

int RegisterPending(const std::string& path) {
    if (path.size() >= kPendingPathCapacity) {
        return -1;
    }
    for (std::size_t i = 0; i < pendingSlots.size(); ++i) {
        int expected = 0;
        if (pendingSlots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(pendingSlots[i].path, path.c_str(), path.size() + 1);
            pendingSlots[i].state.store(2);
            return static_cast<int>(i);
        }
    }
    return -1;  // more saves at once than slots: that file is only removed by its owner
}

void UnregisterPending(int slot) {
    if (slot >= 0) {
        pendingSlots[static_cast<std::size_t>(slot)].state.store(0);
    }
}

// Follows symbolic links from `path` to the file they lead to (which need not
// exist yet). Gives up after as many hops as the system allows.
std::string ResolveLinks(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code failure;
        if (!std::filesystem::is_symlink(path, failure)) {
            return path;
        }
        const std::filesystem::path next = std::filesystem::read_symlink(path, failure);
        if (failure) {
            return path;
        }
        path = next.is_absolute() ? next.string() : JoinPath(ContainingFolder(path), next.string());
    }
    return path;
}

// The process's umask without changing it (umask() itself is not thread-safe).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    return 022;
}

// Takes the flock that marks `fd` as a live save, and checks that no other
// save removed `path` for abandoned between its creation and the lock.
bool HoldAsOwnSave(int fd, const std::string& path) {
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX);  // a sweeping save holds it only for a moment
    } while (result != 0 && errno == EINTR);
    struct stat locked {};
    struct stat named {};
    return result == 0 && ::fstat(fd, &locked) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           locked.st_ino == named.st_ino && locked.st_dev == named.st_dev;
}

// Renames `from` to `to` unless something is at `to`, which then stays and
// gives EEXIST.
bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: a hard link refuses an existing name as well.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    (void)::unlink(from.c_str());
    return true;
}

}  // namespace

namespace detail {

std::string SaveTarget(const std::string& path) {
    return ResolveLinks(path);
}

}  // namespace detail

void RemovePendingFiles() {
    // Only async-signal-safe calls: atomic loads and unlink.
    for (PendingSlot& slot : pendingSlots) {
        if (slot.state.load() == 2) {
            (void)::unlink(slot.path);
        }
    }
}

// ---- File -----------------------------------------------------------------------------

bool File::IsOpen() const {
    return handle_ >= 0;
}

bool File::Close() {
    if (handle_ < 0) {
        return true;
    }
    const int fd = static_cast<int>(std::exchange(handle_, -1));
    if (::close(fd) != 0 && errno != EINTR) {
        error_ = static_cast<unsigned long>(errno);
        return false;
    }
    return true;
}

namespace detail {

bool AppendAll(std::intptr_t handle, std::span<const char> bytes, unsigned long* error) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(static_cast<int>(handle), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            *error = static_cast<unsigned long>(written < 0 ? errno : ENOSPC);
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace detail

bool File::WriteAt(std::uint64_t offset, std::span<const char> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::pwrite(static_cast<int>(handle_), bytes.data(), bytes.size(),
                                         static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            error_ = static_cast<unsigned long>(written < 0 ? errno : ENOSPC);
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

bool File::ReadAt(std::uint64_t offset, std::span<char> bytes) {
    while (!bytes.empty()) {
        const ssize_t got = ::pread(static_cast<int>(handle_), bytes.data(), bytes.size(),
                                    static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            error_ = static_cast<unsigned long>(got < 0 ? errno : EIO);
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(got));
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool File::Read(std::span<char> bytes, std::size_t* got) {
    *got = 0;
    for (;;) {
        // A plain read, so pipes and terminals work as well as files.
        const ssize_t count = ::read(static_cast<int>(handle_), bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            error_ = static_cast<unsigned long>(errno);
            return false;
        }
        *got = static_cast<std::size_t>(count);
        position_ += *got;
        return true;
    }
}

bool File::Size(std::uint64_t* size) {
    struct stat info {};
    if (::fstat(static_cast<int>(handle_), &info) != 0) {
        error_ = static_cast<unsigned long>(errno);
        return false;
    }
    *size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    return true;
}

bool File::Sync() {
    if (::fsync(static_cast<int>(handle_)) != 0) {
        error_ = static_cast<unsigned long>(errno);
        return false;
    }
    return true;
}

namespace detail {

std::string SystemErrorText(unsigned long code) {
    return SystemText(static_cast<int>(code));
}

FileStatus StatusOfSystemError(unsigned long code) {
    return StatusOf(static_cast<int>(code));
}

}  // namespace detail

// ---- Opening --------------------------------------------------------------------------

FileStatus OpenFileForReading(const std::string& path, File& file, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int number = errno;
        error = "Cannot open " + path + ": " + SystemText(number);
        return StatusOf(number);
    }
    FileAccess::Adopt(file, fd, false);
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        (void)file.Close();
        error = "Cannot open " + path + ": " + SystemText(EISDIR);
        return FileStatus::kNotAFile;
    }
    (void)posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // a hint only
    return FileStatus::kOk;
}

FileStatus OpenFileForAppending(const std::string& path, File& file, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int number = errno;
        error = "Cannot open " + path + ": " + SystemText(number);
        return StatusOf(number);
    }
    FileAccess::Adopt(file, fd, true);
    return FileStatus::kOk;
}

FileStatus OpenScratchFile(File& file, std::string& error) {
    std::error_code ignored;
    const std::string folder = std::filesystem::temp_directory_path(ignored).string();
    std::string pattern = JoinPath(folder.empty() ? "/tmp" : folder, "quendle-sheet-XXXXXX");
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        const int number = errno;
        error = "Cannot create a temporary file in " + ContainingFolder(pattern) + ": " +
                SystemText(number);
        return StatusOf(number);
    }
    // Unlinked at once: the data lives as long as the descriptor, no longer.
    (void)::unlink(pattern.c_str());
    FileAccess::Adopt(file, fd, false);
    return FileStatus::kOk;
}

bool IsSymbolicLink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// ---- PendingFile ----------------------------------------------------------------------

void PendingFile::Discard() {
    (void)file_.Close();
    if (!temporaryPath_.empty()) {
        (void)::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
    UnregisterPending(slot_);
    slot_ = -1;
}

namespace detail {

FileStatus RefuseTargetInUse(const std::string&, const std::string&, std::string&) {
    return FileStatus::kOk;  // a file held open elsewhere is still replaced by a rename
}

SaveFileResult CreateSaveFile(const std::string& path, File& file, int* slot,
                              unsigned long* error) {
    // Listed before it exists, so a signal between creation and listing
    // cannot leave it behind; unlinking a name that is not there is harmless.
    *slot = RegisterPending(path);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    int number = errno;
    if (fd >= 0 && !HoldAsOwnSave(fd, path)) {
        (void)::close(fd);  // taken for abandoned by another save: try another name
        fd = -1;
        number = EEXIST;
    }
    if (fd < 0) {
        UnregisterPending(*slot);
        *slot = -1;
        *error = static_cast<unsigned long>(number);
        return number == EEXIST ? SaveFileResult::kNameTaken : SaveFileResult::kFailed;
    }
    FileAccess::Adopt(file, fd, false);
    return SaveFileResult::kCreated;
}

void PrepareSaveFile(File& file, const std::string& target, const std::string& folder) {
    // The file starts private; give it the mode of the file it replaces, or
    // the usual mode of a new file.
    struct stat existing {};
    const mode_t mode = ::stat(target.c_str(), &existing) == 0 ? (existing.st_mode & 07777)
                                                               : (0666 & ~CurrentUmask());
    (void)::fchmod(FileAccess::Fd(file), mode);  // a file left private is still a good file
    RemoveAbandonedSaves(folder);
}

std::string SaveFailureText(const std::string& requested, FileStatus, const std::string& words) {
    return "Cannot save " + requested + ": " + words;
}

File HoldSaveFile(File& file) {
    File keep;
    if (const int copy = ::dup(FileAccess::Fd(file)); copy >= 0) {
        FileAccess::Adopt(keep, copy, false);
    }
    return keep;
}

void BeforeClosingSaveFile(int*) {}

void ReleaseSaveTarget(const std::string&) {}

MoveResult MoveSaveIntoPlace(const std::string& temporary, const std::string& target,
                             SaveExpectation expected, unsigned long* error) {
    const bool absent = expected == SaveExpectation::kAbsent;
    if (absent ? MoveWithoutReplacing(temporary, target)
               : ::rename(temporary.c_str(), target.c_str()) == 0) {
        return MoveResult::kMoved;
    }
    const int number = errno;
    *error = static_cast<unsigned long>(number);
    return absent && number == EEXIST ? MoveResult::kTargetAppeared : MoveResult::kFailed;
}

void AfterCommit(const std::string& target, int* slot) {
    UnregisterPending(*slot);
    *slot = -1;
    const int folder = ::open(ContainingFolder(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        (void)::fsync(folder);
        (void)::close(folder);
    }
}

}  // namespace detail

// ---- Modules, terminals, the command line -------------------------------------------

Module::~Module() {
    if (handle_ != nullptr) {
        (void)::dlclose(handle_);
    }
}

bool Module::Load(const std::string& path, std::string& error) {
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = ::dlerror();
        error = reason != nullptr ? reason : "cannot load " + path;
        return false;
    }
    return true;
}

void* Module::Symbol(const char* name) const {
    return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

void WriteStandardError(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // nowhere left to report it
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
    }
    return arguments;
}

bool LocalTime(std::time_t time, std::tm* out) {
    return localtime_r(&time, out) != nullptr;
}

bool UtcTime(std::time_t time, std::tm* out) {
    return gmtime_r(&time, out) != nullptr;
}

std::string CallerTextToUtf8(std::string_view text) {
    return std::string(text);
}

}  // namespace platform
