// SPDX-License-Identifier: MIT
#include "platform/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "test_support.h"

namespace platform {
namespace {

using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

TEST(ProfileFile, ReadsIntegersAsThePrivateProfileReadDoes) {
    TempDir dir;
    const std::string ini = dir.File("a.ini");
    ASSERT_TRUE(WriteWholeFile(ini,
                               "; comment=9\n[Common]\r\n  Log = 1 \r\nOverWrite=2x\nOpen=\n"
                               "Neg=-3\n[common2]\nLog=5\n[COMMON]\nLate=8\n"));
    struct Case {
        std::string_view section, key;
        int fallback, expected;
    };
    const Case cases[] = {
        {"Common", "Log", 7, 1},  {"COMMON", "overwrite", 7, 2}, {"Common", "Open", 7, 0},
        {"Common", "Neg", 7, -3}, {"Common", "Missing", 7, 7},   {"Nowhere", "Log", 7, 7},
        {"common2", "Log", 7, 5}, {"Common", "Late", 7, 8},      {"Common", "comment", 7, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + std::string(c.key));
        EXPECT_EQ(ReadProfileInt(c.section, c.key, c.fallback, ini), c.expected);
    }
    EXPECT_EQ(ReadProfileInt("Common", "Log", 4, dir.File("missing.ini")), 4);
}

TEST(ProfileFile, WritesKeepEveryOtherLine) {
    struct Case {
        const char* name;
        std::string before;  // empty: no file yet
        std::string after;
    };
    const Case cases[] = {
        {"new file", "", "[Common]\nOpen=1\n"},
        {"replace value, keep spelling of others", "[common]\nlog=0\nOPEN=0\n; note\n",
         "[common]\nlog=0\nOpen=1\n; note\n"},
        {"add key after the section's last entry", "[Common]\nLog=0\n\n[Other]\nx=1\n",
         "[Common]\nLog=0\nOpen=1\n\n[Other]\nx=1\n"},
        {"add section at the end", "[Other]\nx=1", "[Other]\nx=1\n[Common]\nOpen=1\n"},
        {"keep CRLF", "[Common]\r\nOpen=0\r\nLog=1\r\n", "[Common]\r\nOpen=1\r\nLog=1\r\n"},
        {"same key in another section stays", "[Other]\nOpen=5\n[Common]\nOpen=0\n",
         "[Other]\nOpen=5\n[Common]\nOpen=1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string ini = dir.File("b.ini");
        if (!c.before.empty()) {
            ASSERT_TRUE(WriteWholeFile(ini, c.before));
        }
        ASSERT_TRUE(WriteProfileString("Common", "Open", "1", ini));
        EXPECT_EQ(ReadWholeFile(ini), c.after);
        // Nothing but the file itself is left in the folder.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()),
                  1);
    }
}

TEST(ProfileFile, ReplacementFailsCleanly) {
    TempDir dir;
    EXPECT_FALSE(WriteProfileString("S", "k", "3", dir.File("no/such/folder.ini")));
    ASSERT_TRUE(WriteWholeFile(dir.File("plain"), "x"));
    EXPECT_FALSE(WriteProfileString("S", "k", "3", dir.File("plain/inside.ini")));
}

}  // namespace
}  // namespace platform
