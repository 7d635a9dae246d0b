// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "tests/test_support.h"
#include "tests/wizard/core/settings_for.h"
#include "wizard/core/wizard_core.h"

namespace {

using platform::ShellQuoting;
using wizard_testing::SettingsFor;

TEST(CommandLine, TextKeepsThePiecesInOrder) {
    struct Row {
        std::vector<std::string> arguments;
        std::vector<std::string> pieces;  // in this order; one piece without a leading blank: all
    };
    const Row rows[] = {
        {{"/in/a.csv", "/in/a.xls"},
         {"/in/a.xls /in/a.csv /OVERWRITE=0 /OVERWRITETABLE=1 /AUTODATE /ALLCHAR=1 /DROP=0 "
          "/TYPESINFILE=0 /TYPE=ANY /FIELDS=, /ALLCHAR=1 /NUMERIC=0123456789,.-  "
          "/BOOLEAN=YyTtNnFf  /OPEN=1 \n/SILENT "}},
        {{"/FIELDS=TAB"}, {" /FIELDS=TAB "}},
        {{"/FIELDS=PIPE"}, {" /FIELDS=PIPE "}},
        {{"/FIELDS=;"}, {" /FIELDS=; "}},
        {{"/OVERWRITE=SKIP", "/OVERWRITETABLE=SKIP"}, {" /OVERWRITE=1 /OVERWRITETABLE=SKIP "}},
        {{"/RECORDS=0", "/MAXLEN=-5", "/BATCH", "/WAIT", "/TABLENAME=T", "/x.xls"},
         {"/x.xls /TABLENAME=T ", " /DROP=0 /RECORDS=0 /MAXLEN=-5 /TYPESINFILE=0 ",
          " /OPEN=1 /BATCH /WAIT \n/SILENT "}},
        {{"/CT:0=n", "/CHANGETYPE:2=d", "/CT:1=l"}, {" /CT:0=n /CT:2=d /CT:1=l "}},
        {{"/FIELDTYPES="}, {" /FIELDTYPES= /TYPE=ANY "}},
        {{"/CODEPAGE=1251"}, {" /CODEPAGE=1251 /OPEN=1 "}},
        {{"/CODEPAGE=UTF-8", "/DECIMAL=,"}, {" /CODEPAGE=UTF-8 /DECIMAL=, /OPEN=1 "}},
        {{"/DECIMAL=."}, {" /DECIMAL=. /OPEN=1 "}},
        {{"/FIELDS=AUTO"}, {" /TYPE=ANY /FIELDS=AUTO /ALLCHAR=1 "}},
        {{"/fields=auto", "/autofit", "/SPLITROWS", "-FreezeHeader", "/AUTOFILTER"},
         {" /FIELDS=AUTO ", " /AUTOFIT /FREEZEHEADER /AUTOFILTER /SPLITROWS /OPEN=1 "}},
        {{"/SPLITROWS", "/DECIMAL=,"}, {" /DECIMAL=, /SPLITROWS /OPEN=1 "}},
        {{"/FIELDS=TAB", "/FIELDS=AUTO"}, {" /TYPE=ANY /FIELDS=TAB /FIELDS=AUTO /ALLCHAR=1 "}},
        {{"/TYPE=2007", "/ALLCHAR=0", "/NUMERIC=0123", "/BOOLEAN=Yn"},
         {" /ALLCHAR=0 /DROP=0 ", " /TYPE=2007 /FIELDS=, /ALLCHAR=0 /NUMERIC=0123  /BOOLEAN=Yn  "}},
    };
    for (const Row& row : rows) {
        const std::string text = wizard::CommandLineText(*SettingsFor(row.arguments));
        SCOPED_TRACE(text);
        if (row.pieces.size() == 1 && row.pieces[0][0] != ' ') {
            EXPECT_EQ(text, row.pieces[0]);
            continue;
        }
        std::size_t from = 0;
        for (const std::string& piece : row.pieces) {
            const std::size_t at = text.find(piece, from);
            ASSERT_NE(at, std::string::npos) << "missing or out of order: [" << piece << "]";
            from = at + piece.size();
        }
    }
    // Nothing says DECIMAL= when the separator is left to the data, nor an
    // option that is off.
    const std::string plain = wizard::CommandLineText(*SettingsFor({}));
    for (const char* absent : {"DECIMAL", "FIELDS=AUTO", "AUTOFI", "FREEZE", "SPLIT"}) {
        EXPECT_EQ(plain.find(absent), std::string::npos) << absent;
    }
}

// The arguments parse back into the settings they came from.
TEST(CommandLine, ArgumentsParseBack) {
    const std::vector<std::vector<std::string>> rows = {
        {"/data/in put.csv", "/out/My Book.xlsx", "/FIELDS=;", "/TYPE=2007", "/ALLCHAR=0",
         "/TABLENAME=Q1 'sales'", "/CODEPAGE=866", "/DECIMAL=,", "/DD.MM.YYYY", "/CT:2=d",
         "/OVERWRITE=1", "/OVERWRITETABLE=0", "/NUMERIC=0123456789.", "/OPEN=0"},
        {"/a.txt", "/b.xls", "/FIELDS=TAB", "/YYYY.MM.DD", "/TYPESINFILE=1", "/RECORDS=0",
         "/DECIMAL=.", "/CODEPAGE=UTF-8"},
        {"/a.csv", "/b.xls", "/FIELDS=PIPE", "/FIELDS= "},
        {"/a.csv", "/b.xlsx", "/FIELDS=;", "/FIELDS=auto", "/AUTOFIT", "/FREEZEHEADER",
         "/AUTOFILTER", "/SPLITROWS"},
        {"/a.csv", "/b.xlsx", "/FIELDS=AUTO", "/FIELDS=|", "/SPLITROWS", "/SPLITROWS=0",
         "/AUTOFIT"},
    };
    for (const auto& arguments : rows) {
        SCOPED_TRACE(arguments[0]);
        const auto original = SettingsFor(arguments);
        const auto again = SettingsFor(wizard::CommandLineArguments(*original));
        EXPECT_EQ(engine::TextOf(again->inputPath), engine::TextOf(original->inputPath));
        EXPECT_EQ(engine::TextOf(again->outputPath), engine::TextOf(original->outputPath));
        EXPECT_EQ(engine::TextOf(again->tableName), engine::TextOf(original->tableName));
        EXPECT_EQ(again->delimiter, original->delimiter);
        EXPECT_EQ(again->workbookType, original->workbookType);
        EXPECT_EQ(again->allCharacter, original->allCharacter);
        EXPECT_EQ(again->dateMode, original->dateMode);
        EXPECT_EQ(again->inputCodePage, original->inputCodePage);
        EXPECT_EQ(again->decimalSeparator, original->decimalSeparator);
        EXPECT_EQ(again->overwriteFile, original->overwriteFile);
        EXPECT_EQ(again->overwriteTable, original->overwriteTable);
        EXPECT_EQ(again->importRecords, original->importRecords);
        EXPECT_EQ(again->typesInFile, original->typesInFile);
        EXPECT_EQ(again->openResult, original->openResult);
        EXPECT_EQ(engine::TextOf(again->numericChars), engine::TextOf(original->numericChars));
        EXPECT_EQ(again->autoDelimiter, original->autoDelimiter);
        EXPECT_EQ(again->autoFit, original->autoFit);
        EXPECT_EQ(again->freezeHeader, original->freezeHeader);
        EXPECT_EQ(again->autoFilter, original->autoFilter);
        EXPECT_EQ(again->splitRows, original->splitRows);
        EXPECT_EQ(again->silentMode, 1);
    }
}

TEST(CommandLine, QuotingFollowsEachShell) {
    struct Row {
        std::string argument;
        std::string posix;
        std::string windows;
    };
    const Row rows[] = {
        {"/FIELDS=,", "/FIELDS=,", "/FIELDS=,"},
        {"/FIELDS=;", "'/FIELDS=;'", "\"/FIELDS=;\""},
        {"/FIELDS= ", "'/FIELDS= '", "\"/FIELDS= \""},
        {"/home/ann/My Book.xlsx", "'/home/ann/My Book.xlsx'", "\"/home/ann/My Book.xlsx\""},
        {"it's", "'it'\\''s'", "it's"},
        {"say \"hi\"", "'say \"hi\"'", "\"say \\\"hi\\\"\""},
        {"C:\\out dir\\", "'C:\\out dir\\'", "\"C:\\out dir\\\\\""},
        {"C:\\a\\b.xls", "'C:\\a\\b.xls'", "C:\\a\\b.xls"},
        {"a\\\"b", "'a\\\"b'", "\"a\\\\\\\"b\""},
        {"", "''", "\"\""},
        {"$HOME", "'$HOME'", "$HOME"},
        {"100%", "100%", "\"100%\""},
        {"a&b", "'a&b'", "\"a&b\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.argument);
        EXPECT_EQ(wizard::QuoteArgument(row.argument, ShellQuoting::kPosix), row.posix);
        EXPECT_EQ(wizard::QuoteArgument(row.argument, ShellQuoting::kWindows), row.windows);
    }
}

// Splits a command line as CommandLineToArgvW does for arguments after the
// program's name: blanks separate outside quotes; 2n backslashes before a
// quote give n and the quote toggles quoting; 2n+1 give n and a literal quote;
// other backslashes are literal.
std::vector<std::string> SplitLikeWindows(std::string_view line) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size();) {
        const char c = line[i];
        if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument) {
                arguments.push_back(current);
                current.clear();
                inArgument = false;
            }
            ++i;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            std::size_t run = 0;
            while (i < line.size() && line[i] == '\\') {
                ++run;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                current.append(run / 2, '\\');
                if (run % 2 == 1) {
                    current += '"';
                    ++i;
                }
            } else {
                current.append(run, '\\');
            }
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
        } else {
            current += c;
        }
        ++i;
    }
    if (inArgument) {
        arguments.push_back(current);
    }
    return arguments;
}

