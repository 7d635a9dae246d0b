// SPDX-License-Identifier: MIT
// New .xlsx books: what openpyxl reads back from them, and the limits.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "xlsx_test_support.h"

namespace {

using testing_support::SystemFault;
using testing_support::SystemFaultText;
using testing_support::TempDir;
using workbook::BookKind;
using workbook::BookPtr;

TEST(XlsxNewBook, CellsReadBackThroughOpenpyxl) {
    TempDir dir;
    const std::string path = dir.File("cells.xlsx");
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    ASSERT_NE(book, nullptr);
    workbook::Sheet* data = workbook::AddSheet(book.get(), "Data");
    workbook::Sheet* more = workbook::AddSheet(book.get(), "Zwei Ä");
    ASSERT_NE(data, nullptr);
    ASSERT_NE(more, nullptr);
    workbook::Format* date = workbook::AddFormat(book.get());
    workbook::SetNumFormat(date, 14);
    const double serial = workbook::DatePack(book.get(), 2024, 2, 29, 0, 0, 0, 0);

    EXPECT_TRUE(workbook::WriteText(data, 0, 0, "plain", nullptr));
    EXPECT_TRUE(workbook::WriteNumber(data, 0, 1, 0.1 + 0.2, nullptr));
    EXPECT_TRUE(workbook::WriteNumber(data, 0, 2, serial, date));
    EXPECT_TRUE(workbook::WriteBool(data, 0, 3, true, nullptr));
    EXPECT_TRUE(workbook::WriteBool(data, 0, 4, false, nullptr));
    EXPECT_TRUE(workbook::WriteNumber(data, 0, 5, -1e-300, nullptr));
    // A gap in rows and columns, then the last column of the row.
    EXPECT_TRUE(workbook::WriteText(data, 5, 27, "AB6", nullptr));
    EXPECT_TRUE(workbook::WriteNumber(data, 5, 16383, 42, nullptr));
    EXPECT_TRUE(workbook::WriteText(more, 0, 0, "other sheet", nullptr));
    ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());

    EXPECT_TRUE(xlsx_test::ZipIsIntact(path));
    EXPECT_EQ(xlsx_test::SchemaProblems(path), "");
    EXPECT_EQ(xlsx_test::CellsOf(path),
              "date1904 false\n"
              "sheet \"Data\"\n"
              "0 0 s \"plain\"\n"
              "0 1 n 0.30000000000000004\n"
              "0 2 d 45351.0\n"
              "0 3 b true\n"
              "0 4 b false\n"
              "0 5 n -1e-300\n"
              "5 27 s \"AB6\"\n"
              "5 16383 n 42\n"
              "sheet \"Zwei Ä\"\n"
              "0 0 s \"other sheet\"\n");
}

TEST(XlsxNewBook, TextIsEscapedSoReadersSeeTheOriginal) {
    struct Case {
        const char* label;
        std::string written;
        std::string read;  // JSON of what a reader shows
        std::string xml;   // the element's text in the part; empty: not checked
    };
    const std::vector<Case> cases = {
        {"markup", "a<b>&\"c\"'", R"("a<b>&\"c\"'")", "a&lt;b&gt;&amp;\"c\"'"},
        // DEL is legal XML: written as it is, readers that know no escapes show it too.
        {"control characters", std::string("x\x01y\x1Fz\x7F", 6), "\"x\\u0001y\\u001fz\x7F\"",
         "x_x0001_y_x001F_z\x7F"},
        {"tab, line feed, carriage return", "a\tb\nc\rd", R"("a\tb\nc\rd")", "a\tb\nc_x000D_d"},
        {"literal escape", "_x0041_ and _x00e9", R"("_x0041_ and _x00e9")",
         "_x005F_x0041_ and _x00e9"},  // no closing underscore: nothing to decode
        {"not an escape", "_x12 _xZZZZ_", R"("_x12 _xZZZZ_")", ""},
        {"invalid UTF-8",
         "a\xC3(b\xFF"
         "c\xED\xA0\x80",
         R"("a�(b�c���")", ""},
        {"outside the BMP", "\xF0\x9F\x98\x80 \xF0\x90\x8D\x88", R"("😀 𐍈")", ""},
        {"surrounding spaces", "  padded  ", R"("  padded  ")", ""},
        {"empty", "", R"("")", ""},
    };
    TempDir dir;
    const std::string path = dir.File("escapes.xlsx");
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Escapes");
    std::string expected = "date1904 false\nsheet \"Escapes\"\n";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].label);
        EXPECT_TRUE(workbook::WriteText(sheet, static_cast<int>(i), 0, cases[i].written, nullptr));
        expected += std::to_string(i) + " 0 s " + cases[i].read + "\n";
    }
    ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    EXPECT_EQ(xlsx_test::SchemaProblems(path), "");
    EXPECT_EQ(xlsx_test::CellsOf(path), expected);
    const std::string part = xlsx_test::PartOf(path, "xl/worksheets/sheet1.xml");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        if (!c.xml.empty()) {
            EXPECT_NE(part.find("<t>" + c.xml + "</t>"), std::string::npos) << part;
        }
    }
}

