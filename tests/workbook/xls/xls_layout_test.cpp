// SPDX-License-Identifier: MIT
// Sheet layout in .xls files: fitted column widths (COLINFO), a frozen title
// row (WINDOW2, PANE, SELECTION) and filter buttons (AUTOFILTERINFO and the
// sheet's hidden filter-range name), read back by xlrd, by the record walker
// and by our own loader; widths merged into loaded sheets that grow; names
// of loaded books kept; and, when LibreOffice is installed, what an office
// program makes of the records.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "test_support.h"
#include "workbook/le_bytes.h"
#include "workbook/workbook.h"
#include "workbook/xls/biff_records.h"
#include "xls_test_util.h"

namespace {

using testing_support::TempDir;
using workbook::BookPtr;
using xls_test::NewBook;
namespace xls = workbook::xls;

const std::string kCorpus = std::string(QUENDLE_CORPUS_DIR) + "/xls/";

std::vector<std::string> ToolLines(const std::string& tool, const std::string& path) {
    const auto result = testing_support::RunTool(tool, testing_support::ShellQuote(path));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return xls_test::Lines(result.output);
}

std::vector<std::string> LayoutOf(const std::string& path) {
    return ToolLines("xls_layout.py", path);
}

std::vector<std::string> RecordsOf(const std::string& path) {
    return ToolLines("xls_records.py", path);
}

std::vector<std::string> Starting(const std::vector<std::string>& lines,
                                  const std::string& prefix) {
    std::vector<std::string> out;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(out),
                 [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    return out;
}

std::vector<std::string> Without(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> out;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(out),
                 [&](const std::string& line) { return line.rfind(prefix, 0) != 0; });
    return out;
}

workbook::Sheet* SheetNamed(workbook::Book* book, const std::string& name) {
    for (int i = 0; i < workbook::SheetCount(book); ++i) {
        if (workbook::SheetName(workbook::GetSheet(book, i)) == name) {
            return workbook::GetSheet(book, i);
        }
    }
    return nullptr;
}

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// The sheet's records outside the cell table (see xls_records.py).
std::string OrderOf(const std::vector<std::string>& records, const std::string& sheet) {
    const auto lines = Starting(records, "order " + Quoted(sheet) + " ");
    return lines.size() == 1 ? lines[0].substr(lines[0].find("\" ") + 2) : "";
}

// Writes a title row and `rows` rows whose columns need known widths:
// column 0 six characters (the default width shows them), column 1 seven
// (one more than it shows), a negative number and a date of twelve fitted
// characters each, a boolean, a text past the widest fitted column, wide
// East Asian characters, and `lastColumn` (the sheet's last by default).
void WriteMeasuredRows(workbook::Book* book, workbook::Sheet* sheet, int rows,
                       int lastColumn = 255) {
    workbook::Format* date = workbook::AddFormat(book);
    workbook::SetNumFormat(date, 14);
    for (int column : {0, 1, 2, 3, 4, 5, 6, lastColumn}) {
        ASSERT_TRUE(workbook::WriteText(sheet, 0, column, "T", nullptr));
    }
    for (int row = 1; row <= rows; ++row) {
        ASSERT_TRUE(workbook::WriteText(sheet, row, 0, "abcdef", nullptr));
        ASSERT_TRUE(workbook::WriteText(sheet, row, 1, "abcdefg", nullptr));
        ASSERT_TRUE(workbook::WriteNumber(sheet, row, 2, -1234.5678, nullptr));
        ASSERT_TRUE(workbook::WriteNumber(sheet, row, 3,
                                          workbook::DatePack(book, 2026, 12, 8, 0, 0, 0, 0), date));
        ASSERT_TRUE(workbook::WriteBool(sheet, row, 4, true, nullptr));
        ASSERT_TRUE(workbook::WriteText(sheet, row, 5, std::string(100, 'x'), nullptr));
        // Five characters of two cells each.
        ASSERT_TRUE(workbook::WriteText(sheet, row, 6,
                                        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"
                                        "\xE3\x83\x86\xE3\x82\xAD",
                                        nullptr));
        ASSERT_TRUE(workbook::WriteText(sheet, row, lastColumn, "Last column text", nullptr));
    }
}

// A new sheet gets what its layout asks, in the places the record order
// gives them, and nothing when it asks nothing.
TEST(XlsLayout, NewSheetsWriteWidthsPanesAndFilters) {
    const std::string head =
        "0809 020b 000d 000c 000f 0011 0010 005f 002a 002b 0082 0080 0225 0081 "
        "0014 0015 0083 0084 00a1 0055";
    const std::vector<std::string> widths = {
        "width \"S\" 1 1 2304 15 0 0",     "width \"S\" 2 3 3072 15 0 0",
        "width \"S\" 5 5 20480 15 0 0",    "width \"S\" 6 6 3072 15 0 0",
        "width \"S\" 255 255 4608 15 0 0",
    };
    struct Case {
        const char* what;
        bool autoFit;
        int frozenRows;
        int filterRow;
        std::string order;                // after DEFCOLWIDTH
        std::vector<std::string> layout;  // xls_layout.py's lines
    };
    const std::string colInfos = " 007d 007d 007d 007d 007d";
    const std::vector<Case> cases = {
        {"nothing asked", false, 0, -1, " 0200 023e 000a", {}},
        {"fitted widths", true, 0, -1, colInfos + " 0200 023e 000a", widths},
        {"frozen title row", false, 1, -1, " 0200 023e 0041 001d 000a", {"frozen \"S\" 1 1 2"}},
        {"filter on the title row",
         false,
         0,
         0,
         " 009d 0200 023e 000a",
         {"name \"_FilterDatabase\" 0 1 0:0:5:0:256"}},
        {"filter below other titles, three rows frozen",
         false,
         3,
         2,
         " 009d 0200 023e 0041 001d 000a",
         {"frozen \"S\" 3 3 2", "name \"_FilterDatabase\" 0 1 0:2:5:0:256"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.File("layout.xls");
        BookPtr book = NewBook();
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "S");
        ASSERT_NE(sheet, nullptr);
        workbook::SetAutoFit(sheet, c.autoFit);
        workbook::FreezeRows(sheet, c.frozenRows);
        workbook::SetAutoFilter(sheet, c.filterRow);
        WriteMeasuredRows(book.get(), sheet, 3);
        // Saved, then written on and saved again: the second save's layout
        // takes in the row written since, once.
        ASSERT_TRUE(workbook::SaveBook(book.get(), dir.File("first.xls")));
        ASSERT_TRUE(workbook::WriteText(sheet, 4, 0, "a", nullptr));
        ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());

        EXPECT_EQ(LayoutOf(path), c.layout);
        const auto records = RecordsOf(path);
        EXPECT_EQ(OrderOf(records, "S"), head + c.order);
        EXPECT_EQ(Starting(records, "index "), std::vector<std::string>{"index \"S\" ok"});
        EXPECT_EQ(xls_test::SheetLines(xls_test::CellsOf(path), "\"S\"").size(), 8u * 4u + 1);
        // Our loader reads the records and keeps them through a save.
        BookPtr again = NewBook();
        ASSERT_TRUE(workbook::LoadBook(again.get(), path)) << workbook::ErrorMessage(again.get());
        EXPECT_EQ(workbook::LastRow(SheetNamed(again.get(), "S")), 5);
        ASSERT_TRUE(workbook::SaveBook(again.get(), dir.File("again.xls")));
        EXPECT_EQ(LayoutOf(dir.File("again.xls")), c.layout);
    }
}

// Rows appended below a loaded sheet widen its columns to fit, never
// narrow them: a range whose columns differ splits, its other fields (the
// column XF among them) kept; columns without a range get their own. The
// sheet's INDEX, cells and the other sheets stay right.
TEST(XlsLayout, AppendingWidensLoadedColumns) {
    struct Case {
        const char* file;
        const char* sheet;
        std::vector<std::pair<int, int>> texts;  // column, characters
        std::vector<std::string> widths;         // the sheet's width lines after
        int colInfos;                            // its COLINFO records after
    };
    const std::vector<Case> cases = {
        {"DateFormats.xls",
         "Sheet1",
         {{0, 20}, {1, 40}, {2, 20}, {3, 24}},
         {"width \"Sheet1\" 0 0 6363 15 0 0", "width \"Sheet1\" 1 1 10752 15 0 0",
          "width \"Sheet1\" 2 2 5632 15 0 0", "width \"Sheet1\" 3 3 6656 15 0 0"},
         4},
        {"LookupFunctionsTestCaseData.xls",
         "Read Me",
         {{0, 3}, {3, 30}},
         {"width \"Read Me\" 0 0 25270 15 0 0", "width \"Read Me\" 1 2 2267 15 0 0",
          "width \"Read Me\" 3 3 8192 15 0 0", "width \"Read Me\" 4 255 2267 15 0 0"},
         4},
        {"countifExamples.xls",
         "MSDN Example 2",
         {{1, 12}, {5, 12}},
         {"width \"MSDN Example 2\" 0 0 5083 67 0 0", "width \"MSDN Example 2\" 1 1 7314 67 0 0",
          "width \"MSDN Example 2\" 2 2 3437 67 0 0", "width \"MSDN Example 2\" 3 4 2340 67 0 0",
          "width \"MSDN Example 2\" 5 5 3584 67 0 0", "width \"MSDN Example 2\" 6 255 2340 67 0 0"},
         6},
        {"SampleSS.xls", "First Sheet", {{0, 40}}, {"width \"First Sheet\" 0 0 10752 15 0 0"}, 1},
        // Columns of ten characters by default: a text the default width
        // shows adds no range.
        {"1904DateWindowing.xls",
         "Sheet1",
         {{0, 8}, {1, 12}},
         {"width \"Sheet1\" 1 1 3584 15 0 0"},
         1},
        // A range to column 256, as Excel writes it, split at the last column.
        {"ragged.xls",
         "Sheet1",
         {{255, 30}},
         {"width \"Sheet1\" 0 254 2952 15 0 0", "width \"Sheet1\" 255 255 8192 15 0 0"},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.sheet);
        TempDir dir;
        const std::string source = kCorpus + c.file;
        const std::string saved = dir.File("appended.xls");
        const auto layoutBefore = LayoutOf(source);
        const auto recordsBefore = RecordsOf(source);
        const auto cellsBefore = xls_test::CellsOf(source);
        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), source)) << workbook::ErrorMessage(book.get());
        workbook::Sheet* sheet = SheetNamed(book.get(), c.sheet);
        ASSERT_NE(sheet, nullptr);
        workbook::SetAutoFit(sheet, true);
        const int first = workbook::LastRow(sheet);
        for (const auto& [column, characters] : c.texts) {
            ASSERT_TRUE(
                workbook::WriteText(sheet, first, column, std::string(characters, 'w'), nullptr));
        }
        ASSERT_TRUE(workbook::WriteNumber(sheet, first + 40, 0, 1, nullptr));
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());

        const auto layout = LayoutOf(saved);
        const std::string prefix = "width " + Quoted(c.sheet) + " ";
        EXPECT_EQ(Starting(layout, prefix), c.widths);
        EXPECT_EQ(Without(layout, prefix), Without(layoutBefore, prefix));
        const auto records = RecordsOf(saved);
        const std::string order = OrderOf(records, c.sheet);
        std::size_t colInfos = 0;
        for (std::size_t at = order.find("007d"); at != std::string::npos;
             at = order.find("007d", at + 1)) {
            ++colInfos;
        }
        EXPECT_EQ(colInfos, static_cast<std::size_t>(c.colInfos)) << order;
        // An INDEX, rewritten, lists every record where it now is (the one
        // 1904DateWindowing.xls has gives no DEFCOLWIDTH).
        EXPECT_EQ(Starting(records, "index " + Quoted(c.sheet)).size(),
                  Starting(recordsBefore, "index " + Quoted(c.sheet)).size());
        for (const std::string& line : Starting(records, "index " + Quoted(c.sheet))) {
            EXPECT_EQ(line, "index " + Quoted(c.sheet) + " ok");
        }
        for (const std::string& line : Starting(recordsBefore, "order ")) {
            if (line.rfind("order " + Quoted(c.sheet), 0) != 0) {
                EXPECT_NE(std::find(records.begin(), records.end(), line), records.end()) << line;
            }
        }
        const auto cells = xls_test::CellsOf(saved);
        for (const std::string& line : cellsBefore) {
            EXPECT_NE(std::find(cells.begin(), cells.end(), line), cells.end()) << line;
        }
        EXPECT_EQ(cells.size(), cellsBefore.size() + c.texts.size() + 1);
        BookPtr again = NewBook();
        ASSERT_TRUE(workbook::LoadBook(again.get(), saved)) << workbook::ErrorMessage(again.get());
        EXPECT_EQ(workbook::LastRow(SheetNamed(again.get(), c.sheet)), first + 41);
    }
}

