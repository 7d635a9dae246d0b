// SPDX-License-Identifier: MIT
// What file calls make of the current folder: short relative names under a
// current folder deeper than 260 characters (the old limit of Windows paths)
// reach the file the absolute name does, and scratch files never land there
// in place of the folder for temporary files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/files.h"
#include "platform/find_files.h"
#include "platform/paths.h"
#include "save_support.h"
#include "test_support.h"

namespace platform {
namespace {

using testing_support::PathText;
using testing_support::ReadWholeFile;
using testing_support::ScopedCurrentFolder;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::Utf8Path;

TEST(LongPaths, ShortRelativeNamesWorkUnderADeepCurrentFolder) {
    TempDir dir;
    const std::string deep = DeepFolderName(PathText(dir.path()));
    ASSERT_TRUE(CreateFolders(deep));
    ScopedCurrentFolder here(deep);
    ASSERT_FALSE(here.error()) << here.error().message();
    const std::string text = "a;b\r\n1;2\r\n";
    std::string error;

    File input;
    ASSERT_EQ(OpenFileForAppending("in.csv", input, error), FileStatus::kOk) << error;
    ASSERT_TRUE(input.WriteAll(text));
    ASSERT_TRUE(input.Close());
    EXPECT_EQ(ReadWholeFile(JoinPath(deep, "in.csv")), text);

    File reading;
    EXPECT_EQ(OpenFileForReading("in.csv", reading, error), FileStatus::kOk) << error;
    std::string start;
    EXPECT_TRUE(ReadFileStart("in.csv", 100, &start));
    EXPECT_EQ(start, text);
    EXPECT_TRUE(PathExists("in.csv"));
    EXPECT_TRUE(IsWritableFolder("."));
    EXPECT_EQ(AbsolutePath("in.csv"), JoinPath(deep, "in.csv"));
    const std::vector<FoundFile> found = FindFiles("*.csv");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "in.csv");

    ASSERT_TRUE(CreateFolders("out"));
    EXPECT_TRUE(IsDirectory(JoinPath(deep, "out")));
    // A save replaces an existing file, so it is done twice.
    for (const std::string_view content : {"first", "second"}) {
        PendingFile book;
        ASSERT_EQ(book.Create(JoinPath("out", "book.xlsx"), error), FileStatus::kOk) << error;
        ASSERT_TRUE(book.file().WriteAll(content));
        ASSERT_EQ(book.Commit(error), FileStatus::kOk) << error;
        EXPECT_EQ(ReadWholeFile(JoinPath(JoinPath(deep, "out"), "book.xlsx")), content);
    }
}

// The folder for temporary files comes from TMPDIR on POSIX and from TMP or
// TEMP on Windows. When that folder cannot take the file, the file is not
// made in the current folder instead (a service's is System32): the open
// fails and says where it tried.
TEST(ScratchFiles, NeverLandInTheCurrentFolder) {
    TempDir dir;
    const std::string current = dir.File("current");
    const std::string deep = DeepFolderName(dir.File("temp"));
    ASSERT_TRUE(CreateFolders(current));
    ASSERT_TRUE(CreateFolders(deep));
    struct Case {
        const char* name;
        std::string folder;
        bool mustOpen;
    };
    const Case cases[] = {
        {"a usable folder", dir.File("temp"), true},
        {"a folder longer than Windows gives out", deep, false},
        {"a folder that does not exist", dir.File("missing"), false},
    };
    ScopedCurrentFolder here(current);
    ASSERT_FALSE(here.error()) << here.error().message();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv tmpdir("TMPDIR", c.folder.c_str());
        ScopedEnv tmp("TMP", c.folder.c_str());
        ScopedEnv temp("TEMP", c.folder.c_str());
        File scratch;
        std::string error;
        const FileStatus status = OpenScratchFile(scratch, error);
        if (c.mustOpen) {
            EXPECT_EQ(status, FileStatus::kOk) << error;
        } else if (status != FileStatus::kOk) {
            EXPECT_NE(error.find("temporary file"), std::string::npos) << error;
        }
        // Looked at while the file is open: Windows removes it only on close.
        EXPECT_TRUE(std::filesystem::is_empty(Utf8Path(current)));
    }
}

}  // namespace
}  // namespace platform
