// SPDX-License-Identifier: MIT
// Files: a binary file handle, scratch files, and the pending file that
// replaces its target atomically only when committed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace platform {

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

// True when the path names a symbolic link.
bool IsSymbolicLink(const std::string& path);

}  // namespace platform
