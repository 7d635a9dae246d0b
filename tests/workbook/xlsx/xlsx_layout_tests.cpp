// SPDX-License-Identifier: MIT
// Sheet layouts in .xlsx: fitted column widths, the frozen title row and the
// filter buttons, read back by openpyxl (tests/tools/xlsx_layout.py) in new
// books, in sheets added to or replacing sheets of loaded books, and in
// loaded sheets that rows are appended to.
#include <string>
#include <vector>

#include "xlsx_test_support.h"

namespace {

using testing_support::ShellQuote;
using testing_support::TempDir;
using workbook::BookKind;
using workbook::BookPtr;
using xlsx_test::CompareProblems;

// The layout listing openpyxl reads from `path`, or the reader's complaint.
std::string LayoutOf(const std::string& path) {
    const auto result = testing_support::RunTool("xlsx_layout.py", ShellQuote(path));
    return result.exitCode == 0 ? result.output : "READER FAILED: " + result.output;
}

// The lines of a layout listing from the sheet's own line to the next sheet.
std::string SheetLayout(const std::string& listing, const std::string& sheet) {
    const std::size_t at = listing.find("sheet \"" + sheet + "\"\n");
    if (at == std::string::npos) {
        return "no sheet " + sheet + " in:\n" + listing;
    }
    std::size_t end = listing.find("\nsheet ", at);
    const std::size_t names = listing.find("\nname ", at);
    end = std::min(end, names);
    return listing.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
}

// The defined-name lines of a layout listing.
std::string NamesOf(const std::string& listing) {
    std::string names;
    std::size_t at = 0;
    while ((at = listing.find("name ", at)) != std::string::npos) {
        if (at == 0 || listing[at - 1] == '\n') {
            const std::size_t end = listing.find('\n', at);
            names += listing.substr(at, end - at + 1);
            at = end;
        } else {
            at += 5;
        }
    }
    return names;
}

// The part name of the sheet listed `index`-th (from 0) in a saved package.
std::string SheetPartOf(const std::string& path, int index) {
    return testing_support::RunTool("xlsx_layout.py",
                                    "--part " + ShellQuote(path) + " " + std::to_string(index))
        .output;
}

// A table whose columns display, at their widest: A 18 characters, B and C
// 10 (a General number, a date), D 5 (FALSE), E 200, F 14 (seven wide
// characters); G stays empty and H holds one character.
void WriteMeasuredTable(workbook::Book* book, workbook::Sheet* sheet, int top) {
    workbook::Format* date = workbook::AddFormat(book);
    workbook::SetNumFormat(date, 14);
    const char* const titles[] = {"Name", "Value", "When", "Flag", "Note", "Wide", nullptr, "H"};
    for (int column = 0; column < 8; ++column) {
        if (titles[column] != nullptr) {
            ASSERT_TRUE(workbook::WriteText(sheet, top, column, titles[column], nullptr));
        }
    }
    const double serial = workbook::DatePack(book, 2026, 12, 31, 0, 0, 0, 0);
    ASSERT_TRUE(workbook::WriteText(sheet, top + 1, 0, "a much longer name", nullptr));
    ASSERT_TRUE(workbook::WriteNumber(sheet, top + 1, 1, 123456.789, nullptr));
    ASSERT_TRUE(workbook::WriteNumber(sheet, top + 1, 2, serial, date));
    ASSERT_TRUE(workbook::WriteBool(sheet, top + 1, 3, true, nullptr));
    ASSERT_TRUE(workbook::WriteText(sheet, top + 1, 4, std::string(200, 'n'), nullptr));
    ASSERT_TRUE(workbook::WriteText(
        sheet, top + 1, 5,
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88",
        nullptr));
    ASSERT_TRUE(workbook::WriteText(sheet, top + 1, 7, "x", nullptr));
    ASSERT_TRUE(workbook::WriteText(sheet, top + 2, 0, "short", nullptr));
    ASSERT_TRUE(workbook::WriteNumber(sheet, top + 2, 1, -0.1 - 0.2, nullptr));
    ASSERT_TRUE(workbook::WriteNumber(sheet, top + 2, 2, serial, date));
    ASSERT_TRUE(workbook::WriteBool(sheet, top + 2, 3, false, nullptr));
    ASSERT_TRUE(workbook::WriteNumber(sheet, top + 2, 7, 1, nullptr));
}

// What openpyxl reads of a sheet WriteMeasuredTable wrote from row 0 with
// every layout option on.
const std::string kMeasuredLayout =
    "freeze A2\n"
    "filter A1:H3\n"
    "cols A:A 20\n"
    "cols B:C 12\n"
    "cols E:E 80\n"
    "cols F:F 16\n";

void AskEverything(workbook::Sheet* sheet) {
    workbook::SetAutoFit(sheet, true);
    workbook::FreezeRows(sheet, 1);
    workbook::SetAutoFilter(sheet, 0);
}

TEST(XlsxLayout, NewBookSheetsCarryTheirLayout) {
    TempDir dir;
    const std::string path = dir.File("layout.xlsx");
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    workbook::Sheet* plain = workbook::AddSheet(book.get(), "Plain");
    workbook::Sheet* laid = workbook::AddSheet(book.get(), "Bob's & <data>");
    workbook::Sheet* empty = workbook::AddSheet(book.get(), "Empty");
    ASSERT_NE(laid, nullptr);
    AskEverything(laid);
    AskEverything(empty);  // nothing written: no widths, no filter, the pane only
    // The first and the last column, one capped at the widest fitted width.
    workbook::Sheet* far = workbook::AddSheet(book.get(), "Far");
    workbook::SetAutoFit(far, true);
    ASSERT_TRUE(workbook::WriteText(far, 0, 0, std::string(100, 'a'), nullptr));
    ASSERT_TRUE(workbook::WriteText(far, 0, 16383, std::string(30, 'z'), nullptr));
    WriteMeasuredTable(book.get(), plain, 0);
    WriteMeasuredTable(book.get(), laid, 0);
    ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());