TEST(XlsxNewBook, LimitsAndOrderRefuseWithClearText) {
    const std::string maxText(32767, 'x');
    // 16383 BMP characters + one astral (two UTF-16 units) = 32767 units.
    const std::string maxAstral = std::string(32765, 'y') + "\xF0\x9F\x98\x80";
    struct Case {
        const char* label;
        int row;
        int column;
        std::string text;
        const char* error;  // expected part of the error text; null when the write works
    };
    const std::vector<Case> cases = {
        {"first cell", 0, 0, "a", nullptr},
        {"column XFD", 0, 16383, "b", nullptr},
        {"column beyond XFD", 0, 16384, "c", "Column 16385 is beyond the last column"},
        {"32767 characters", 1, 0, maxText, nullptr},
        {"32768 characters", 1, 1, maxText + "x", "32768 characters is longer than a cell holds"},
        {"astral pair counts twice", 1, 2, maxAstral, nullptr},
        {"astral pair over the limit", 1, 3, maxAstral + "z", "32768 characters"},
        {"same cell again", 1, 2, "d", "rows and columns must increase"},
        {"earlier row", 0, 5, "e", "rows and columns must increase"},
    };
    TempDir dir;
    const std::string path = dir.File("limits.xlsx");
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Limits");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const bool written = workbook::WriteText(sheet, c.row, c.column, c.text, nullptr);
        EXPECT_EQ(written, c.error == nullptr);
        if (c.error != nullptr) {
            EXPECT_NE(std::string(workbook::ErrorMessage(book.get())).find(c.error),
                      std::string::npos)
                << workbook::ErrorMessage(book.get());
        }
    }
    ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    EXPECT_EQ(xlsx_test::SchemaProblems(path), "");
    const std::string cells = xlsx_test::CellsOf(path);
    EXPECT_NE(cells.find("0 16383 s \"b\"\n1 0 s \"" + maxText + "\"\n1 2 s \""),
              std::string::npos);
    EXPECT_EQ(cells.find("\"c\""), std::string::npos);
    EXPECT_EQ(cells.find("\"d\""), std::string::npos);

    // The last row, in a book of its own: readers that fill every row up to
    // the million-th would take minutes, so its part is checked directly.
    BookPtr tall(workbook::CreateBook(BookKind::kXlsx));
    workbook::Sheet* rows = workbook::AddSheet(tall.get(), "Rows");
    EXPECT_TRUE(workbook::WriteText(rows, 1048575, 0, "f", nullptr));
    EXPECT_FALSE(workbook::WriteText(rows, 1048576, 0, "g", nullptr));
    EXPECT_NE(std::string(workbook::ErrorMessage(tall.get()))
                  .find("Row 1048577 is beyond the last row of an .xlsx sheet (1048576)"),
              std::string::npos);
    EXPECT_EQ(workbook::LastRow(rows), 1048576);
    ASSERT_TRUE(workbook::SaveBook(tall.get(), dir.File("tall.xlsx")));
    EXPECT_TRUE(xlsx_test::ZipIsIntact(dir.File("tall.xlsx")));
    EXPECT_EQ(xlsx_test::SchemaProblems(dir.File("tall.xlsx")), "");
    EXPECT_NE(xlsx_test::PartOf(dir.File("tall.xlsx"), "xl/worksheets/sheet1.xml")
                  .find("<row r=\"1048576\"><c r=\"A1048576\" t=\"inlineStr\"><is><t>f</t>"),
              std::string::npos);
}

