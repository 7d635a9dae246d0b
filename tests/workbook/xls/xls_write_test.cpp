// SPDX-License-Identifier: MIT
// New .xls books: every cell kind, long strings across CONTINUE records,
// the sheet limits, write order, sheet names and failed saves, each checked
// through xlrd and olefile.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"
#include "workbook/workbook.h"
#include "xls_test_util.h"

namespace {

using testing_support::SystemFault;
using testing_support::SystemFaultText;
using testing_support::TempDir;
using workbook::BookPtr;
using xls_test::NewBook;

TEST(XlsWriter, CellsReadBackThroughXlrd) {
    TempDir dir;
    const std::string path = dir.File("cells.xls");
    BookPtr book = NewBook();
    ASSERT_NE(book, nullptr);
    workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Data");
    ASSERT_NE(sheet, nullptr);
    workbook::Format* date = workbook::AddFormat(book.get());
    workbook::SetNumFormat(date, 14);

    struct Case {
        int row, column;
        char kind;  // 's' text, 'n' number, 'b' boolean, 'd' date
        std::string text;
        double number;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {0, 0, 's', "plain", 0, "cell \"Data\" 0 0 s \"plain\" \"General\""},
        {0, 1, 's',
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         0, "cell \"Data\" 0 1 s \"Gr\\u00fc\\u00dfe\" \"General\""},
        {0, 2, 's', "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", 0,
         "cell \"Data\" 0 2 s \"\\u041f\\u0440\\u0438\\u0432\\u0435\\u0442\" \"General\""},
        {0, 3, 's', "smile \xF0\x9F\x98\x80", 0,
         "cell \"Data\" 0 3 s \"smile \\ud83d\\ude00\" \"General\""},
        {0, 4, 's', "bad \xFF\xC3", 0, "cell \"Data\" 0 4 s \"bad \\ufffd\\ufffd\" \"General\""},
        {0, 5, 's', "", 0, "cell \"Data\" 0 5 s \"\" \"General\""},
        {1, 0, 'n', "", 42, "cell \"Data\" 1 0 n 42.0 \"General\""},
        {1, 1, 'n', "", -536870912, "cell \"Data\" 1 1 n -536870912.0 \"General\""},
        {1, 2, 'n', "", 536870912, "cell \"Data\" 1 2 n 536870912.0 \"General\""},
        {1, 3, 'n', "", 3.14, "cell \"Data\" 1 3 n 3.14 \"General\""},
        {1, 4, 'n', "", 0.1, "cell \"Data\" 1 4 n 0.1 \"General\""},
        {1, 5, 'n', "", -1234.5678, "cell \"Data\" 1 5 n -1234.5678 \"General\""},
        {1, 6, 'n', "", 1e300, "cell \"Data\" 1 6 n 1e+300 \"General\""},
        {1, 7, 'n', "", 123456789012.0, "cell \"Data\" 1 7 n 123456789012.0 \"General\""},
        {1, 8, 'n', "", 0.5, "cell \"Data\" 1 8 n 0.5 \"General\""},
        {1, 9, 'n', "", 21474836.47, "cell \"Data\" 1 9 n 21474836.47 \"General\""},
        {2, 0, 'b', "", 1, "cell \"Data\" 2 0 b true \"General\""},
        {2, 1, 'b', "", 0, "cell \"Data\" 2 1 b false \"General\""},
        {40, 0, 'd', "", workbook::DatePack(book.get(), 2016, 2, 29, 0, 0, 0, 0),
         "cell \"Data\" 40 0 d 42429.0 \"m/d/yy\""},
        {40, 255, 's', "last column", 0, "cell \"Data\" 40 255 s \"last column\" \"General\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        bool ok = false;
        if (c.kind == 's') {
            ok = workbook::WriteText(sheet, c.row, c.column, c.text, nullptr);
        } else if (c.kind == 'n') {
            ok = workbook::WriteNumber(sheet, c.row, c.column, c.number, nullptr);
        } else if (c.kind == 'b') {
            ok = workbook::WriteBool(sheet, c.row, c.column, c.number != 0, nullptr);
        } else {
            ok = workbook::WriteNumber(sheet, c.row, c.column, c.number, date);
        }
        EXPECT_TRUE(ok) << workbook::ErrorMessage(book.get());
    }
    ASSERT_NE(workbook::AddSheet(book.get(), "Empty"), nullptr);
    ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    EXPECT_EQ(workbook::LastRow(sheet), 41);

    std::vector<std::string> expected = {"date1904 0", "sheet \"Data\""};
    for (const Case& c : cases) {
        expected.push_back(c.expected);
    }
    expected.push_back("sheet \"Empty\"");
    EXPECT_EQ(xls_test::CellsOf(path), expected);
    const auto streams = xls_test::StreamsOf(path);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].rfind("stream Workbook ", 0), 0u) << streams[0];
}

