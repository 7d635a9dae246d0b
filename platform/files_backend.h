// SPDX-License-Identifier: MIT
// What each system supplies for files and saves: its error codes' words and
// kinds, appending writes, and the steps of a save that are system calls. The
// portable side (files.cpp) keeps the File's position, the order of a save's
// steps and its messages, so both systems say the same things.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/workbook_lock_backend.h"

namespace platform::detail {

// The start of a save's temporary file name, beside its target.
inline constexpr std::string_view kSavePrefix = ".quendle-save-";

// The system's words for an error code (errno, or GetLastError()).
std::string SystemErrorText(unsigned long code);

// The kind of an error code.
FileStatus StatusOfSystemError(unsigned long code);

// Writes every byte at the end of the appending handle; false with *error set.
[[nodiscard]] bool AppendAll(std::intptr_t handle, std::span<const char> bytes,
                             unsigned long* error);

// Refuses a save before anything is written when another program holds the
// existing `target` (Windows cannot replace it); kOk elsewhere. `requested`
// is the name for the message.
[[nodiscard]] FileStatus RefuseTargetInUse(const std::string& target, const std::string& requested,
                                           std::string& error);

enum class SaveFileResult {
    kCreated,    // `file` holds the new file, listed in the pending table (*slot)
    kNameTaken,  // something has that name already: try another
    kFailed,     // *error says why
};

// Creates the save's temporary file at `path`, which must not exist yet, and
// lists it for removal on termination.
SaveFileResult CreateSaveFile(const std::string& path, File& file, int* slot, unsigned long* error);

// Readies a created save file for `target` (its permissions, on POSIX) and
// clears the saves that ended processes left in `folder`. Best effort.
void PrepareSaveFile(File& file, const std::string& target, const std::string& folder);

// The message of a save that failed: "Cannot save <requested>: <words>", or
// on Windows, for a file another program holds, the text that says so.
std::string SaveFailureText(const std::string& requested, FileStatus status,
                            const std::string& words);

// What a commit holds from before the save file is closed until it is in
// place: on POSIX a second descriptor, which keeps the flock marking a live
// save, so no other save takes the file for abandoned meanwhile.
File HoldSaveFile(File& file);

// Between a commit's flush and its close. Windows takes the file off the
// pending table (its entries are handles, which the close makes stale);
// POSIX keeps the entry, a path, until the file is in place.
void BeforeClosingSaveFile(int* slot);

// After the close, before the target is checked and replaced: Windows closes
// the lock's own handle on the workbook, which would refuse the replace.
void ReleaseSaveTarget(const std::string& target);

enum class MoveResult {
    kMoved,
    kTargetAppeared,  // `target` was absent and something took its name meanwhile
    kFailed,          // *error says why
};

// Puts the closed save file `temporary` in place of `target`: without
// replacing anything when `expected` is kAbsent, so a file that appeared
// meanwhile stays; otherwise replacing the target.
MoveResult MoveSaveIntoPlace(const std::string& temporary, const std::string& target,
                             SaveExpectation expected, unsigned long* error);

// After the file is in place: POSIX takes it off the pending table and
// flushes the folder, so the rename itself reaches the disk. Best effort.
void AfterCommit(const std::string& target, int* slot);

}  // namespace platform::detail
