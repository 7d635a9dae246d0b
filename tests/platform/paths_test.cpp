// SPDX-License-Identifier: MIT
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <filesystem>

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