    EXPECT_EQ(LayoutOf(path),
              "sheet \"Plain\"\n"
              "sheet \"Bob's & <data>\"\n" +
                  kMeasuredLayout +
                  "sheet \"Empty\"\n"
                  "freeze A2\n"
                  "sheet \"Far\"\n"
                  "cols A:A 80\n"
                  "cols XFD:XFD 32\n"
                  "name _xlnm._FilterDatabase local=1 hidden "
                  "'Bob''s & <data>'!$A$1:$H$3\n");
    EXPECT_EQ(xlsx_test::SchemaProblems(path), "");
    // A sheet that asked for nothing is written as before the options came.
    const std::string plainPart = xlsx_test::PartOf(path, "xl/worksheets/sheet1.xml");
    EXPECT_NE(plainPart.find("<sheetView tabSelected=\"1\" workbookViewId=\"0\"/></sheetViews>"
                             "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData>"),
              std::string::npos)
        << plainPart;
    EXPECT_NE(plainPart.find("</sheetData><pageMargins "), std::string::npos) << plainPart;
    const std::string cells = xlsx_test::CellsOf(path);
    EXPECT_NE(cells.find("sheet \"Bob's & <data>\"\n0 0 s \"Name\"\n"), std::string::npos) << cells;
}

// Corpus workbooks get a sheet with every layout option in place of one of
// theirs or added after them: the new sheet reads back with its layout,
// the filter name joins the others (in place of the replaced sheet's), and
// every other part is kept byte for byte.
TEST(XlsxLayout, SheetsWrittenIntoLoadedBooksCarryTheirLayout) {
    struct Case {
        const char* file;
        const char* replaced;  // null: a sheet "Quendle" is added at the end
        std::string names;     // the defined names read back
    };
    const std::vector<Case> cases = {
        {"autofilter01.xlsx", "Sheet1",
         "name _xlnm._FilterDatabase local=0 hidden 'Sheet1'!$A$1:$H$3\n"},
        {"autofilter01.xlsx", nullptr,
         "name _xlnm._FilterDatabase local=0 hidden Sheet1!$A$1:$D$51\n"
         "name _xlnm._FilterDatabase local=1 hidden 'Quendle'!$A$1:$H$3\n"},
        {"defined_name01.xlsx", "Sheet1",
         "name _Egg local=- - Sheet1!$A$1\n"
         "name _xlnm._FilterDatabase local=0 hidden 'Sheet1'!$A$1:$H$3\n"
         "name _Fog local=- - Sheet1!$A$1\n"
         "name aaa local=1 - Sheet2!$A$1\n"
         "name Abc local=- - Sheet1!$A$1\n"
         "name Bar local=2 - 'Sheet 3'!$A$1\n"
         "name Bar local=0 - Sheet1!$A$1\n"
         "name Bar local=1 - Sheet2!$A$1\n"
         "name Baz local=- - 0.98\n"
         "name _xlnm.Print_Area local=0 - Sheet1!$A$1:$E$6\n"},
        {"defined_name01.xlsx", nullptr,
         "name _Egg local=- - Sheet1!$A$1\n"
         "name _xlnm._FilterDatabase local=0 hidden Sheet1!$F$1:$G$1\n"
         "name _xlnm._FilterDatabase local=3 hidden 'Quendle'!$A$1:$H$3\n"
         "name _Fog local=- - Sheet1!$A$1\n"
         "name aaa local=1 - Sheet2!$A$1\n"
         "name Abc local=- - Sheet1!$A$1\n"
         "name Bar local=2 - 'Sheet 3'!$A$1\n"
         "name Bar local=0 - Sheet1!$A$1\n"
         "name Bar local=1 - Sheet2!$A$1\n"
         "name Baz local=- - 0.98\n"
         "name _xlnm.Print_Area local=0 - Sheet1!$A$1:$E$6\n"},
        {"defined_name04.xlsx", nullptr,
         "name \\__ local=- - Sheet1!$A$1\n"
         "name _xlnm._FilterDatabase local=1 hidden 'Quendle'!$A$1:$H$3\n"
         "name a3f6 local=- - Sheet1!$A$2\n"
         "name afoo.bar local=- - Sheet1!$A$3\n"
         "name b local=- - Sheet1!$A$6\n"
         "name eésumé local=- - Sheet1!$A$5\n"
         "name étude local=- - Sheet1!$A$4\n"},
        {"hide01.xlsx", "Sheet2", "name _xlnm._FilterDatabase local=1 hidden 'Sheet2'!$A$1:$H$3\n"},
        {"panes01.xlsx", "Sheet5",
         "name _xlnm._FilterDatabase local=4 hidden 'Sheet5'!$A$1:$H$3\n"},
        {"quote_name01.xlsx", "Sheet 1",
         "name _xlnm._FilterDatabase local=0 hidden 'Sheet 1'!$A$1:$H$3\n"},
        {"chartsheet01.xlsx", nullptr,
         "name _xlnm._FilterDatabase local=2 hidden 'Quendle'!$A$1:$H$3\n"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " / " + (c.replaced ? c.replaced : "added"));
        const std::string original = xlsx_test::Corpus(c.file);
        const std::string saved = dir.File(c.file);
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        ASSERT_TRUE(workbook::LoadBook(book.get(), original)) << workbook::ErrorMessage(book.get());
        std::string name = "Quendle";
        int index = workbook::SheetCount(book.get());
        workbook::Sheet* sheet = nullptr;
        std::vector<std::string> flags;
        if (c.replaced != nullptr) {
            name = c.replaced;
            for (index = 0; workbook::SheetName(workbook::GetSheet(book.get(), index)) != name;) {
                ++index;
            }
            sheet = workbook::ReplaceSheet(book.get(), index, name);
            flags = {"--replaced", name};
        } else {
            sheet = workbook::AddSheet(book.get(), name);
        }
        ASSERT_NE(sheet, nullptr) << workbook::ErrorMessage(book.get());
        AskEverything(sheet);
        WriteMeasuredTable(book.get(), sheet, 0);
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());

        EXPECT_EQ(CompareProblems(original, saved, flags), "");
        const std::string listing = LayoutOf(saved);
        EXPECT_EQ(SheetLayout(listing, name), "sheet \"" + name + "\"\n" + kMeasuredLayout);
        EXPECT_EQ(NamesOf(listing), c.names) << listing;
        EXPECT_EQ(xlsx_test::SchemaProblems(saved, original), "");
    }
}

