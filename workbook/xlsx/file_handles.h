// SPDX-License-Identifier: MIT
// Owned file descriptors and temporary files for the .xlsx package code:
// every descriptor is closed and every uncommitted temporary file removed on
// all paths, failures included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace workbook::xlsx {

// The text of an errno value, e.g. "No such file or directory".
std::string ErrnoText(int number);

// A move-only POSIX file descriptor, closed on destruction.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int Release();
    void Reset();

private:
    int fd_ = -1;
};

// Writes all bytes at the current position; false with errno set on failure.
bool WriteAll(int fd, std::span<const char> bytes);
// Reads exactly `bytes.size()` bytes at `offset`; false on failure or end of file.
bool ReadAt(int fd, std::uint64_t offset, std::span<char> bytes);

// An anonymous scratch file in the system's temporary folder: unlinked at
// once, so it disappears with its descriptor even if the process dies.
[[nodiscard]] bool OpenScratchFile(UniqueFd& file, std::string& error);

// A new file beside `target` that replaces it only on Commit(); removed on
// destruction otherwise.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file in the target's folder.
    [[nodiscard]] bool Create(const std::string& target, std::string& error);
    int fd() const { return file_.get(); }
    // Flushes, closes and renames the file over the target.
    [[nodiscard]] bool Commit(std::string& error);

private:
    UniqueFd file_;
    std::string tempPath_;
    std::string target_;
};

}  // namespace workbook::xlsx