// Filter buttons on a replaced sheet and on an added one of books that have
// names of their own: the book's names keep their order and meaning, each
// filtered sheet gets one hidden filter-range name over its written range,
// and the other sheets keep their records. Replacing the sheet again in the
// saved book renames its range rather than adding a second name.
TEST(XlsLayout, FiltersJoinTheNamesOfLoadedBooks) {
    struct Case {
        const char* file;
        int replace;
    };
    const Case cases[] = {
        {"namesdemo.xls", 1},          {"issue20.xls", 0},         {"RepeatingRowsCols.xls", 2},
        {"SampleSS.xls", 0},           {"WithThreeCharts.xls", 0}, {"55906-MultiSheetRefs.xls", 1},
        {"formula_test_names.xls", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        const std::string source = kCorpus + c.file;
        const auto namesBefore = Starting(LayoutOf(source), "name ");
        const auto recordsBefore = RecordsOf(source);
        std::string current = source;
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(round == 0 ? "replaced and added" : "replaced again");
            BookPtr book = NewBook();
            ASSERT_TRUE(workbook::LoadBook(book.get(), current))
                << workbook::ErrorMessage(book.get());
            const int count = workbook::SheetCount(book.get());
            const std::string name(workbook::SheetName(workbook::GetSheet(book.get(), c.replace)));
            workbook::Sheet* replaced = workbook::ReplaceSheet(book.get(), c.replace, name);
            ASSERT_NE(replaced, nullptr) << workbook::ErrorMessage(book.get());
            workbook::SetAutoFilter(replaced, 0);
            workbook::FreezeRows(replaced, 1);
            const int rows = round == 0 ? 5 : 9;
            for (int row = 0; row < rows; ++row) {
                for (int column = 0; column <= round + 2; ++column) {
                    ASSERT_TRUE(workbook::WriteNumber(replaced, row, column, row, nullptr));
                }
            }
            if (round == 0) {
                workbook::Sheet* added = workbook::AddSheet(book.get(), "Filtered");
                ASSERT_NE(added, nullptr);
                workbook::SetAutoFilter(added, 0);
                ASSERT_TRUE(workbook::WriteText(added, 0, 0, "Title", nullptr));
                ASSERT_TRUE(workbook::WriteText(added, 1, 1, "value", nullptr));
            }
            const std::string saved = dir.File("round" + std::to_string(round) + ".xls");
            ASSERT_TRUE(workbook::SaveBook(book.get(), saved))
                << workbook::ErrorMessage(book.get());

            const auto names = Starting(LayoutOf(saved), "name ");
            const int total = round == 0 ? count + 1 : count;
            const std::string added = "name \"_FilterDatabase\" " + std::to_string(total - 1) +
                                      " 1 " + std::to_string(total - 1) + ":0:2:0:2";
            const std::string own = "name \"_FilterDatabase\" " + std::to_string(c.replace) +
                                    " 1 " + std::to_string(c.replace) +
                                    ":0:" + std::to_string(rows) +
                                    ":0:" + std::to_string(round + 3);
            std::vector<std::string> expected = namesBefore;
            expected.push_back(own);
            expected.push_back(added);
            // The book's names first, as they were; the new ones in sheet order.
            EXPECT_EQ(names, expected);
            const auto records = RecordsOf(saved);
            for (const std::string& line : Starting(recordsBefore, "order ")) {
                if (line.rfind("order " + Quoted(name) + " ", 0) != 0) {
                    EXPECT_NE(std::find(records.begin(), records.end(), line), records.end())
                        << line;
                }
            }
            EXPECT_NE(OrderOf(records, name).find("009d 0200"), std::string::npos);
            EXPECT_NE(std::find(records.begin(), records.end(), "index " + Quoted(name) + " ok"),
                      records.end());
            BookPtr again = NewBook();
            ASSERT_TRUE(workbook::LoadBook(again.get(), saved))
                << workbook::ErrorMessage(again.get());
            current = saved;
        }
    }
}