// Strings long enough to cross many CONTINUE records, in both encodings,
// and one of the longest length a cell takes.
TEST(XlsWriter, LongStringsStraddleContinueRecords) {
    TempDir dir;
    const std::string path = dir.File("long.xls");
    BookPtr book = NewBook();
    workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Long");
    ASSERT_NE(sheet, nullptr);
    std::vector<std::string> expected = {"date1904 0", "sheet \"Long\""};
    for (int row = 0; row < 60; ++row) {
        std::string text;
        std::string json;
        const int length = 997 + row * 131;
        for (int i = 0; i < length; ++i) {
            // Every third string is Cyrillic (two bytes a character in the file).
            if (row % 3 == 0) {
                text += "\xD0\x96";
                json += "\\u0416";
            } else {
                const char c = static_cast<char>('a' + (i + row) % 26);
                text += c;
                json += c;
            }
        }
        ASSERT_TRUE(workbook::WriteText(sheet, row, 0, text, nullptr));
        expected.push_back("cell \"Long\" " + std::to_string(row) + " 0 s \"" + json +
                           "\" \"General\"");
    }
    const std::string longest(32767, 'x');
    ASSERT_TRUE(workbook::WriteText(sheet, 60, 0, longest, nullptr))
        << workbook::ErrorMessage(book.get());
    expected.push_back("cell \"Long\" 60 0 s \"" + longest + "\" \"General\"");
    ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    EXPECT_EQ(xls_test::CellsOf(path), expected);
}

// Characters beyond the BMP take two UTF-16 units; whatever the offset of
// the record boundary, no pair is cut in two.
TEST(XlsWriter, SurrogatePairsStayWholeAcrossContinueRecords) {
    for (int lead = 0; lead < 4; ++lead) {
        SCOPED_TRACE(testing::Message() << lead << " ASCII characters first");
        TempDir dir;
        const std::string path = dir.File("emoji.xls");
        BookPtr book = NewBook();
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "E");
        ASSERT_NE(sheet, nullptr);
        std::string text(static_cast<std::size_t>(lead), 'a');
        std::string json = text;
        for (int i = 0; i < 6000; ++i) {
            text += "\xF0\x9F\x98\x80";  // U+1F600
            json += "\\ud83d\\ude00";
        }
        ASSERT_TRUE(workbook::WriteText(sheet, 0, 0, text, nullptr));
        ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
        EXPECT_EQ(xls_test::CellsOf(path),
                  (std::vector<std::string>{"date1904 0", "sheet \"E\"",
                                            "cell \"E\" 0 0 s \"" + json + "\" \"General\""}));
        // And our own loader reads it back whole.
        BookPtr again = NewBook();
        ASSERT_TRUE(workbook::LoadBook(again.get(), path)) << workbook::ErrorMessage(again.get());
    }
}

