// SPDX-License-Identifier: MIT
// Files through the platform layer, as every system must behave: binary
// bytes, positioned writes that leave the running position alone, a save
// that replaces an existing file, and no temporary file after any outcome.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "save_support.h"
#include "test_support.h"

namespace platform {
namespace {

using namespace std::string_view_literals;

using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

TEST(Paths, SplitAndJoinOnThePlatformsSeparators) {
    struct Case {
        std::string path;
        std::size_t last;
    };
    const std::string sep(1, kPathSeparator);
    const Case cases[] = {
        {"name.csv", std::string::npos},
        {"a/b.csv", 1},
        {"a" + sep + "b" + sep + "c.csv", 3},
        {"/", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(LastSeparator(c.path), c.last);
    }
    EXPECT_EQ(JoinPath("dir", "f.log"), "dir" + sep + "f.log");
    EXPECT_EQ(JoinPath("dir/", "f.log"), "dir/f.log");
    EXPECT_EQ(JoinPath("dir" + sep, "f.log"), "dir" + sep + "f.log");
    EXPECT_EQ(JoinPath("", "f.log"), "f.log");
}

TEST(Files, BytesGoThroughUnchangedAndPositionedWritesKeepThePosition) {
    TempDir dir;
    const std::string path = dir.File("bytes.bin");
    PendingFile pending;
    std::string error;
    ASSERT_EQ(pending.Create(path, error), FileStatus::kOk) << error;
    // CR, LF, CR LF, Ctrl-Z and NUL: a text-mode file would change some of them.
    const std::string bytes("a\rb\nc\r\nd\x1A\x00\xFF", 11);
    ASSERT_TRUE(pending.file().WriteAll(bytes));
    ASSERT_TRUE(pending.file().WriteAt(0, "A"sv));
    ASSERT_TRUE(pending.file().WriteAll("tail"sv));
    ASSERT_EQ(pending.Commit(error), FileStatus::kOk) << error;
    std::string expected = bytes + "tail";
    expected[0] = 'A';
    EXPECT_EQ(ReadWholeFile(path), expected);

    File file;
    ASSERT_EQ(OpenFileForReading(path, file, error), FileStatus::kOk) << error;
    std::uint64_t size = 0;
    ASSERT_TRUE(file.Size(&size));
    EXPECT_EQ(size, expected.size());
    std::string middle(4, '\0');
    ASSERT_TRUE(file.ReadAt(2, middle));
    EXPECT_EQ(middle, expected.substr(2, 4));
    std::string all(64, '\0');
    std::size_t got = 0;
    ASSERT_TRUE(file.Read(all, &got));
    EXPECT_EQ(all.substr(0, got), expected) << "ReadAt moved the reading position";
    EXPECT_FALSE(file.ReadAt(size - 1, std::span<char>(all).first(2))) << "read past the end";
}

TEST(Files, CommitReplacesAnExistingFileAndLeavesNothingBeside) {
    struct Case {
        const char* what;
        bool existing;
        bool commit;
        std::string expected;
    };
    const Case cases[] = {
        {"new file", false, true, "new"},
        {"existing file replaced", true, true, "new"},
        {"abandoned save keeps the old file", true, false, "old"},
        {"abandoned save makes no file", false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.File("book.xlsx");
        if (c.existing) {
            ASSERT_TRUE(WriteWholeFile(path, "old"));
        }
        {
            PendingFile pending;
            std::string error;
            ASSERT_EQ(pending.Create(path, error), FileStatus::kOk) << error;
            EXPECT_EQ(LastSeparator(pending.temporaryPath()), LastSeparator(path))
                << "the temporary file belongs beside the target";
            ASSERT_TRUE(pending.file().WriteAll("new"sv));
            if (c.commit) {
                ASSERT_EQ(pending.Commit(error), FileStatus::kOk) << error;
                EXPECT_TRUE(pending.temporaryPath().empty());
            }
        }
        const bool shouldExist = c.existing || c.commit;
        EXPECT_EQ(Entries(dir.path()),
                  shouldExist ? std::vector<std::string>{"book.xlsx"} : std::vector<std::string>{});
        if (shouldExist) {
            EXPECT_EQ(ReadWholeFile(path), c.expected);
        }
    }
}

TEST(Files, FailuresNameTheFileAndLeaveNoTemporaryFile) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("plain"), "x"));
    std::filesystem::create_directory(dir.path() / "folder.xls");
    struct Case {
        const char* what;
        std::string target;
        FileStatus status;
    };
    const Case cases[] = {
        {"missing folder", dir.File("missing") + kPathSeparator + "out.xls", FileStatus::kNotFound},
        {"target is a folder", dir.File("folder.xls"), FileStatus::kFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PendingFile pending;
        std::string error;
        FileStatus status = pending.Create(c.target, error);
        if (status == FileStatus::kOk) {
            ASSERT_TRUE(pending.file().WriteAll("data"sv));
            status = pending.Commit(error);
        }
        EXPECT_NE(status, FileStatus::kOk);
        if (c.status != FileStatus::kFailed) {
            EXPECT_EQ(status, c.status) << error;
        }
        EXPECT_NE(error.find(c.target), std::string::npos) << error;
        EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"folder.xls", "plain"}));
    }

    File file;
    std::string error;
    const std::string missing = dir.File("absent.csv");
    EXPECT_EQ(OpenFileForReading(missing, file, error), FileStatus::kNotFound);
    EXPECT_NE(error.find(missing), std::string::npos) << error;
}

TEST(Files, ScratchFilesVanishWhenClosed) {
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    const auto count = [&] {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(temp)) {
            n += entry.path().filename().string().rfind("quendle-sheet-", 0) == 0 ? 1 : 0;
        }
        return n;
    };
    const int before = count();
    {
        File scratch;
        std::string error;
        ASSERT_EQ(OpenScratchFile(scratch, error), FileStatus::kOk) << error;
        ASSERT_TRUE(scratch.WriteAll("rows\r\n"sv));
        std::string back(6, '\0');
        ASSERT_TRUE(scratch.ReadAt(0, back));
        EXPECT_EQ(back, "rows\r\n");
    }
    EXPECT_EQ(count(), before);
}

TEST(Files, AppendingAddsToTheEnd) {
    TempDir dir;
    const std::string path = dir.File("wizards.log");
    for (const char* entry : {"\none", "\ntwo"}) {
        File file;
        std::string error;
        ASSERT_EQ(OpenFileForAppending(path, file, error), FileStatus::kOk) << error;
        ASSERT_TRUE(file.WriteAll(std::string_view(entry)));
    }
    EXPECT_EQ(ReadWholeFile(path), "\none\ntwo");
}

}  // namespace
}  // namespace platform
