// SPDX-License-Identifier: MIT
#include "engine/run_log.h"

#include <gtest/gtest.h>

#include "engine/settings.h"
#include "platform/paths.h"
#include "platform/profile_file.h"
#include "test_support.h"

namespace engine {
namespace {

using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

TEST(RunLog, EntriesHaveTheFixedLayout) {
    TempDir dir;
    const std::string log = dir.File("wizards.log");
    ConversionSettings s{};
    SetDefaultSettings(&s);
    CopyText(s.inputPath, "/in/a.csv");
    CopyText(s.outputPath, "/out/b.xlsx");
    s.recordCount = 0;
    WriteLogEntryTo(log, "QUENDLE", &s, kLogStart, "");
    WriteLogEntryTo(log, "QUENDLE", &s, kLogCannotCreate, "");
    WriteLogEntryTo(log, "QUENDLE", &s, kLogStop, "");
    WriteLogEntryTo(log, "QUENDLE", &s, kLogCannotOverwrite, "");
    WriteLogEntryTo(log, "QUENDLE", &s, kLogCannotCreateTable, "");
    WriteLogEntryTo(log, "QUENDLE", &s, 17, "own text");
    WriteLogEntryTo(log, "AVERYLONGWRITER", &s, 17, "x");

    // Each entry: a line break, "YYYY.MM.DD HH:MM:SS ", the writer padded to
    // ten characters, a blank and the message; no line end after the last.
    const std::string content = ReadWholeFile(log);
    const std::string messages[] = {
        "QUENDLE    Start. /in/a.csv -> /out/b.xlsx",
        "QUENDLE    Cannot create output file.",
        "QUENDLE    Stop. 0 records have been imported.",
        "QUENDLE    Cannot overwrite an existing table.",
        "QUENDLE    Cannot create a table. Try delete it.",
        "QUENDLE    own text",
        "AVERYLONGWRITER x",
    };
    std::size_t at = 0;
    for (const std::string& message : messages) {
        SCOPED_TRACE(message);
        ASSERT_LT(at, content.size());
        ASSERT_EQ(content[at], '\n');
        const std::string_view stamp = std::string_view(content).substr(at + 1, 20);
        ASSERT_EQ(stamp.size(), 20u);
        for (std::size_t i = 0; i < stamp.size(); ++i) {
            const char expected = "0000.00.00 00:00:00 "[i];
            if (expected == '0') {
                EXPECT_TRUE(stamp[i] >= '0' && stamp[i] <= '9') << content;
            } else {
                EXPECT_EQ(stamp[i], expected) << content;
            }
        }
        EXPECT_EQ(content.substr(at + 21, message.size()), message);
        at += 21 + message.size();
    }
    EXPECT_EQ(at, content.size());
}

TEST(RunLog, GoesToTheStateFolderAndNeverFails) {
    TempDir dir;
    {
        // The state folder's variable on Linux, the application-data one on Windows.
        const std::string folder = dir.path().string();
        testing_support::ScopedEnv state("XDG_STATE_HOME", folder.c_str());
        testing_support::ScopedEnv appData("APPDATA", folder.c_str());
        const std::string log =
            platform::JoinPath(platform::JoinPath(folder, "Morvik"), "wizards.log");
        EXPECT_EQ(RunLogPath(), log);
        ConversionSettings s{};
        s.recordCount = 12;
        WriteLogEntry("QUENDLE", &s, kLogStop, "");
        EXPECT_NE(ReadWholeFile(log).find("Stop. 12 records"), std::string::npos);
    }
    // A state folder that cannot be made drops the entry without harm.
    ASSERT_TRUE(WriteWholeFile(dir.File("blocked"), "a file, not a folder"));
    testing_support::ScopedEnv blocked("XDG_STATE_HOME", dir.File("blocked").c_str());
    testing_support::ScopedEnv blockedAppData("APPDATA", dir.File("blocked").c_str());
    EXPECT_EQ(RunLogPath(), "");
    ConversionSettings s{};
    WriteLogEntry("QUENDLE", &s, kLogStop, "");
}

TEST(StatusFile, ResultIsReplacedAndOtherLinesKept) {
    TempDir dir;
    const std::string status = dir.File("status.log");
    ConversionSettings s{};
    WriteStatus("Successful", &s);  // no status file named: nothing is created
    EXPECT_FALSE(platform::PathExists(status));

    CopyText(s.statusPath, status);
    ASSERT_TRUE(WriteWholeFile(status, "; poller notes\r\n[Other]\r\nResult=keep\r\n"));
    WriteStatus("Conversion In Progress", &s);
    WriteStatus("Successful", &s);
    EXPECT_EQ(ReadWholeFile(status),
              "; poller notes\r\n[Other]\r\nResult=keep\r\n[QUENDLE]\r\nResult=Successful\r\n"
              "Records=0\r\nErrors=0\r\n");
    EXPECT_EQ(platform::ReadProfileString("quendle", "RESULT", "", status), "Successful");
}

// An earlier run's counts never stand beside this run's stages; this run's
// final counts are not reset by a later stage.
TEST(StatusFile, FirstWriteOfARunResetsTheCounts) {
    TempDir dir;
    const std::string status = dir.File("status.ini");
    ASSERT_TRUE(WriteWholeFile(status, "[QUENDLE]\nResult=Successful\nRecords=12\nErrors=3\n"));
    ConversionSettings s{};
    CopyText(s.statusPath, status);
    const auto value = [&](const char* key) {
        return platform::ReadProfileString("QUENDLE", key, "missing", status);
    };
    WriteStatus("Conversion In Progress", &s);
    EXPECT_EQ(value("Result"), "Conversion In Progress");
    EXPECT_EQ(value("Records"), "0");
    EXPECT_EQ(value("Errors"), "0");
    s.recordCount = 5;
    WriteFinalStatus("Successful", &s, 1);
    WriteStatus("Cancelled", &s);
    EXPECT_EQ(value("Records"), "5");
    EXPECT_EQ(value("Errors"), "1");

    // A run whose first write is its final one writes its own counts.
    const std::string other = dir.File("other.ini");
    ASSERT_TRUE(WriteWholeFile(other, "[QUENDLE]\nRecords=12\nErrors=3\n"));
    CopyText(s.statusPath, other);
    WriteFinalStatus("Successful", &s, 0);
    WriteStatus("Welcome dialog", &s);
    EXPECT_EQ(platform::ReadProfileString("QUENDLE", "Records", "", other), "5");
    EXPECT_EQ(platform::ReadProfileString("QUENDLE", "Errors", "", other), "0");
}

}  // namespace
}  // namespace engine
