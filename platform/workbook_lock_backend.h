// SPDX-License-Identifier: MIT
// What the workbook lock needs from each system, and what a save needs from
// the lock: the portable side (workbook_lock.cpp) keeps the in-process locks
// and what each holder saw of its workbook; the system's side locks the
// hidden file and, at the save, checks the workbook against what was seen.
#pragma once

#include <cstdint>
#include <string>

#include "platform/workbook_lock.h"

namespace platform::detail {

// Enough of a file to tell whether it is still the one seen before: a file
// rewritten in place changes its size or time, a replaced one its number.
struct FileIdentity {
    bool exists = false;
    std::uint64_t device = 0;  // device, or the volume's serial number
    std::uint64_t index = 0;   // inode, or the file's index on the volume
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // last write, in the system's finest unit
};

inline bool SameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.exists == b.exists && (!a.exists || (a.device == b.device && a.index == b.index &&
                                                  a.size == b.size && a.modified == b.modified));
}

// ---- The system's side -----------------------------------------------------------------

// The file a save into `path` writes: symbolic links followed, as PendingFile
// follows them.
std::string SaveTarget(const std::string& path);

// The in-process key of a target: absolute and normal, and on a system whose
// names ignore letter case, folded.
std::string LockKeyOf(const std::string& target);

// What is at `path` now; exists is false when nothing is. False when the
// system cannot say.
[[nodiscard]] bool ReadIdentity(const std::string& path, FileIdentity* identity);

enum class LockFileResult {
    kLocked,       // *handle holds the lock
    kBusy,         // another holder has it
    kUnavailable,  // no file can be made there; a save there fails and says why
};

// One attempt at the system's lock on the hidden file `lockPath`, made when
// missing. Never waits.
LockFileResult TryLockFile(const std::string& lockPath, std::intptr_t* handle);

// Drops the lock taken by TryLockFile and removes the hidden file.
void UnlockFile(const std::string& lockPath, std::intptr_t handle);

// On Windows, opens the existing workbook so that no other program may write,
// rename or delete it while the lock is held: kOpenElsewhere when another
// program holds it already. Elsewhere nothing is opened (*guard stays -1).
[[nodiscard]] LockStatus GuardWorkbook(const std::string& target, std::intptr_t* guard,
                                       std::string& error);
void CloseGuard(std::intptr_t guard);

// The text of a workbook another program has open.
std::string OpenElsewhereText(const std::string& path);

// ---- What a save asks of the lock --------------------------------------------------------

enum class SaveExpectation {
    kAnything,   // this thread holds no lock on the target
    kUnchanged,  // the target must be the very file the lock saw
    kAbsent,     // there was no target; one that appeared meanwhile must stay
};

// What a commit into `target` (links resolved) must respect; `seen` gets the
// identity the lock saw.
SaveExpectation ExpectationFor(const std::string& target, FileIdentity* seen);

// What a commit into `target` must respect, as ExpectationFor gives it;
// true when the target is no longer the file the lock saw, so the commit
// must not replace it.
[[nodiscard]] bool ChangedSinceLocked(const std::string& target, SaveExpectation* expected);

// True when this thread's lock on `target` holds the workbook open (Windows).
bool HoldsGuard(const std::string& target);

// Closes the handle this thread's lock holds on `target`, so that the save
// can replace the file; the lock itself stays.
void DropGuard(const std::string& target);

// The text of a commit refused because the workbook changed.
std::string ChangedText(const std::string& path);

}  // namespace platform::detail