xls::GlobalRecord Global(std::uint16_t type, const std::vector<std::uint16_t>& words) {
    xls::GlobalRecord record;
    record.type = type;
    for (std::uint16_t word : words) {
        xls::PutU16(record.data, word);
    }
    return record;
}

// The link table and names of `globals`, a word a record: SUPBOOK as
// "internal" or "external", EXTERNSHEET with its entries as book:first:last
// (CONTINUE records joined), NAME by scope and, for a filter-range name,
// the entry its area goes through.
std::string LinksOf(const std::vector<xls::GlobalRecord>& globals) {
    std::string out;
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const xls::GlobalRecord& record = globals[i];
        if (record.slot != xls::GlobalSlot::kRecord) {
            continue;
        }
        std::uint16_t word = 0;
        if (record.type == xls::kRecordSupBook) {
            out += xls::GetU16(record.data, 2, word) && word == 0x0401 ? "internal " : "external ";
        } else if (record.type == xls::kRecordExternSheet) {
            xls::Bytes joined = record.data;
            for (std::size_t k = i + 1;
                 k < globals.size() && globals[k].type == xls::kRecordContinue; ++k) {
                joined.insert(joined.end(), globals[k].data.begin(), globals[k].data.end());
                out += "continue ";
            }
            std::uint16_t count = 0;
            (void)xls::GetU16(joined, 0, count);
            out += "externsheet" + std::to_string(count);
            // The last entry is the one that may have been added.
            std::uint16_t book = 0;
            std::uint16_t first = 0;
            std::uint16_t last = 0;
            const std::size_t at = 2 + 6 * (count - 1u);
            if (count > 0 && xls::GetU16(joined, at, book) && xls::GetU16(joined, at + 2, first) &&
                xls::GetU16(joined, at + 4, last)) {
                out += "(.." + std::to_string(book) + ":" + std::to_string(first) + ":" +
                       std::to_string(last) + ") ";
            }
        } else if (record.type == xls::kRecordName) {
            std::uint16_t scope = 0;
            std::uint8_t code = 0;
            (void)xls::GetU16(record.data, 8, scope);
            out += "name" + std::to_string(scope);
            if (xls::GetU8(record.data, 15, code) && code == 0x0D &&
                xls::GetU16(record.data, 17, word)) {
                out += "@" + std::to_string(word);
            }
            out += " ";
        }
    }
    return out;
}