TEST(XlsxNewBook, SheetNamesAreChecked) {
    struct Case {
        std::string name;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"Data", true},
        {"data", false},  // duplicate, letter case ignored
        {"", false},
        {std::string(31, 'n'), true},
        {std::string(32, 'm'), false},
        {"Ünïcödé names ok", true},
        {"a:b", false},
        {"a\\b", false},
        {"a/b", false},
        {"a?b", false},
        {"a*b", false},
        {"a[b", false},
        {"a]b", false},
        {"'quoted", false},
        {"quoted'", false},
        {"it's", true},
        {"bad\xFFutf8", false},
    };
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), c.name);
        EXPECT_EQ(sheet != nullptr, c.accepted);
        EXPECT_EQ(std::string(workbook::ErrorMessage(book.get())).empty(), c.accepted);
        if (sheet != nullptr) {
            EXPECT_EQ(workbook::SheetName(sheet), c.name);
        }
    }
}

TEST(XlsxNewBook, FailedSaveLeavesTheOldFileAlone) {
    TempDir dir;
    const std::string existing = dir.File("existing.xlsx");
    const std::string oldBytes = "old workbook bytes";
    ASSERT_TRUE(testing_support::WriteWholeFile(existing, oldBytes));
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("plainfile"), "x"));
    std::filesystem::create_directory(dir.File("folder.xlsx"));
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("folder.xlsx") + "/inside", "x"));
    struct Case {
        const char* label;
        std::string target;
        bool withSheet;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"folder missing", dir.File("missing/out.xlsx"), true,
         SystemFaultText(SystemFault::kNoSuchFolder)},
        {"folder is a file", dir.File("plainfile/out.xlsx"), true,
         SystemFaultText(SystemFault::kNotAFolder)},
        {"target is a folder", dir.File("folder.xlsx"), true, "Cannot save"},
        {"no sheet to save", existing, false, "no sheet"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        if (c.withSheet) {
            workbook::Sheet* sheet = workbook::AddSheet(book.get(), "S");
            ASSERT_TRUE(workbook::WriteText(sheet, 0, 0, "new", nullptr));
        }
        EXPECT_FALSE(workbook::SaveBook(book.get(), c.target));
        EXPECT_NE(std::string(workbook::ErrorMessage(book.get())).find(c.reason), std::string::npos)
            << workbook::ErrorMessage(book.get());
    }
    EXPECT_EQ(testing_support::ReadWholeFile(existing), oldBytes);
    // No temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 3);
}

}  // namespace

namespace {

// Sheets of several MiB go through several deflate chunks (each primed with
// its predecessor's tail) and, when appended to, through the streamed splice.
TEST(XlsxNewBook, LargeSheetSpanningManyChunksReadsBack) {
    constexpr int kRows = 40000;
    TempDir dir;
    const std::string path = dir.File("large.xlsx");
    const auto rowText = [](int row) {
        return "row " + std::to_string(row) + " with some filler text to widen the XML";
    };
    {
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Big");
        for (int row = 0; row < kRows; ++row) {
            ASSERT_TRUE(workbook::WriteText(sheet, row, 0, rowText(row), nullptr));
            ASSERT_TRUE(workbook::WriteNumber(sheet, row, 1, row * 0.5, nullptr));
        }
        ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    }
    ASSERT_GT(xlsx_test::PartOf(path, "xl/worksheets/sheet1.xml").size(), 3u << 20);
    EXPECT_EQ(xlsx_test::SchemaProblems(path), "");
    {
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        ASSERT_TRUE(workbook::LoadBook(book.get(), path));
        workbook::Sheet* sheet = workbook::GetSheet(book.get(), 0);
        ASSERT_EQ(workbook::LastRow(sheet), kRows);
        for (int row = kRows; row < kRows + 100; ++row) {
            ASSERT_TRUE(workbook::WriteText(sheet, row, 0, rowText(row), nullptr));
        }
        ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    }
    EXPECT_TRUE(xlsx_test::ZipIsIntact(path));
    EXPECT_EQ(xlsx_test::SchemaProblems(path), "");
    const std::string cells = xlsx_test::CellsOf(path);
    std::size_t lines = 0;
    for (char c : cells) {
        lines += c == '\n' ? 1 : 0;
    }
    EXPECT_EQ(lines, 2u + 2u * kRows + 100u);
    EXPECT_NE(cells.find("\n0 0 s \"" + rowText(0) + "\"\n0 1 n 0\n"), std::string::npos);
    EXPECT_NE(cells.find("\n39999 1 n 19999.5\n40000 0 s \"" + rowText(kRows) + "\"\n"),
              std::string::npos);
    EXPECT_NE(cells.find("\n40099 0 s \"" + rowText(kRows + 99) + "\"\n"), std::string::npos);
}

}  // namespace
