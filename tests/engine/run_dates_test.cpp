// SPDX-License-Identifier: MIT
// Dates through a whole run: the automatic order when the first date reads
// either way, the count of fields kept as text for not fitting the order, and
// the first day of the 1904 date system. Workbooks are read back with
// openpyxl and xlrd.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/conversion_run.h"
#include "engine/csv_input.h"
#include "engine/settings.h"
#include "platform/messages.h"
#include "test_support.h"

namespace engine {
namespace {

using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

// Serials of the 1900 date system.
constexpr int kJan3 = 45294;   // 2024-01-03
constexpr int kMar1 = 45352;   // 2024-03-01
constexpr int kDec1 = 45261;   // 2023-12-01
constexpr int kJan12 = 45303;  // 2024-01-12
constexpr int kFeb15 = 45337;  // 2024-02-15
constexpr int kDec31 = 45657;  // 2024-12-31

struct Warnings {
    std::vector<std::string> texts;
    platform::MessageSink sink{this, [](void* context, std::string_view, std::string_view text,
                                        platform::MessageIcon icon) {
                                   EXPECT_EQ(icon, platform::MessageIcon::kWarning) << text;
                                   static_cast<Warnings*>(context)->texts.emplace_back(text);
                               }};
};

// The cells of the first sheet as read_workbook.py prints them, one
// "[row, column, kind, value]" each; empty when the reader failed.
std::string SheetCells(const std::string& path) {
    const testing_support::CommandResult read =
        testing_support::RunTool("read_workbook.py", ShellQuote(path));
    EXPECT_EQ(read.exitCode, 0) << read.output;
    return read.exitCode == 0 ? read.output : std::string();
}

std::string Cell(int row, int column, const std::string& kind, int value) {
    return "[" + std::to_string(row) + ", " + std::to_string(column) + ", \"" + kind + "\", " +
           std::to_string(value) + ".0]";
}

std::string TextCell(int row, int column, const std::string& text) {
    return "[" + std::to_string(row) + ", " + std::to_string(column) + ", \"s\", \"" + text + "\"]";
}

TEST(RunDates, AmbiguousFirstDateTakesTheOrderOfTheFirstDateThatTells) {
    struct Case {
        const char* name;
        std::string csv;
        std::int32_t dateMode, hasHeader, typesInFile;
        std::vector<std::string> cells;  // expected, beside others
        std::int32_t modeAfter;
        std::string warning;  // the end of the one warning, or empty for none
    };
    // Ambiguous dates before the first one that tells, past a read block.
    std::string longAmbiguous;
    int tellingRow = 0;
    for (; longAmbiguous.size() < kCsvBlockSize + 4096; ++tellingRow) {
        longAmbiguous += "03.01.2024,01.12.2023\n";
    }
    const Case cases[] = {
        {"day first told by the third date",
         "03.01.2024\n01.12.2023\n15.02.2024\n",
         0,
         0,
         0,
         {Cell(0, 0, "d", kJan3), Cell(1, 0, "d", kDec1), Cell(2, 0, "d", kFeb15)},
         12,
         ""},
        {"told beyond the first read block",
         longAmbiguous + "a,15.02.2024\n",
         0,
         0,
         0,
         {Cell(0, 0, "d", kJan3), Cell(0, 1, "d", kDec1), Cell(tellingRow, 1, "d", kFeb15)},
         12,
         ""},
        {"nothing tells: month first stands",
         "03.01.2024\n12.01.2024\n",
         0,
         0,
         0,
         {Cell(0, 0, "d", kMar1), Cell(1, 0, "d", 45627)},
         11,
         ""},  // 1 December
        {"first date tells month first",
         "12.31.2024\n03.01.2024\n",
         0,
         0,
         0,
         {Cell(0, 0, "d", kDec31), Cell(1, 0, "d", kMar1)},
         11,
         ""},
        {"the header is no date",
         "15.01.2024\n03.01.2024\n12.31.2024\n",
         0,
         1,
         0,
         {TextCell(0, 0, "15.01.2024"), Cell(1, 0, "d", kMar1), Cell(2, 0, "d", kDec31)},
         11,
         ""},
        {"nor is the types line",
         "d,15.01.2024\n03.01.2024\n12.31.2024\n",
         0,
         0,
         1,
         {Cell(0, 0, "d", kMar1), Cell(1, 0, "d", kDec31)},
         11,
         ""},
        {"a date year first tells nothing of day and month",
         "03.01.2024,2024-01-12\n01.12.2023,x\n15.02.2024,x\n",
         0,
         0,
         0,
         {TextCell(0, 1, "2024-01-12"), Cell(0, 0, "d", kJan3), Cell(2, 0, "d", kFeb15)},
         12,
         " 1 field that looks like a date does not fit the date order DD.MM.YYYY and was kept "
         "as text."},
        {"year first, and nothing tells",
         "03.01.2024\n2024-01-12\n",
         0,
         0,
         0,
         {Cell(0, 0, "d", kMar1), TextCell(1, 0, "2024-01-12")},
         11,
         " 1 field that looks like a date does not fit the date order MM.DD.YYYY and was kept "
         "as text."},
        {"fixed order counts what does not fit",
         "15.02.2024,12.31.2024\n01.12.2023,x\n",
         1,
         0,
         0,
         {TextCell(0, 0, "15.02.2024"), Cell(0, 1, "d", kDec31),
          Cell(1, 0, "d", 44938)},  // 12 January 2023
         1,
         " 1 field that looks like a date does not fit the date order MM.DD.YYYY and was kept "
         "as text."},
        {"two that do not fit, and no date at all",
         "15.02.2024\n16.02.2024\n31.02.2024\n",
         11,
         0,
         0,
         {TextCell(0, 0, "15.02.2024"), TextCell(2, 0, "31.02.2024")},
         11,
         " 2 fields that look like dates do not fit the date order MM.DD.YYYY and were kept "
         "as text."},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = dir.File("in.csv");
        const std::string output = dir.File("out.xlsx");
        ASSERT_TRUE(WriteWholeFile(input, c.csv));
        ConversionSettings s{};
        SetDefaultSettings(&s);
        CopyText(s.inputPath, input);
        CopyText(s.outputPath, output);
        s.workbookType = 1;
        s.overwriteFile = 1;
        s.allCharacter = 0;
        s.dateMode = c.dateMode;
        s.hasHeader = c.hasHeader;
        s.typesInFile = c.typesInFile;
        Warnings warnings;
        RunOwner owner;
        owner.messages = &warnings.sink;
        ASSERT_EQ(ConversionRun(&owner, &s), RunResult::kConverted);
        EXPECT_EQ(s.dateMode, c.modeAfter);
        const std::string cells = SheetCells(output);
        for (const std::string& cell : c.cells) {
            EXPECT_NE(cells.find(cell), std::string::npos) << cell << " in\n" << cells;
        }
        if (c.warning.empty()) {
            EXPECT_TRUE(warnings.texts.empty()) << warnings.texts.front();
        } else {
            ASSERT_EQ(warnings.texts.size(), 1u);
            EXPECT_EQ(warnings.texts[0], input + ":" + c.warning);
        }
    }
}

TEST(RunDates, ColumnsForcedToTextOrDatesCountAsTheyEnd) {
    // Column 0 forced to text keeps its dates as text by choice; column 1
    // forced to dates and column 2 unforced keep theirs for not fitting.
    TempDir dir;
    const std::string input = dir.File("in.csv");
    const std::string output = dir.File("out.xls");
    ASSERT_TRUE(WriteWholeFile(input, "15.02.2024;15.02.2024;15.02.2024;Y\n"));
    ConversionSettings s{};
    SetDefaultSettings(&s);
    CopyText(s.inputPath, input);
    CopyText(s.outputPath, output);
    s.delimiter = ';';
    s.allCharacter = 0;
    s.dateMode = 1;
    AddTypeOverride(&s, "0=c");
    AddTypeOverride(&s, "1=d");
    AddTypeOverride(&s, "3=l");
    Warnings warnings;
    RunOwner owner;
    owner.messages = &warnings.sink;
    ASSERT_EQ(ConversionRun(&owner, &s), RunResult::kConverted);
    ASSERT_EQ(warnings.texts.size(), 1u);
    EXPECT_NE(warnings.texts[0].find(": 2 fields that look like dates"), std::string::npos)
        << warnings.texts[0];
    const std::string cells = SheetCells(output);
    for (int column = 0; column < 3; ++column) {
        EXPECT_NE(cells.find(TextCell(0, column, "15.02.2024")), std::string::npos) << cells;
    }
}

// The 1904 date system starts at serial 0, which must be written as a date
// like any other day, unforced and in a column forced to dates.
TEST(RunDates, FirstDayOf1904SystemIsADate) {
    struct Case {
        const char* workbook;
        std::int32_t type;
    };
    const Case cases[] = {
        {"xlsx/date_1904_02.xlsx", 1},
        {"xls/1904DateWindowing.xls", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.workbook);
        TempDir dir;
        const std::string input = dir.File("days.csv");
        const std::string output = dir.File(c.type == 1 ? "out.xlsx" : "out.xls");
        ASSERT_TRUE(WriteWholeFile(input, "1904-01-01,1904-01-01,1904-01-02 12:00\n"));
        std::filesystem::copy_file(std::string(QUENDLE_CORPUS_DIR) + "/" + c.workbook,
                                   testing_support::Utf8Path(output));
        ConversionSettings s{};
        SetDefaultSettings(&s);
        CopyText(s.inputPath, input);
        CopyText(s.outputPath, output);
        s.workbookType = c.type;
        s.overwriteFile = 0;
        s.allCharacter = 0;
        AddTypeOverride(&s, "1=d");
        RunOwner owner;
        ASSERT_EQ(ConversionRun(&owner, &s), RunResult::kConverted);
        const testing_support::CommandResult read =
            testing_support::RunTool("read_workbook.py", ShellQuote(output));
        ASSERT_EQ(read.exitCode, 0) << read.output;
        EXPECT_NE(read.output.find("\"date1904\": true"), std::string::npos) << read.output;
        // The new sheet is the last one.
        const std::string sheet = read.output.substr(read.output.find("\"days\""));
        EXPECT_NE(sheet.find("[0, 0, \"d\", 0.0]"), std::string::npos) << sheet;
        EXPECT_NE(sheet.find("[0, 1, \"d\", 0.0]"), std::string::npos) << sheet;
        EXPECT_NE(sheet.find("[0, 2, \"d\", 1.5]"), std::string::npos) << sheet;
    }
}

}  // namespace
}  // namespace engine