std::vector<std::string> Expected(const engine::ConversionSettings& settings,
                                  const std::string& program) {
    std::vector<std::string> expected{program};
    const std::vector<std::string> arguments = wizard::CommandLineArguments(settings);
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    return expected;
}

const std::vector<std::vector<std::string>> kAwkwardSettings = {
    {"/data/in put.csv", "/out/it's \"Q1\".xlsx", "/FIELDS=;", "/TABLENAME=a&b|c $x `y`"},
    {"/in/a.csv", "/out/b.xls", "/FIELDS= ", "/STATUS=/tmp/st at.log", "/CT:0=n"},
    {"C:\\in\\x y\\a.csv", "C:\\out dir\\b.xls", "/FIELDS=\"", "/TABLENAME=back\\slash\\"},
};

// The ready-to-run line goes through a real POSIX shell and comes out as the
// program's path and the very arguments the export holds.
TEST(CommandLine, ReadyToRunLineSurvivesThePosixShell) {
    const std::string program = "/opt/My Tools/quendle's";
    for (const auto& arguments : kAwkwardSettings) {
        const auto settings = SettingsFor(arguments);
        const std::string line =
            wizard::ReadyToRunCommandLine(*settings, program, ShellQuoting::kPosix);
        SCOPED_TRACE(line);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        const testing_support::CommandResult result = testing_support::RunCommand(
            "sh -c " + testing_support::ShellQuote("set -- " + line + "; printf '%s\\0' \"$@\""));
        ASSERT_EQ(result.exitCode, 0) << result.output;
        std::vector<std::string> split;
        for (std::size_t from = 0; from < result.output.size();) {
            const std::size_t zero = result.output.find('\0', from);
            ASSERT_NE(zero, std::string::npos);
            split.push_back(result.output.substr(from, zero - from));
            from = zero + 1;
        }
        EXPECT_EQ(split, Expected(*settings, program));
    }
}