// The filter-range name goes through an EXTERNSHEET entry of the internal
// book, made where the book has none, while every existing SUPBOOK and
// entry keeps its index and every existing name its place: a book with no
// link table, one that refers to other books only, one that already
// refers to the sheet and has its filter name, and a reference table whose
// record is full.
TEST(XlsLayout, FilterNamesJoinTheLinkTable) {
    const auto supBook = [](bool internal) {
        // An external book names its file and sheets; the internal one is a marker.
        return internal ? Global(xls::kRecordSupBook, {3, 0x0401})
                        : Global(xls::kRecordSupBook, {1, 1, 'b' << 8, 1, 's' << 8});
    };
    const auto externSheet = [](const std::vector<std::array<std::uint16_t, 3>>& entries) {
        std::vector<std::uint16_t> words = {static_cast<std::uint16_t>(entries.size())};
        for (const auto& entry : entries) {
            words.insert(words.end(), entry.begin(), entry.end());
        }
        return Global(xls::kRecordExternSheet, words);
    };
    // A name local to sheet 2 (itab 3) whose area goes through entry 0;
    // the built-in filter-range name when `filter`.
    const auto name = [](bool filter) {
        xls::GlobalRecord record = Global(
            xls::kRecordName, {static_cast<std::uint16_t>(filter ? 0x0021 : 0), 0x0100, 11, 0, 3, 0,
                               0, static_cast<std::uint16_t>(filter ? 0x0D00 : 'x' << 8)});
        // PtgArea3d over entry 0, rows and columns 0.
        record.data.push_back(0x3B);
        record.data.resize(record.data.size() + 10, 0);
        return record;
    };
    const std::vector<std::array<std::uint16_t, 3>> many(1370, {0, 0, 0});
    struct Case {
        const char* what;
        std::vector<xls::GlobalRecord> links;  // after the sheet list
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"no link table", {}, "internal externsheet1(..0:2:2) name3@0 "},
        {"other books only",
         {supBook(false), Global(0x0023, {0, 0, 0, 0}), externSheet({{0, 0, 0}}), name(false)},
         "external internal externsheet2(..1:2:2) name3 name3@1 "},
        {"the sheet referred to and filtered",
         {supBook(true), externSheet({{0, 0, 0}, {0, 2, 2}}), name(false), name(true)},
         "internal externsheet2(..0:2:2) name3 name3@1 "},
        {"a full reference record",
         {supBook(true), externSheet(many), name(false)},
         "internal continue externsheet1371(..0:2:2) name3 name3@1370 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        xls::BookModel book;
        book.globals = xls::NewBookGlobals();
        const auto sheets = std::find_if(
            book.globals.begin(), book.globals.end(),
            [](const auto& record) { return record.slot == xls::GlobalSlot::kSheets; });
        book.globals.insert(sheets + 1, c.links.begin(), c.links.end());
        std::string error;
        ASSERT_TRUE(xls::SetFilterNames(book, {{2, 0, 9, 4}}, error)) << error;
        EXPECT_EQ(LinksOf(book.globals), c.expected);
    }
}