// Rows appended below a loaded sheet widen its columns where they need it:
// a column keeps its width when it is wide enough, a range of columns is
// split around the one that widens, and the other attributes of the
// columns stay. A sheet without column widths gets them.
TEST(XlsxLayout, AppendingWidensLoadedColumnsAndNeverNarrows) {
    struct Case {
        const char* file;
        std::vector<std::pair<int, std::string>> texts;  // column, text of the new row
        std::string before;                              // the loaded sheet's column lines
        std::string after;
        std::string cols;  // the cols element written; empty: not checked
    };
    const std::vector<Case> cases = {
        {"outline03.xlsx",
         {{0, "x"}, {2, std::string(20, 'c')}, {7, "hhh"}, {9, std::string(15, 'j')}},
         "cols A:A 10.7109\n"
         "cols B:G 6.71094 outline 1\n"
         "cols H:H 10.7109\n",
         "cols A:A 10.7109\n"
         "cols B:B 6.71094 outline 1\n"
         "cols C:C 22 outline 1\n"
         "cols D:G 6.71094 outline 1\n"
         "cols H:H 10.7109\n"
         "cols J:J 17\n",
         "<cols><col min=\"1\" max=\"1\" width=\"10.7109375\" style=\"1\" customWidth=\"1\"/>"
         "<col min=\"2\" max=\"2\" width=\"6.7109375\" customWidth=\"1\" outlineLevel=\"1\"/>"
         "<col min=\"3\" max=\"3\" width=\"22\" customWidth=\"1\" outlineLevel=\"1\"/>"
         "<col min=\"4\" max=\"7\" width=\"6.7109375\" customWidth=\"1\" outlineLevel=\"1\"/>"
         "<col min=\"8\" max=\"8\" width=\"10.7109375\" customWidth=\"1\"/>"
         "<col min=\"10\" max=\"10\" width=\"17\" customWidth=\"1\"/></cols>"},
        // Narrower than the column: nothing changes.
        {"date_examples01.xlsx",
         {{0, std::string(25, 'a')}},
         "cols A:A 30.7109\n",
         "cols A:A 30.7109\n",
         "<cols><col min=\"1\" max=\"1\" width=\"30.7109375\" customWidth=\"1\"/></cols>"},
        {"table09.xlsx",
         {{1, std::string(12, 'b')}, {3, "d"}, {11, std::string(30, 'l')}},
         "cols B:K 11\n",
         "cols B:B 14\n"
         "cols C:K 11\n"
         "cols L:L 32\n",
         {}},
        // No column widths before; an empty sheetData.
        {"data_validation01.xlsx",
         {{1, std::string(10, 'b')}, {2, std::string(10, 'c')}, {4, "e"}},
         "",
         "cols B:C 12\n",
         "<cols><col min=\"2\" max=\"3\" width=\"12\" customWidth=\"1\"/></cols><sheetData>"},
        {"shared_strings01.xlsx", {{0, std::string(9, 'a')}}, "", "cols A:A 11\n", {}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string original = xlsx_test::Corpus(c.file);
        const std::string saved = dir.File(c.file);
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        ASSERT_TRUE(workbook::LoadBook(book.get(), original)) << workbook::ErrorMessage(book.get());
        workbook::Sheet* sheet = workbook::GetSheet(book.get(), 0);
        const std::string name(workbook::SheetName(sheet));
        EXPECT_EQ(SheetLayout(LayoutOf(original), name), "sheet \"" + name + "\"\n" + c.before);
        workbook::SetAutoFit(sheet, true);
        const int row = workbook::LastRow(sheet);
        for (const auto& [column, text] : c.texts) {
            ASSERT_TRUE(workbook::WriteText(sheet, row, column, text, nullptr));
        }
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());

        EXPECT_EQ(CompareProblems(original, saved, {"--changed", name}), "");
        EXPECT_EQ(SheetLayout(LayoutOf(saved), name), "sheet \"" + name + "\"\n" + c.after);
        const std::string part = SheetPartOf(saved, 0);
        EXPECT_EQ(xlsx_test::SchemaProblems(saved, original), "");
        if (!c.cols.empty()) {
            const std::string xml = xlsx_test::PartOf(saved, part);
            EXPECT_NE(xml.find(c.cols), std::string::npos) << xml;
        }
        const std::string cells = xlsx_test::CellsOf(saved);
        EXPECT_NE(cells.find(std::to_string(row) + " " + std::to_string(c.texts[0].first) +
                             " s \"" + c.texts[0].second + "\""),
                  std::string::npos)
            << cells;
    }
}