TEST(CommandLine, ReadyToRunLineSplitsBackUnderWindowsRules) {
    const std::string program = "C:\\Program Files\\Quendle\\quendle.exe";
    for (const auto& arguments : kAwkwardSettings) {
        const auto settings = SettingsFor(arguments);
        const std::string line =
            wizard::ReadyToRunCommandLine(*settings, program, ShellQuoting::kWindows);
        SCOPED_TRACE(line);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_EQ(SplitLikeWindows(line), Expected(*settings, program));
    }
}

// For cmd.exe, no quoting keeps %, ! and " literal; a line holding one is
// not offered to copy, and the reason names the argument.
TEST(CommandLine, ReadyToRunLineIsRefusedWhereCmdWouldNotKeepIt) {
    const std::string program = "C:\\Program Files\\Quendle\\quendle.exe";
    struct Row {
        std::vector<std::string> arguments;
        std::string refusedArgument;  // empty: the line is offered
    };
    const Row rows[] = {
        {{"C:\\in\\a.csv", "C:\\out\\b.xls", "/TABLENAME=a&b|c^(d)"}, ""},
        {{"C:\\in\\a.csv", "C:\\out\\b.xls", "/TABLENAME=a\"&calc&\""}, "/TABLENAME=a\"&calc&\""},
        {{"C:\\in\\50%.csv", "C:\\out\\b.xls"}, "C:\\in\\50%.csv"},
        {{"C:\\in\\a.csv", "C:\\out\\wow!.xls"}, "C:\\out\\wow!.xls"},
    };
    for (const Row& row : rows) {
        const auto settings = SettingsFor(row.arguments);
        const std::string refusal =
            wizard::ReadyToRunRefusal(*settings, program, ShellQuoting::kWindows);
        SCOPED_TRACE(refusal);
        EXPECT_EQ(refusal.empty(), row.refusedArgument.empty());
        if (!row.refusedArgument.empty()) {
            EXPECT_NE(refusal.find(" " + row.refusedArgument + " holds "), std::string::npos);
        }
        EXPECT_EQ(wizard::ReadyToRunRefusal(*settings, program, ShellQuoting::kPosix), "");
    }
}

}  // namespace
