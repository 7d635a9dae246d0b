// SPDX-License-Identifier: MIT
#include "platform/find_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "test_support.h"

namespace platform {
namespace {

using testing_support::TempDir;
using testing_support::WriteWholeFile;

std::vector<std::string> Names(const std::vector<FoundFile>& found) {
    std::vector<std::string> names;
    for (const auto& f : found) {
        names.push_back(f.name + (f.isDirectory ? "/" : ""));
    }
    return names;
}

TEST(FindFiles, WildcardsIgnoreCaseAndComeSorted) {
    TempDir dir;
    for (const char* name : {"b.csv", "a.CSV", "c.txt", ".hidden.csv", "Ünï.csv", "ab.csv",
                             "data.csv.bak", "x1.csv", "x22.csv"}) {
        ASSERT_TRUE(WriteWholeFile(dir.File(name), "1\n"));
    }
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("folder.csv")));
    struct Case {
        std::string pattern;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"*.csv",
         {".hidden.csv", "a.CSV", "ab.csv", "b.csv", "folder.csv/", "x1.csv", "x22.csv",
          "Ünï.csv"}},
        {"?.csv", {"a.CSV", "b.csv"}},
        {"x?.csv", {"x1.csv"}},
        {"x*2.csv", {"x22.csv"}},
        {"???.csv", {"x22.csv", "Ünï.csv"}},  // "?" is one character, not one byte
        {"A*", {"a.CSV", "ab.csv"}},
        {"*.xls", {}},
        {"B.CSV", {"b.csv"}},
        {"data.csv", {}},
        {"*bak", {"data.csv.bak"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(Names(FindFiles(dir.File(c.pattern))), c.expected);
    }
}

TEST(FindFiles, PlainNamesAndMissingFolders) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("Data.csv"), "1\n"));
    ASSERT_TRUE(WriteWholeFile(dir.File("data.csv"), "1\n"));
    // A file system that ignores case (Windows) holds one file under the first name.
    const bool twoFiles = std::distance(std::filesystem::directory_iterator(dir.path()),
                                        std::filesystem::directory_iterator()) == 2;
    EXPECT_EQ(Names(FindFiles(dir.File("data.csv"))),
              std::vector<std::string>{twoFiles ? "data.csv" : "Data.csv"});
    EXPECT_EQ(Names(FindFiles(dir.File("DATA.csv"))),
              twoFiles ? (std::vector<std::string>{"Data.csv", "data.csv"})
                       : std::vector<std::string>{"Data.csv"});
    EXPECT_TRUE(FindFiles(dir.File("missing/*.csv")).empty());
    EXPECT_TRUE(FindFiles("").empty());
    EXPECT_TRUE(FindFiles(dir.File("")).empty());
}

TEST(FindFiles, WildcardOnlyInTheLastComponentCounts) {
    EXPECT_TRUE(HasWildcard("/in/*.csv"));
    EXPECT_TRUE(HasWildcard("a?.csv"));
    EXPECT_FALSE(HasWildcard("/in*/a.csv"));
    EXPECT_FALSE(HasWildcard("plain.csv"));
}

}  // namespace
}  // namespace platform
