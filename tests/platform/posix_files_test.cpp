// SPDX-License-Identifier: MIT
// POSIX-only sides of the save: symbolic links, permissions, a folder that
// takes no new files, SIGINT/SIGTERM/SIGHUP in the middle of a save, and
// what a killed save leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/profile_file.h"
#include "save_support.h"
#include "test_support.h"

namespace platform {
namespace {

using namespace std::string_view_literals;

using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

TEST(PosixFiles, SavingThroughALinkWritesItsTarget) {
    struct Case {
        const char* what;
        std::string linkText;  // relative to the link's folder unless absolute
        bool targetExists;
    };
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "real");
    const Case cases[] = {
        {"relative link to an existing file", "real/a.xlsx", true},
        {"absolute link to an existing file", dir.File("real/b.xlsx"), true},
        {"link to a file not made yet", "real/c.xlsx", false},
        {"link to a link", "d-link.xlsx", true},
    };
    ASSERT_TRUE(WriteWholeFile(dir.File("real/d.xlsx"), "old"));
    std::filesystem::create_symlink("real/d.xlsx", dir.path() / "d-link.xlsx");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string link = dir.File(std::string("via-") + std::to_string(&c - cases));
        std::filesystem::create_symlink(c.linkText, link);
        const std::filesystem::path target =
            std::filesystem::weakly_canonical(std::filesystem::path(link));
        if (c.targetExists && !std::filesystem::exists(target)) {
            ASSERT_TRUE(WriteWholeFile(target.string(), "old"));
        }
        std::string error;
        ASSERT_EQ(Save(link, "new", error), FileStatus::kOk) << error;
        EXPECT_TRUE(IsSymbolicLink(link)) << "the link was replaced by a file";
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), c.linkText);
        EXPECT_EQ(ReadWholeFile(target.string()), "new");
    }
    for (const std::string& name : Entries(dir.path() / "real")) {
        EXPECT_EQ(name.find(".quendle-save-"), std::string::npos) << name;
    }
}

TEST(PosixFiles, ReplacedFilesKeepTheirPermissions) {
    TempDir dir;
    for (const mode_t mode : {0600, 0640, 0664, 0755}) {
        SCOPED_TRACE(mode);
        const std::string path = dir.File("book-" + std::to_string(mode) + ".xls");
        ASSERT_TRUE(WriteWholeFile(path, "old"));
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        std::string error;
        ASSERT_EQ(Save(path, "new", error), FileStatus::kOk) << error;
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
    }
}

TEST(PosixFiles, ProfileWritesKeepTheFilesPermissions) {
    TempDir dir;
    const std::string ini = dir.File("c.ini");
    ASSERT_TRUE(WriteWholeFile(ini, "[S]\nk=1\n"));
    ASSERT_EQ(chmod(ini.c_str(), 0600), 0);
    ASSERT_TRUE(WriteProfileString("S", "k", "2", ini));
    struct stat info {};
    ASSERT_EQ(stat(ini.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadWholeFile(ini), "[S]\nk=2\n");
}

// Runs `body` in a child process and gives back how it ended.
template <typename Body>
int InChild(Body body) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

TEST(PosixFiles, AReadOnlyFolderIsBlamedOnTheFolder) {
    TempDir dir;
    const std::string folder = dir.File("locked");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/book.xlsx";
    ASSERT_TRUE(WriteWholeFile(path, "old"));
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    // Root writes anywhere, so the child gives up root first when it has it.
    const std::string messagePath = dir.File("message");
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    const int status = InChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            return 90;
        }
        std::string error;
        const FileStatus result = Save(path, "new", error);
        (void)WriteWholeFile(messagePath, error);
        return result == FileStatus::kFolderReadOnly ? 0 : 91;
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string message = ReadWholeFile(messagePath);
    EXPECT_NE(message.find("the folder " + folder), std::string::npos) << message;
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_EQ(ReadWholeFile(path), "old");
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
}

TEST(PosixFiles, ASignalDuringASaveRemovesTheTemporaryFile) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        const std::string path = dir.File("book.xls");
        ASSERT_TRUE(WriteWholeFile(path, "old"));
        const int status = InChild([&] {
            RemovePendingFilesOnTermination();
            PendingFile first;
            PendingFile second;
            std::string error;
            if (first.Create(path, error) != FileStatus::kOk ||
                second.Create(dir.File("other.xlsx"), error) != FileStatus::kOk ||
                !first.file().WriteAll("half a workbook"sv)) {
                return 92;
            }
            std::raise(signal);
            return 93;  // not reached: the signal ends the process
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"book.xls"});
        EXPECT_EQ(ReadWholeFile(path), "old");
    }
}

TEST(PosixFiles, TheNextSaveRemovesWhatAKilledSaveLeft) {
    TempDir dir;
    const int status = InChild([&] {
        PendingFile pending;
        std::string error;
        if (pending.Create(dir.File("book.xlsx"), error) != FileStatus::kOk ||
            !pending.file().WriteAll("half a workbook"sv)) {
            return 92;
        }
        std::raise(SIGKILL);
        return 93;
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::vector<std::string> left = Entries(dir.path());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind(".quendle-save-", 0), 0u) << left[0];
    std::string error;
    ASSERT_EQ(Save(dir.File("other.xls"), "new", error), FileStatus::kOk) << error;
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"other.xls"});
}

}  // namespace
}  // namespace platform
