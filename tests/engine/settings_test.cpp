// SPDX-License-Identifier: MIT
#include "engine/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/parameter_parser.h"
#include "platform/paths.h"
#include "test_support.h"

namespace engine {
namespace {

using testing_support::TempDir;
using testing_support::WriteWholeFile;

// The defaults overlaid by the program's and the user's INI files, each
// written afresh first (an empty text: no file). False when one cannot be
// written.
bool LoadIniFiles(ConversionSettings* s, const std::string& program, const std::string& programText,
                  const std::string& user, const std::string& userText) {
    std::remove(program.c_str());
    std::remove(user.c_str());
    if ((!programText.empty() && !WriteWholeFile(program, programText)) ||
        (!userText.empty() && !WriteWholeFile(user, userText))) {
        return false;
    }
    SetDefaultSettings(s);
    LoadCommonSettingsFrom(s, program, user);
    return true;
}

TEST(Settings, IniPathReplacesOnlyTheFileNamesExtension) {
    const std::pair<std::string_view, std::string> cases[] = {
        {"/opt/x.y/quendle", "/opt/x.y/quendle.ini"},
        {"/opt/tools/prog.exe", "/opt/tools/prog.ini"},
        {"/opt/tools/prog.v2.bin", "/opt/tools/prog.v2.ini"},
        {"quendle", "quendle.ini"},
        {"/home/u/.hidden/quendle", "/home/u/.hidden/quendle.ini"},
    };
    for (const auto& [program, ini] : cases) {
        SCOPED_TRACE(program);
        EXPECT_EQ(ProgramIniPath(program), ini);
    }
}

TEST(Settings, IniFilesOverlayDefaultsAndUserFileWins) {
    TempDir dir;
    const std::string program = dir.File("quendle.ini");
    const std::string user = dir.File("user.ini");
    struct Case {
        const char* name;
        std::string programText;  // empty: no file
        std::string userText;
        std::int32_t log, overwrite, open;
    };
    const Case cases[] = {
        {"no files", "", "", 0, 0, 1},
        {"program file", "[Common]\nLog=1\nOverWrite=2\nOpen=0\n", "", 1, 2, 0},
        {"keys ignore case", "[common]\nlog = 1\noverwrite=7\n", "", 1, 7, 1},
        {"other section", "[Other]\nLog=1\n", "", 0, 0, 1},
        {"user wins", "[Common]\nLog=1\nOpen=0\n", "[Common]\nOpen=1\nOverWrite=1\n", 1, 1, 1},
        {"junk value", "[Common]\nOverWrite=yes\n", "", 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConversionSettings s{};
        ASSERT_TRUE(LoadIniFiles(&s, program, c.programText, user, c.userText));
        EXPECT_EQ(s.logEnabled, c.log);
        EXPECT_EQ(s.overwriteFile, c.overwrite);
        EXPECT_EQ(s.openResult, c.open);
    }
}

// A parameter beats the INI file; LOG can only switch on.
TEST(Settings, ParametersBeatTheIniFile) {
    TempDir dir;
    const std::string ini = dir.File("quendle.ini");
    ASSERT_TRUE(WriteWholeFile(ini, "[Common]\nLog=1\nOverWrite=1\n"));
    ConversionSettings s{};
    SetDefaultSettings(&s);
    LoadCommonSettingsFrom(&s, ini, "");
    const char* elements[] = {"quendle", "/OVERWRITE=0", "/OPEN=0"};
    ParameterParserFor(&s, 3, elements, "/usr/bin/quendle");
    EXPECT_EQ(s.overwriteFile, 0);
    EXPECT_EQ(s.openResult, 0);
    EXPECT_EQ(s.logEnabled, 1);
}

// The layout and size options: off by default, then the program's INI
// file, the per-user one, and the parameters, each beating the one before.
TEST(Settings, LayoutOptionsOverlayDefaultIniAndParameters) {
    TempDir dir;
    const std::string program = dir.File("quendle.ini");
    const std::string user = dir.File("user.ini");
    struct Case {
        const char* name;
        std::string programText;  // empty: no file
        std::string userText;
        std::vector<const char*> parameters;
        std::int32_t autoFit, freezeHeader, autoFilter, splitRows;
    };
    const Case cases[] = {
        {"defaults", "", "", {}, 0, 0, 0, 0},
        {"program file",
         "[Common]\nAutoFit=1\nFreezeHeader=1\nAutoFilter=1\nSplitRows=1\n",
         "",
         {},
         1,
         1,
         1,
         1},
        {"keys ignore case", "[common]\nautofit=1\nsplitrows=1\n", "", {}, 1, 0, 0, 1},
        {"user file wins",
         "[Common]\nAutoFit=1\nSplitRows=1\n",
         "[Common]\nAutoFit=0\nAutoFilter=1\n",
         {},
         0,
         0,
         1,
         1},
        {"parameters win over both",
         "[Common]\nAutoFit=1\nFreezeHeader=1\n",
         "[Common]\nSplitRows=1\n",
         {"/AUTOFIT=0", "-freezeheader=0", "/SplitRows=0", "-AutoFilter"},
         0,
         0,
         1,
         0},
        {"parameters switch on", "", "", {"/AUTOFIT", "/FREEZEHEADER=1", "-SPLITROWS"}, 1, 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConversionSettings s{};
        ASSERT_TRUE(LoadIniFiles(&s, program, c.programText, user, c.userText));
        std::vector<const char*> elements{"quendle"};
        elements.insert(elements.end(), c.parameters.begin(), c.parameters.end());
        ParameterParserFor(&s, static_cast<int>(elements.size()), elements.data(),
                           "/usr/bin/quendle");
        EXPECT_EQ(s.autoFit, c.autoFit);
        EXPECT_EQ(s.freezeHeader, c.freezeHeader);
        EXPECT_EQ(s.autoFilter, c.autoFilter);
        EXPECT_EQ(s.splitRows, c.splitRows);

        // A batch's workers and the wizard's run take copies.
        ConversionSettings copy{};
        CopySettings(s, &copy);
        EXPECT_EQ(copy.autoFit, c.autoFit);
        EXPECT_EQ(copy.freezeHeader, c.freezeHeader);
        EXPECT_EQ(copy.autoFilter, c.autoFilter);
        EXPECT_EQ(copy.splitRows, c.splitRows);
    }
}

TEST(Settings, UserIniFollowsXdgConfigHome) {
    TempDir dir;
    const std::string folder = dir.path().string();
    testing_support::ScopedEnv config("XDG_CONFIG_HOME", folder.c_str());
    testing_support::ScopedEnv appData("APPDATA", folder.c_str());
    EXPECT_EQ(UserIniPath(),
              platform::JoinPath(platform::JoinPath(folder, "Morvik"), "quendle.ini"));
}

TEST(CopyText, CutsAtCapacityAndCharacterBoundaries) {
    struct Case {
        std::string_view source;
        std::size_t maxCharacters;
        std::string_view kept;
        bool whole;
    };
    const Case cases[] = {
        {"abc", 10, "abc", true},
        {"abcdefghij", 10, "abcdefg", false},  // an 8-byte buffer keeps 7
        {"abc", 2, "ab", false},
        {"ЖЖЖЖ", 10, "ЖЖЖ", false},  // a fourth letter would need bytes 7 and 8
        {"aЖЖЖ", 10, "aЖЖЖ", true},  // exactly 7 bytes
        {"ЖЖЖ", 2, "ЖЖ", false},
        {"", 10, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        char buffer[8];
        EXPECT_EQ(CopyText(buffer, c.source, c.maxCharacters), c.whole);
        EXPECT_EQ(TextOf(buffer), c.kept);
    }
}

}  // namespace
}  // namespace engine