// Appending with fitted widths to a sheet of our own that was written with
// them: the second run's longer values widen, the shorter keep.
TEST(XlsxLayout, SecondAppendKeepsTheWidthsOfTheFirst) {
    TempDir dir;
    const std::string path = dir.File("twice.xlsx");
    {
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Data");
        AskEverything(sheet);
        WriteMeasuredTable(book.get(), sheet, 0);
        ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    }
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    ASSERT_TRUE(workbook::LoadBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    workbook::Sheet* sheet = workbook::GetSheet(book.get(), 0);
    workbook::SetAutoFit(sheet, true);
    ASSERT_TRUE(workbook::WriteText(sheet, 3, 0, "tiny", nullptr));
    ASSERT_TRUE(workbook::WriteText(sheet, 3, 1, std::string(25, 'b'), nullptr));
    ASSERT_TRUE(workbook::WriteNumber(sheet, 3, 3, -1234567.5, nullptr));
    ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    EXPECT_EQ(LayoutOf(path),
              "sheet \"Data\"\n"
              "freeze A2\n"
              "filter A1:H3\n"
              "cols A:A 20\n"
              "cols B:B 27\n"
              "cols C:C 12\n"
              "cols D:D 12\n"
              "cols E:E 80\n"
              "cols F:F 16\n"
              "name _xlnm._FilterDatabase local=0 hidden 'Data'!$A$1:$H$3\n");
    EXPECT_EQ(xlsx_test::SchemaProblems(path), "");
}

}  // namespace