// LibreOffice takes the widths, the frozen row and the filter from the
// records: converted to .xlsx, openpyxl finds them there.
TEST(XlsLayout, OfficeProgramReadsTheLayout) {
    if (testing_support::RunCommand("command -v soffice").exitCode != 0) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    }
    TempDir dir;
    const std::string path = dir.File("office.xls");
    BookPtr book = NewBook();
    workbook::Sheet* sheet = workbook::AddSheet(book.get(), "S");
    ASSERT_NE(sheet, nullptr);
    workbook::SetAutoFit(sheet, true);
    workbook::FreezeRows(sheet, 1);
    workbook::SetAutoFilter(sheet, 0);
    // A filter over every column comes back as whole rows, which openpyxl
    // cannot read.
    WriteMeasuredRows(book.get(), sheet, 3, 10);
    ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    const auto result = testing_support::RunTool(
        "office_layout.py",
        testing_support::ShellQuote(path) + " " + testing_support::ShellQuote(dir.File("out")));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    // Widths in characters as LibreOffice rounds them; the default columns
    // have none of their own.
    EXPECT_EQ(xls_test::Lines(result.output),
              (std::vector<std::string>{"freeze A2", "filter A1:K4", "width B:B 9", "width C:D 12",
                                        "width F:F 80", "width G:G 12", "width K:K 18"}));
}

}  // namespace
