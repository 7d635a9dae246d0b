// SPDX-License-Identifier: MIT
// The workbook lock as every system must keep it: one holder at a time, a
// wait that ends with a message naming the workbook, office owner files, and
// a save under the lock that never replaces a workbook changed meanwhile.
#include "platform/workbook_lock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/workbook_lock_backend.h"
#include "save_support.h"
#include "test_support.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

// Counts the notices a wait gives.
LockWaitNotice Counting(int* count) {
    LockWaitNotice notice;
    notice.context = count;
    notice.waiting = [](void* context) { ++*static_cast<int*>(context); };
    return notice;
}

TEST(LockFile, ASecondHolderIsRefusedUntilTheFirstLetsGo) {
    TempDir dir;
    const std::string path = dir.File(".quendle-lock-book.xlsx");
    std::intptr_t first = -1;
    std::intptr_t second = -1;
    ASSERT_EQ(detail::TryLockFile(path, &first), detail::LockFileResult::kLocked);
    EXPECT_EQ(detail::TryLockFile(path, &second), detail::LockFileResult::kBusy);
    detail::UnlockFile(path, first);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{}) << "the lock file stayed";
    ASSERT_EQ(detail::TryLockFile(path, &second), detail::LockFileResult::kLocked);
    detail::UnlockFile(path, second);
}

TEST(WorkbookLock, AWaitThatRunsOutFailsAndSaysSoOnce) {
    TempDir dir;
    const std::string path = dir.File("book.xlsx");
    ASSERT_TRUE(WriteWholeFile(path, "old"));
    WorkbookLock holder;
    std::string error;
    int notices = 0;
    ASSERT_EQ(holder.Acquire(path, 0ms, Counting(&notices), error), LockStatus::kOk) << error;
    EXPECT_EQ(notices, 0);

    // From another thread, as a second conversion of this process would.
    LockStatus waited = LockStatus::kOk;
    std::thread([&] {
        WorkbookLock second;
        waited = second.Acquire(path, 300ms, Counting(&notices), error);
    }).join();
    EXPECT_EQ(waited, LockStatus::kTimedOut);
    EXPECT_EQ(notices, 1);
    EXPECT_NE(error.find(path + " is being changed by another conversion"), std::string::npos)
        << error;
    EXPECT_NE(error.find("300 milliseconds"), std::string::npos) << error;
    // The waiter that gave up left the holder's lock whole, save check included.
    detail::FileIdentity seen;
    EXPECT_EQ(detail::ExpectationFor(detail::SaveTarget(path), &seen),
              detail::SaveExpectation::kUnchanged);

    holder.Release();
    std::thread([&] {
        WorkbookLock third;
        waited = third.Acquire(path, 0ms, Counting(&notices), error);
    }).join();
    EXPECT_EQ(waited, LockStatus::kOk) << error;
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(ReadWholeFile(path), "old");
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"book.xlsx"});
}

TEST(WorkbookLock, AWaiterGoesOnOnceTheHolderLetsGo) {
    TempDir dir;
    const std::string path = dir.File("turns.xls");
    auto holder = std::make_unique<WorkbookLock>();
    std::string error;
    ASSERT_EQ(holder->Acquire(path, 0ms, {}, error), LockStatus::kOk) << error;
    int notices = 0;
    std::string waiterError;
    LockStatus waited = LockStatus::kFailed;
    std::thread waiter([&] {
        WorkbookLock second;
        waited = second.Acquire(path, 30s, Counting(&notices), waiterError);
    });
    std::this_thread::sleep_for(100ms);
    holder.reset();
    waiter.join();
    EXPECT_EQ(waited, LockStatus::kOk) << waiterError;
    EXPECT_EQ(notices, 1);
}

