// SPDX-License-Identifier: MIT
// The workbook lock, which keeps other conversions away from a workbook
// from its load to its save.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

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

}  // namespace platform
