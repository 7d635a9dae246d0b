// SPDX-License-Identifier: MIT
// POSIX side of the package code's files: scratch files for streamed sheet
// data and the save-beside-then-rename dance that protects existing files.
#include "workbook/xlsx/file_handles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace workbook::xlsx {

std::string ErrnoText(int number) {
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(number, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string("error ") + std::to_string(number);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

int UniqueFd::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::Reset() {
    if (fd_ >= 0) {
        ::close(fd_);  // Nothing useful can be done about a failed close here.
        fd_ = -1;
    }
}

bool WriteAll(int fd, std::span<const char> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

bool ReadAt(int fd, std::uint64_t offset, std::span<char> bytes) {
    while (!bytes.empty()) {
        const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            errno = EIO;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(got));
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool OpenScratchFile(UniqueFd& file, std::string& error) {
    std::error_code ignored;
    std::string pattern =
        (std::filesystem::temp_directory_path(ignored) / "quendle-sheet-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error = "Cannot create a temporary file in " +
                std::filesystem::path(pattern).parent_path().string() + ": " + ErrnoText(errno);
        return false;
    }
    ::unlink(pattern.c_str());
    file = UniqueFd(fd);
    return true;
}

namespace {

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

}  // namespace

PendingFile::~PendingFile() {
    if (!tempPath_.empty()) {
        file_.Reset();
        ::unlink(tempPath_.c_str());
    }
}

bool PendingFile::Create(const std::string& target, std::string& error) {
    target_ = target;
    std::filesystem::path folder = std::filesystem::path(target).parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::string pattern = (folder / ".quendle-save-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error = "Cannot write " + target + ": " + ErrnoText(errno);
        return false;
    }
    file_ = UniqueFd(fd);
    tempPath_ = pattern;
    // mkstemp makes the file private; give it the mode of the file it replaces,
    // or the usual mode of a new file.
    struct stat existing {};
    const mode_t mode = ::stat(target.c_str(), &existing) == 0 ? (existing.st_mode & 07777)
                                                               : (0666 & ~CurrentUmask());
    ::fchmod(fd, mode);  // A file left private is still a good file; failure is ignored.
    return true;
}

bool PendingFile::Commit(std::string& error) {
    if (::close(file_.Release()) != 0) {
        error = "Cannot write " + target_ + ": " + ErrnoText(errno);
        return false;
    }
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        error = "Cannot replace " + target_ + ": " + ErrnoText(errno);
        return false;
    }
    tempPath_.clear();
    return true;
}

}  // namespace workbook::xlsx
