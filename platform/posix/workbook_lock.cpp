// SPDX-License-Identifier: MIT
// The workbook lock on POSIX: flock on a hidden file beside the workbook.
// flock belongs to the open file, so it also keeps apart two threads of one
// process, and the system drops it when the process ends. The file is
// removed at release; whoever opened it just before must then find that the
// name no longer leads to the file it locked, and try again.
#include "platform/workbook_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "platform/workbook_lock_backend.h"

namespace platform::detail {

std::string LockKeyOf(const std::string& target) {
    return std::filesystem::path(AbsolutePath(target)).lexically_normal().string();
}

bool ReadIdentity(const std::string& path, FileIdentity* identity) {
    struct stat info {};
    *identity = FileIdentity{};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR;
    }
    identity->exists = true;
    identity->device = static_cast<std::uint64_t>(info.st_dev);
    identity->index = static_cast<std::uint64_t>(info.st_ino);
    identity->size = static_cast<std::uint64_t>(info.st_size);
    identity->modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                         static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    return true;
}

LockFileResult TryLockFile(const std::string& lockPath, std::intptr_t* handle) {
    // Read-only is enough for flock, so a lock file another user made works too.
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        return LockFileResult::kUnavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        (void)::close(fd);
        return LockFileResult::kBusy;
    }
    struct stat locked {};
    struct stat named {};
    if (::fstat(fd, &locked) != 0 || ::lstat(lockPath.c_str(), &named) != 0 ||
        locked.st_dev != named.st_dev || locked.st_ino != named.st_ino) {
        // The holder before removed it between our open and our lock.
        (void)::close(fd);
        return LockFileResult::kBusy;
    }
    *handle = fd;
    return LockFileResult::kLocked;
}

void UnlockFile(const std::string& lockPath, std::intptr_t handle) {
    // Removed while still locked, so nobody can lock the name and lose it.
    (void)::unlink(lockPath.c_str());
    (void)::close(static_cast<int>(handle));
}

LockStatus GuardWorkbook(const std::string&, std::intptr_t* guard, std::string&) {
    *guard = -1;  // the lock file keeps conversions apart; nothing else here locks files
    return LockStatus::kOk;
}

void CloseGuard(std::intptr_t) {}

}  // namespace platform::detail