TEST(XlsWriter, LimitsFailWithTheLimitNamed) {
    struct Case {
        const char* what;
        int row, column;
        std::size_t textLength;
        bool accepted;
        const char* errorPart;
    };
    const Case cases[] = {
        {"last row", 65535, 0, 1, true, ""},
        {"row past the end", 65536, 0, 1, false,
         "Row 65537 is beyond the last row of an .xls sheet (65536)"},
        {"last column", 10, 255, 1, true, ""},
        {"column past the end", 10, 256, 1, false, "Column 257 is beyond the last column"},
        {"negative row", -1, 0, 1, false, "Row 0 is beyond"},
        {"longest text", 10, 0, 32767, true, ""},
        {"text one too long", 10, 1, 32768, false, "more than an .xls cell holds (32767)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        BookPtr book = NewBook();
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Limits");
        ASSERT_NE(sheet, nullptr);
        const bool ok =
            workbook::WriteText(sheet, c.row, c.column, std::string(c.textLength, 'a'), nullptr);
        EXPECT_EQ(ok, c.accepted);
        EXPECT_NE(std::string(workbook::ErrorMessage(book.get())).find(c.errorPart),
                  std::string::npos)
            << workbook::ErrorMessage(book.get());
        ASSERT_TRUE(workbook::SaveBook(book.get(), dir.File("l.xls")))
            << workbook::ErrorMessage(book.get());
        const auto cells = xls_test::SheetLines(xls_test::CellsOf(dir.File("l.xls")), "\"Limits\"");
        ASSERT_EQ(cells.size(), c.accepted ? 1u : 0u);
        if (c.accepted) {
            EXPECT_EQ(
                cells[0].rfind(
                    "cell \"Limits\" " + std::to_string(c.row) + " " + std::to_string(c.column), 0),
                0u);
        }
    }
}

TEST(XlsWriter, OutOfOrderWritesFail) {
    struct Case {
        const char* what;
        int row, column;
        bool accepted;
    };
    // After writing row 5, column 3:
    const Case cases[] = {
        {"same cell again", 5, 3, false},
        {"earlier column", 5, 2, false},
        {"earlier row", 4, 9, false},
        {"later column", 5, 4, true},
        {"later row, first column", 6, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BookPtr book = NewBook();
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Order");
        ASSERT_TRUE(workbook::WriteNumber(sheet, 5, 3, 1, nullptr));
        EXPECT_EQ(workbook::WriteNumber(sheet, c.row, c.column, 2, nullptr), c.accepted);
        if (!c.accepted) {
            EXPECT_NE(std::string(workbook::ErrorMessage(book.get())).find("increasing"),
                      std::string::npos);
        }
    }
}

TEST(XlsBook, SheetNamesAreChecked) {
    BookPtr book = NewBook();
    ASSERT_NE(workbook::AddSheet(book.get(), "Data"), nullptr);
    ASSERT_NE(workbook::AddSheet(book.get(), "\xD0\x9B\xD0\xB8\xD1\x81\xD1\x82"), nullptr);  // Лист
    struct Case {
        std::string name;
        bool accepted;
        const char* errorPart;
    };
    const std::vector<Case> cases = {
        {"", false, "empty"},
        {std::string(31, 'n'), true, ""},
        {std::string(32, 'n'), false, "longer than 31"},
        {"a:b", false, "cannot hold"},
        {"a\\b", false, "cannot hold"},
        {"a/b", false, "cannot hold"},
        {"a?b", false, "cannot hold"},
        {"a*b", false, "cannot hold"},
        {"a[b", false, "cannot hold"},
        {"a]b", false, "cannot hold"},
        {"DATA", false, "already has a sheet"},
        {"\xD0\x9B\xD0\x98\xD0\xA1\xD0\xA2", false, "already has a sheet"},  // ЛИСТ
        {"Data 2", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), c.name);
        EXPECT_EQ(sheet != nullptr, c.accepted);
        EXPECT_NE(std::string(workbook::ErrorMessage(book.get())).find(c.errorPart),
                  std::string::npos)
            << workbook::ErrorMessage(book.get());
        if (sheet != nullptr) {
            EXPECT_EQ(workbook::SheetName(sheet), c.name);
        }
    }
}

TEST(XlsBook, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.File("keep.xls");
    BookPtr book = NewBook();
    workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Keep");
    ASSERT_TRUE(workbook::WriteText(sheet, 0, 0, "old", nullptr));
    ASSERT_TRUE(workbook::SaveBook(book.get(), path));
    const std::string before = testing_support::ReadWholeFile(path);
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("plain"), "a regular file"));

    struct Case {
        const char* what;
        std::string target;
        std::string errorPart;
    };
    const Case cases[] = {
        {"missing folder", dir.File("missing/out.xls"),
         SystemFaultText(SystemFault::kNoSuchFolder)},
        {"folder is a regular file", dir.File("plain/out.xls"),
         SystemFaultText(SystemFault::kNotAFolder)},
        {"target is a folder", dir.path().string(), "Cannot save"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(workbook::SaveBook(book.get(), c.target));
        EXPECT_NE(std::string(workbook::ErrorMessage(book.get())).find(c.errorPart),
                  std::string::npos)
            << workbook::ErrorMessage(book.get());
    }
    // A book that cannot be written (no sheets left) must not touch the file.
    BookPtr loaded = NewBook();
    ASSERT_TRUE(workbook::LoadBook(loaded.get(), path)) << workbook::ErrorMessage(loaded.get());
    ASSERT_TRUE(workbook::DeleteSheet(loaded.get(), 0));
    EXPECT_FALSE(workbook::SaveBook(loaded.get(), path));
    EXPECT_EQ(testing_support::ReadWholeFile(path), before);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2) << "a temporary file was left behind";
}

}  // namespace