TEST(WorkbookLock, AnOfficeOwnerFileMeansTheWorkbookIsOpenElsewhere) {
    TempDir dir;
    const std::string path = dir.File("shared.xlsx");
    ASSERT_TRUE(WriteWholeFile(path, "old"));
    for (const std::string owner : {".~lock.shared.xlsx#", "~$shared.xlsx"}) {
        SCOPED_TRACE(owner);
        const std::string ownerPath = dir.File(owner);
        ASSERT_TRUE(WriteWholeFile(ownerPath, "someone"));
        WorkbookLock lock;
        std::string error;
        EXPECT_EQ(lock.Acquire(path, 0ms, {}, error), LockStatus::kOpenElsewhere);
        EXPECT_NE(error.find(path + " is open in another program; close it and try again"),
                  std::string::npos)
            << error;
        EXPECT_NE(error.find(ownerPath), std::string::npos) << error;
        std::filesystem::remove(testing_support::Utf8Path(ownerPath));
        // Nothing stayed held.
        EXPECT_EQ(lock.Acquire(path, 0ms, {}, error), LockStatus::kOk) << error;
    }
    // An owner file with no workbook guards nothing.
    ASSERT_TRUE(WriteWholeFile(dir.File("~$gone.xlsx"), "someone"));
    WorkbookLock lock;
    std::string error;
    EXPECT_EQ(lock.Acquire(dir.File("gone.xlsx"), 0ms, {}, error), LockStatus::kOk) << error;
}

TEST(WorkbookLock, ASaveUnderTheLockNeverReplacesAChangedWorkbook) {
    struct Case {
        const char* what;
        bool existed;
        // The other program's change; false when the system refused it.
        bool (*change)(const std::string& path, const std::string& folder);
    };
    const Case cases[] = {
        {"unchanged", true, nullptr},
        {"nothing there before or after", false, nullptr},
        {"rewritten in place", true,
         [](const std::string& path, const std::string&) {
             return WriteWholeFile(path, "theirs, longer");
         }},
        {"replaced by another file", true,
         [](const std::string& path, const std::string& folder) {
             const std::string other = folder + "/their-copy";
             std::error_code failed;
             std::filesystem::rename(testing_support::Utf8Path(other),
                                     testing_support::Utf8Path(path), failed);
             std::filesystem::remove(testing_support::Utf8Path(other), failed);
             return ReadWholeFile(path) == "theirs";
         }},
        {"made while there was none", false,
         [](const std::string& path, const std::string&) {
             return WriteWholeFile(path, "theirs");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.File("book.xlsx");
        if (c.existed) {
            ASSERT_TRUE(WriteWholeFile(path, "before"));
        }
        ASSERT_TRUE(WriteWholeFile(dir.File("their-copy"), "theirs"));
        WorkbookLock lock;
        std::string error;
        ASSERT_EQ(lock.Acquire(path, 0ms, {}, error), LockStatus::kOk) << error;
        const bool changed = c.change != nullptr && c.change(path, dir.path().string());
        const std::string theirs = ReadWholeFile(path);
        const FileStatus saved = Save(path, "ours", error);
        lock.Release();
        if (changed) {
            // Their file stays whole; ours is not half there either.
            EXPECT_EQ(saved, FileStatus::kFailed);
            EXPECT_NE(error.find("another program changed or replaced the workbook"),
                      std::string::npos)
                << error;
            EXPECT_EQ(ReadWholeFile(path), theirs);
        } else {
            // Where the system refused the change (Windows holds the file
            // open), ours is the one saved.
            EXPECT_EQ(saved, FileStatus::kOk) << error;
            EXPECT_EQ(ReadWholeFile(path), "ours");
        }
        std::filesystem::remove(dir.path() / "their-copy");
        EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"book.xlsx"});
    }
}

TEST(PendingFile, ASaveRemovesTemporaryFilesNobodyHolds) {
    TempDir dir;
    // What a save of a process that was killed leaves: old, and held by nobody.
    const std::string stale = dir.File(".quendle-save-0badf00d");
    ASSERT_TRUE(WriteWholeFile(stale, "half a workbook"));
    std::filesystem::last_write_time(testing_support::Utf8Path(stale),
                                     std::filesystem::file_time_type::clock::now() - 1h);
    // A save still going on.
    PendingFile live;
    std::string error;
    ASSERT_EQ(live.Create(dir.File("other.xls"), error), FileStatus::kOk) << error;
    ASSERT_TRUE(live.file().WriteAll(std::string_view("theirs")));

    ASSERT_EQ(Save(dir.File("book.xlsx"), "ours", error), FileStatus::kOk) << error;
    EXPECT_FALSE(std::filesystem::exists(testing_support::Utf8Path(stale)));
    ASSERT_EQ(live.Commit(error), FileStatus::kOk) << error;
    EXPECT_EQ(ReadWholeFile(dir.File("other.xls")), "theirs");
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"book.xlsx", "other.xls"}));
}

}  // namespace
}  // namespace platform
