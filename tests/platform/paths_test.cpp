// SPDX-License-Identifier: MIT
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/path_names.h"
#include "tests/test_support.h"

namespace {

TEST(Paths, FolderOf) {
    struct Row {
        const char* path;
        const char* folder;
    };
    const Row rows[] = {{"/a/b/c.csv", "/a/b"}, {"/c.csv", "/"},   {"c.csv", ""},
                        {"a/c.csv", "a"},       {"/a/b/", "/a/b"}, {"", ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(platform::FolderOf(row.path), row.folder);
    }
}

// A path's name and folder, cut at the same separator by every caller. The
// rows include the cases where the program's own copies of the rule once
// disagreed: a "/" on Windows, which the parameter notes and the output
// page's name took for part of a name; a bare name, whose folder some took
// for "" and the saves for "."; a drive's root.
TEST(Paths, NameAndFolderSplitAtTheSameSeparator) {
    constexpr bool kWindows = platform::kPathSeparator == '\\';
    struct Row {
        std::string path;
        std::string name;        // FileNameOf
        std::string prefix;      // FolderPrefixOf
        std::string folder;      // FolderOf
        std::string containing;  // ContainingFolder
    };
    std::vector<Row> rows = {
        {"c.csv", "c.csv", "", "", "."},
        {"/c.csv", "c.csv", "/", "/", "/"},
        {"a/b/c.csv", "c.csv", "a/b/", "a/b", "a/b"},
        {"a/my.data/in", "in", "a/my.data/", "a/my.data", "a/my.data"},
        {"a/", "", "a/", "a", "a"},
        {"", "", "", "", "."},
    };
    if (kWindows) {
        rows.push_back({"a\\b/c.csv", "c.csv", "a\\b/", "a\\b", "a\\b"});
        rows.push_back({"C:/my.data\\in", "in", "C:/my.data\\", "C:/my.data", "C:/my.data"});
        rows.push_back({"C:\\c.csv", "c.csv", "C:\\", "C:\\", "C:\\"});
        rows.push_back({"\\c.csv", "c.csv", "\\", "\\", "\\"});
    } else {
        // A backslash is part of a name, and a colon names no drive.
        rows.push_back({"a\\b.csv", "a\\b.csv", "", "", "."});
        rows.push_back({"C:/c.csv", "c.csv", "C:/", "C:", "C:"});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(platform::FileNameOf(row.path), row.name);
        EXPECT_EQ(platform::FolderPrefixOf(row.path), row.prefix);
        EXPECT_EQ(platform::FolderOf(row.path), row.folder);
        EXPECT_EQ(platform::ContainingFolder(row.path), row.containing);
    }
}

TEST(Paths, AbsolutePathAnchorsAtTheCurrentFolder) {
    // The current folder joined with this system's separator.
    const std::string here = std::filesystem::current_path().string() + platform::kPathSeparator;
    struct Row {
        std::string path;
        std::string absolute;
    };
    const Row rows[] = {{"/x/y.csv", "/x/y.csv"},
                        {"y.csv", here + "y.csv"},
                        {"./y.csv", here + "y.csv"},
                        {"../y.csv", here + "../y.csv"},
                        {"", ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(platform::AbsolutePath(row.path), row.absolute);
    }
}

TEST(Paths, ReadFileStartTakesAtMostTheLimit) {
    testing_support::TempDir dir;
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("f"), "abcdef"));
    struct Row {
        std::string path;
        std::size_t limit;
        bool ok;
        std::string bytes;
    };
    const Row rows[] = {
        {dir.File("f"), 4, true, "abcd"},     {dir.File("f"), 100, true, "abcdef"},
        {dir.File("f"), 0, true, ""},         {dir.File("missing"), 10, false, ""},
        {dir.path().string(), 10, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path + " " + std::to_string(row.limit));
        std::string bytes = "left over";
        EXPECT_EQ(platform::ReadFileStart(row.path, row.limit, &bytes), row.ok);
        EXPECT_EQ(bytes, row.bytes);
    }
}

TEST(Paths, CreateFoldersAndWritableFolder) {
    testing_support::TempDir dir;
    const std::string deep = dir.File("a/b/c");
    EXPECT_FALSE(platform::IsWritableFolder(deep));
    EXPECT_TRUE(platform::CreateFolders(deep));
    EXPECT_TRUE(platform::IsWritableFolder(deep));
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("file"), "x"));
    EXPECT_FALSE(platform::IsWritableFolder(dir.File("file")));
    EXPECT_FALSE(platform::CreateFolders(dir.File("file/sub")));
}

}  // namespace
