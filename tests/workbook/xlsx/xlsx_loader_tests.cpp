// SPDX-License-Identifier: MIT
// Loaded .xlsx books: Excel-made files keep every part the conversion does
// not touch, sheets are added, replaced and appended to, and damaged or
// hostile files fail cleanly.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "xlsx_test_support.h"

namespace {

using testing_support::ShellQuote;
using testing_support::SystemFault;
using testing_support::SystemFaultText;
using testing_support::TempDir;
using workbook::BookKind;
using workbook::BookPtr;
using xlsx_test::CompareProblems;

int FindSheet(workbook::Book* book, const std::string& name) {
    for (int i = 0; i < workbook::SheetCount(book); ++i) {
        if (workbook::SheetName(workbook::GetSheet(book, i)) == name) {
            return i;
        }
    }
    return -1;
}

// Each corpus file is loaded, one sheet replaced (deleted, then added again
// at the end as the conversion does) or one sheet added, and saved.
TEST(XlsxLoader, CorpusFilesKeepWhatIsNotChanged) {
    struct Case {
        const char* file;
        const char* replaced;  // sheet deleted and added anew; null: only a sheet added
        int sheets;            // sheet count of the file, chart sheets included
    };
    const std::vector<Case> cases = {
        {"chartsheet01.xlsx", "Sheet1", 2},     {"chartsheet01.xlsx", "Chart1", 2},
        {"comment04.xlsx", "Sheet2", 3},        {"defined_name01.xlsx", "Sheet2", 3},
        {"defined_name04.xlsx", nullptr, 1},    {"date_1904_02.xlsx", nullptr, 1},
        {"image01.xlsx", "Sheet1", 1},          {"merge_cells01.xlsx", nullptr, 1},
        {"table02.xlsx", "Sheet1", 2},          {"rich_string01.xlsx", nullptr, 1},
        {"shared_strings01.xlsx", nullptr, 1},  {"hyperlink03.xlsx", "Sheet2", 2},
        {"hyperlink04.xlsx", "Sheet2", 3},      {"firstsheet01.xlsx", "Sheet20", 20},
        {"panes01.xlsx", "Sheet5", 13},         {"quote_name01.xlsx", "Sheet 1", 8},
        {"formula_results01.xlsx", nullptr, 1}, {"table09.xlsx", nullptr, 1},
        {"utf8_01.xlsx", nullptr, 1},           {"hide01.xlsx", "Sheet1", 3},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " / " + (c.replaced ? c.replaced : "-"));
        const std::string original = xlsx_test::Corpus(c.file);
        const std::string saved = dir.File(c.file);
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        ASSERT_TRUE(workbook::LoadBook(book.get(), original)) << workbook::ErrorMessage(book.get());
        EXPECT_EQ(workbook::SheetCount(book.get()), c.sheets);
        std::vector<std::string> flags;
        std::string newName = "Quendle";
        if (c.replaced != nullptr) {
            const int index = FindSheet(book.get(), c.replaced);
            ASSERT_GE(index, 0);
            ASSERT_TRUE(workbook::DeleteSheet(book.get(), index));
            flags = {"--removed", c.replaced};
            newName = std::string(c.replaced) + " new";
        }
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), newName);
        ASSERT_NE(sheet, nullptr) << workbook::ErrorMessage(book.get());
        workbook::Format* date = workbook::AddFormat(book.get());
        workbook::SetNumFormat(date, 14);
        EXPECT_TRUE(workbook::WriteText(sheet, 0, 0, "added", nullptr));
        EXPECT_TRUE(workbook::WriteNumber(sheet, 1, 0, 45000, date));
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());

        EXPECT_EQ(CompareProblems(original, saved, flags), "");
        EXPECT_EQ(xlsx_test::SchemaProblems(saved, original), "");
        const std::string cells = xlsx_test::CellsOf(saved);
        EXPECT_NE(cells.find("sheet \"" + newName + "\"\n0 0 s \"added\"\n1 0 d 45000"),
                  std::string::npos)
            << cells;
    }
}

// Every corpus workbook, whatever it holds, takes a new sheet, rows below
// the first sheet that takes cells, and a replaced sheet, and each part
// written or rewritten for that validates against the schemas. The folder
// is listed, so a workbook added to the corpus is checked too.
TEST(XlsxLoader, EveryCorpusBookTakesSheetsAndRowsThatValidate) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(xlsx_test::Corpus(""))) {
        if (entry.path().extension() == ".xlsx") {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 30u);
    TempDir dir;
    const std::string saved = dir.File("saved.xlsx");
    for (const std::string& original : files) {
        for (const bool replace : {false, true}) {
            SCOPED_TRACE(original + (replace ? ", first sheet replaced" : ", sheet added"));
            BookPtr book(workbook::CreateBook(BookKind::kXlsx));
            ASSERT_TRUE(workbook::LoadBook(book.get(), original))
                << workbook::ErrorMessage(book.get());
            workbook::Format* date = workbook::AddFormat(book.get());
            workbook::SetNumFormat(date, 14);
            const auto writeRows = [&](workbook::Sheet* sheet, int from) {
                EXPECT_TRUE(workbook::WriteText(sheet, from, 0, " new & <text> ", nullptr));
                EXPECT_TRUE(workbook::WriteNumber(sheet, from, 1, -1.5e-7, nullptr));
                EXPECT_TRUE(workbook::WriteNumber(sheet, from + 1, 2, 45001, date));
                EXPECT_TRUE(workbook::WriteBool(sheet, from + 1, 3, true, nullptr));
            };
            if (replace) {
                const std::string name(workbook::SheetName(workbook::GetSheet(book.get(), 0)));
                workbook::Sheet* sheet = workbook::ReplaceSheet(book.get(), 0, name);
                ASSERT_NE(sheet, nullptr) << workbook::ErrorMessage(book.get());
                writeRows(sheet, 0);
            } else {
                // Below the first sheet that takes cells (not a chart sheet).
                for (int i = 0; i < workbook::SheetCount(book.get()); ++i) {
                    workbook::Sheet* sheet = workbook::GetSheet(book.get(), i);
                    if (workbook::WriteText(sheet, workbook::LastRow(sheet), 0, "below", nullptr)) {
                        writeRows(sheet, workbook::LastRow(sheet));
                        break;
                    }
                }
                workbook::Sheet* added = workbook::AddSheet(book.get(), "Quendle added");
                ASSERT_NE(added, nullptr) << workbook::ErrorMessage(book.get());
                writeRows(added, 0);
            }
            ASSERT_TRUE(workbook::SaveBook(book.get(), saved))
                << workbook::ErrorMessage(book.get());
            EXPECT_EQ(xlsx_test::SchemaProblems(saved, original), "");
            EXPECT_EQ(xlsx_test::CellsOf(saved).find("READER FAILED"), std::string::npos);
        }
    }
}

TEST(XlsxLoader, DeletedSheetLeavesNoDanglingNamesOrTabs) {
    TempDir dir;
    const std::string original = xlsx_test::Corpus("defined_name01.xlsx");
    const std::string saved = dir.File("names.xlsx");
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    ASSERT_TRUE(workbook::LoadBook(book.get(), original));
    const std::string before = xlsx_test::PartOf(original, "xl/workbook.xml");
    ASSERT_NE(before.find("localSheetId=\"1\""), std::string::npos);  // names local to Sheet2
    ASSERT_TRUE(workbook::DeleteSheet(book.get(), FindSheet(book.get(), "Sheet2")));
    ASSERT_TRUE(workbook::SaveBook(book.get(), saved));
    EXPECT_EQ(CompareProblems(original, saved, {"--removed", "Sheet2"}), "");
    EXPECT_EQ(xlsx_test::SchemaProblems(saved, original), "");
    const std::string after = xlsx_test::PartOf(saved, "xl/workbook.xml");
    EXPECT_EQ(after.find("Sheet2!"), std::string::npos) << after;
    EXPECT_EQ(after.find("localSheetId=\"2\""), std::string::npos) << after;
    EXPECT_NE(after.find("localSheetId=\"1\""), std::string::npos) << after;  // Sheet3's, moved up

    // The first shown tab and the active tab (the 9th and 20th of 20) both
    // point at sheets that go: they move to the last sheet that stays.
    const std::string twenty = xlsx_test::Corpus("firstsheet01.xlsx");
    BookPtr many(workbook::CreateBook(BookKind::kXlsx));
    ASSERT_TRUE(workbook::LoadBook(many.get(), twenty));
    std::vector<std::string> flags;
    while (workbook::SheetCount(many.get()) > 2) {
        const int last = workbook::SheetCount(many.get()) - 1;
        flags.push_back("--removed");
        flags.emplace_back(workbook::SheetName(workbook::GetSheet(many.get(), last)));
        ASSERT_TRUE(workbook::DeleteSheet(many.get(), last));
    }
    ASSERT_TRUE(workbook::SaveBook(many.get(), dir.File("few.xlsx")));
    EXPECT_EQ(CompareProblems(twenty, dir.File("few.xlsx"), flags), "");
    EXPECT_EQ(xlsx_test::SchemaProblems(dir.File("few.xlsx"), twenty), "");
    EXPECT_NE(xlsx_test::PartOf(dir.File("few.xlsx"), "xl/workbook.xml")
                  .find("firstSheet=\"1\" activeTab=\"1\""),
              std::string::npos);
}

// Repacks `original` with Python's zipfile (see xlsx_repack.py); empty when
// that worked.
std::string Repack(const std::string& original, const std::string& saved, const std::string& mode,
                   const std::vector<std::string>& replacements = {}) {
    std::string arguments = ShellQuote(original) + " " + ShellQuote(saved) + " " + mode;
    for (const auto& argument : replacements) {
        arguments += " " + ShellQuote(argument);
    }
    const auto result = testing_support::RunTool("xlsx_repack.py", arguments);
    return result.exitCode == 0 ? std::string() : "repacking failed: " + result.output;
}

// The schema check itself: a book of ours passes, and each part broken by
// hand in it is named, so that a check that passes everything shows up.
TEST(XlsxSchemaCheck, NamesEachBrokenPart) {
    TempDir dir;
    const std::string ours = dir.File("ours.xlsx");
    {
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Data");
        ASSERT_TRUE(workbook::WriteText(sheet, 0, 0, " spaced ", nullptr));
        ASSERT_TRUE(workbook::WriteNumber(sheet, 1, 0, 1.5, nullptr));
        ASSERT_TRUE(workbook::SaveBook(book.get(), ours)) << workbook::ErrorMessage(book.get());
    }
    ASSERT_EQ(xlsx_test::SchemaProblems(ours), "");
    struct Case {
        const char* label;
        const char* part;
        std::string from;  // text of the part replaced by `to`, first occurrence
        std::string to;
        const char* problem;  // part of what the check says
    };
    const std::vector<Case> cases = {
        {"cell type outside its list", "xl/worksheets/sheet1.xml", "t=\"inlineStr\"", "t=\"text\"",
         "'text' is not an element of the set"},
        {"xml:space with a wrong value", "xl/worksheets/sheet1.xml", "xml:space=\"preserve\"",
         "xml:space=\"kept\"", "xml:space=\"kept\""},
        {"element out of order", "xl/workbook.xml", "<sheets>", "<calcPr/><sheets>",
         "xl/workbook.xml"},
        {"styles under the sheet's name", "xl/worksheets/sheet1.xml", "<worksheet ", "<styleSheet ",
         "root element"},
        {"creation time in a zone 25 hours off", "docProps/core.xml", "Z</dcterms:created>",
         "+25:00</dcterms:created>", "docProps/core.xml"},
        {"misspelt property", "docProps/app.xml", "Application>", "Applikation>", "Applikation"},
        {"unknown relationship attribute", "_rels/.rels", "<Relationship ",
         "<Relationship Kind=\"x\" ", "_rels/.rels"},
        {"colour scheme without its name", "xl/theme/theme1.xml", "<a:clrScheme name=\"Quendle\">",
         "<a:clrScheme>", "xl/theme/theme1.xml"},
        {"content type list with a stray element", "[Content_Types].xml", "<Default ",
         "<Extra/><Default ", "[Content_Types].xml"},
        {"a part of no known kind", "[Content_Types].xml",
         "application/vnd.openxmlformats-officedocument.extended-properties+xml",
         "application/vnd.example+xml", "no schema here"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string text = xlsx_test::PartOf(ours, c.part);
        const std::size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << text;
        text.replace(at, c.from.size(), c.to);
        const std::string replacement = dir.File("part.xml");
        const std::string broken = dir.File("broken.xlsx");
        ASSERT_TRUE(testing_support::WriteWholeFile(replacement, text));
        ASSERT_EQ(Repack(ours, broken, "deflated", {c.part, replacement}), "");
        const std::string problems = xlsx_test::SchemaProblems(broken);
        EXPECT_NE(problems.find(c.problem), std::string::npos) << problems;
        // Checked against the book it came from, the broken part is still found.
        EXPECT_EQ(xlsx_test::SchemaProblems(broken, ours), problems);
    }
}

// `ours` with a sheet whose markup hides row elements and the end of the
// cell data in comments, CDATA and a processing instruction, and spreads
// a comment and a row tag over more than one inflated piece.
std::string TrickyRowsFile(const TempDir& dir, const std::string& ours) {
    const std::string padding(300 * 1024, 'x');
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:q=\"urn:quendle:test\">"
        "<dimension ref=\"A1:B3\"/><sheetData>"
        "<!-- <row r=\"900\"></row> </sheetData> " +
        padding +
        " -->"
        "<row r='1' spans=\"1:2\" q:note=\"a>b\"><c r=\"A1\" t=\"inlineStr\"><is><t>"
        "<![CDATA[<row r=\"700\"> </sheetData>]]></t></is></c></row>"
        "<?keep <row r=\"800\"?>"
        "<row\n customHeight=\"1\" ht=\"20\" q:pad=\"" +
        padding +
        "\"><c r=\"A2\"><v>2</v></c></row>"
        "<row r=\"3\"/></sheetData >"
        "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
        "footer=\"0.3\"/></worksheet>";
    const std::string part = dir.File("tricky.xml");
    const std::string path = dir.File("tricky.xlsx");
    if (!testing_support::WriteWholeFile(part, xml) ||
        !Repack(ours, path, "deflated", {"xl/worksheets/sheet1.xml", part}).empty()) {
        ADD_FAILURE() << "cannot make " << path;
    }
    return path;
}

TEST(XlsxLoader, RowsAreAppendedBelowExistingRows) {
    TempDir dir;
    // A file of ours with a styled date column, then one made by Excel.
    const std::string ours = dir.File("ours.xlsx");
    {
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Data");
        workbook::Format* date = workbook::AddFormat(book.get());
        workbook::SetNumFormat(date, 14);
        ASSERT_TRUE(workbook::WriteText(sheet, 0, 0, "head", nullptr));
        ASSERT_TRUE(workbook::WriteNumber(sheet, 2, 1, 45000, date));
        ASSERT_TRUE(workbook::SaveBook(book.get(), ours));
    }
    EXPECT_EQ(xlsx_test::SchemaProblems(ours), "");
    struct Case {
        std::string file;
        std::string sheet;
        int lastRow;
        bool valid = true;  // false: the loaded sheet is outside the schema on purpose
    };
    const std::vector<Case> cases = {
        {ours, "Data", 3},
        {xlsx_test::Corpus("merge_cells01.xlsx"), "Sheet1", 2},  // row 2: empty merged cells
        {xlsx_test::Corpus("shared_strings01.xlsx"), "Sheet1", 127},
        {xlsx_test::Corpus("data_validation01.xlsx"), "Sheet1", 0},  // <sheetData/>
        {TrickyRowsFile(dir, ours), "Data", 3, false},  // attributes of a foreign namespace
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string saved = dir.File("appended.xlsx");
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        ASSERT_TRUE(workbook::LoadBook(book.get(), c.file)) << workbook::ErrorMessage(book.get());
        workbook::Sheet* sheet = workbook::GetSheet(book.get(), FindSheet(book.get(), c.sheet));
        ASSERT_NE(sheet, nullptr);
        const int lastRow = workbook::LastRow(sheet);
        EXPECT_EQ(lastRow, c.lastRow);
        EXPECT_FALSE(workbook::WriteText(sheet, lastRow - 1, 20, "inside", nullptr));
        workbook::Format* date = workbook::AddFormat(book.get());
        workbook::SetNumFormat(date, 14);
        EXPECT_TRUE(workbook::WriteText(sheet, lastRow, 0, "new", nullptr));
        EXPECT_TRUE(workbook::WriteNumber(sheet, lastRow + 1, 3, 45001, date));
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());

        EXPECT_EQ(CompareProblems(c.file, saved, {"--changed", c.sheet}), "");
        if (c.valid) {
            EXPECT_EQ(xlsx_test::SchemaProblems(saved, c.file), "");
        }
        const std::string before = xlsx_test::CellsOf(c.file);
        const std::string after = xlsx_test::CellsOf(saved);
        const std::string added = std::to_string(lastRow) + " 0 s \"new\"\n" +
                                  std::to_string(lastRow + 1) + " 3 d 45001.0\n";
        // The sheet's old cells, then the new ones, in the same place of the listing.
        const std::size_t at = before.find("sheet \"" + c.sheet + "\"\n");
        ASSERT_NE(at, std::string::npos);
        std::size_t end = before.find("sheet ", at + 1);
        end = end == std::string::npos ? before.size() : end;
        std::string expected = before;
        expected.insert(end, added);
        EXPECT_EQ(after, expected);
        const std::string part = xlsx_test::PartOf(saved, "xl/worksheets/sheet1.xml");
        EXPECT_NE(part.find(":D" + std::to_string(lastRow + 2) + "\""), std::string::npos) << part;
    }
}

// Rows [from, to) of a table with every kind of cell, texts with markup,
// escapes and long runs, as a conversion writes them.
void WriteTableRows(workbook::Sheet* sheet, workbook::Format* date, int from, int to) {
    const char* const words[] = {"alpha", "<b>&amp;", "_x0041_", "Привет", "ok \"q\"", ""};
    for (int row = from; row < to; ++row) {
        std::string text = words[row % 6];
        text.append(static_cast<std::size_t>(row % 97), static_cast<char>('a' + row % 26));
        ASSERT_TRUE(workbook::WriteNumber(sheet, row, 0, row, nullptr));
        ASSERT_TRUE(workbook::WriteText(sheet, row, 1, text, nullptr));
        ASSERT_TRUE(workbook::WriteNumber(sheet, row, 2, 40000 + row % 3000, date));
        ASSERT_TRUE(workbook::WriteBool(sheet, row, 3, row % 3 == 0, nullptr));
        ASSERT_TRUE(workbook::WriteNumber(sheet, row, 4, row * 0.37 - 1000, nullptr));
        for (int column = 5; column < 10 + row % 4; ++column) {
            ASSERT_TRUE(
                workbook::WriteText(sheet, row, column, words[(row + column) % 6], nullptr));
        }
    }
}

// The first line where two listings differ, with its number; empty when equal.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
    std::size_t line = 1;
    std::size_t at = 0;
    while (at < expected.size() || at < actual.size()) {
        const std::size_t end1 = std::min(expected.find('\n', at), expected.size());
        const std::size_t end2 = std::min(actual.find('\n', at), actual.size());
        const std::string one = at < expected.size() ? expected.substr(at, end1 - at) : "(end)";
        const std::string two = at < actual.size() ? actual.substr(at, end2 - at) : "(end)";
        if (one != two || end1 != end2) {
            return "line " + std::to_string(line) + ": expected " + one + "\n got " + two;
        }
        at = end1 + 1;
        ++line;
    }
    return {};
}

// Appending below a sheet of several MiB of XML, which crosses many
// compression chunks and inflated pieces, gives the sheet a conversion of
// all rows at once gives, whoever packed the loaded file and however the
// rows are split; the appended part still validates against the schema.
TEST(XlsxLoader, AppendedBigSheetEqualsTheSheetWrittenAtOnce) {
    constexpr int kRows = 9000;  // about 6 MiB of sheet XML
    struct Case {
        const char* label;
        int split;         // rows in the loaded file
        const char* pack;  // how the loaded file is repacked; null: as we wrote it
    };
    const std::vector<Case> cases = {
        {"ours", 6000, nullptr},
        {"ours, one row added", kRows - 1, nullptr},
        {"deflated by zlib at level 9", 4321, "deflated"},
        {"stored", 6000, "stored"},
    };
    TempDir dir;
    const std::string whole = dir.File("whole.xlsx");
    {
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Data");
        workbook::Format* date = workbook::AddFormat(book.get());
        workbook::SetNumFormat(date, 14);
        WriteTableRows(sheet, date, 0, kRows);
        ASSERT_TRUE(workbook::SaveBook(book.get(), whole)) << workbook::ErrorMessage(book.get());
    }
    EXPECT_EQ(xlsx_test::SchemaProblems(whole), "");
    const std::string expected = xlsx_test::CellsOf(whole);
    ASSERT_EQ(expected.find("READER FAILED"), std::string::npos) << expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string base = dir.File("base.xlsx");
        {
            BookPtr book(workbook::CreateBook(BookKind::kXlsx));
            workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Data");
            workbook::Format* date = workbook::AddFormat(book.get());
            workbook::SetNumFormat(date, 14);
            WriteTableRows(sheet, date, 0, c.split);
            ASSERT_TRUE(workbook::SaveBook(book.get(), base)) << workbook::ErrorMessage(book.get());
        }
        if (c.pack != nullptr) {
            const std::string repacked = dir.File("repacked.xlsx");
            ASSERT_EQ(Repack(base, repacked, c.pack), "");
            base = repacked;
        }
        const std::string appended = dir.File("appended.xlsx");
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        ASSERT_TRUE(workbook::LoadBook(book.get(), base)) << workbook::ErrorMessage(book.get());
        workbook::Sheet* sheet = workbook::GetSheet(book.get(), 0);
        ASSERT_EQ(workbook::LastRow(sheet), c.split);
        workbook::Format* date = workbook::AddFormat(book.get());
        workbook::SetNumFormat(date, 14);
        WriteTableRows(sheet, date, c.split, kRows);
        ASSERT_TRUE(workbook::SaveBook(book.get(), appended)) << workbook::ErrorMessage(book.get());

        EXPECT_TRUE(xlsx_test::ZipIsIntact(appended));
        EXPECT_EQ(FirstDifference(expected, xlsx_test::CellsOf(appended)), "");
        EXPECT_EQ(xlsx_test::SchemaProblems(appended, base), "");
    }
}

TEST(XlsxLoader, Date1904WorkbookGivesSerialsOfItsSystem) {
    TempDir dir;
    const std::string original = xlsx_test::Corpus("date_1904_02.xlsx");
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    ASSERT_TRUE(workbook::LoadBook(book.get(), original));
    const double serial = workbook::DatePack(book.get(), 2024, 1, 1, 0, 0, 0, 0);
    EXPECT_EQ(serial, 43830.0);  // 1900 system: 45292, less the 1462 days to 1904
    workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Dates");
    workbook::Format* date = workbook::AddFormat(book.get());
    workbook::SetNumFormat(date, 14);
    ASSERT_TRUE(workbook::WriteNumber(sheet, 0, 0, serial, date));
    ASSERT_TRUE(workbook::SaveBook(book.get(), dir.File("d.xlsx")));
    EXPECT_EQ(xlsx_test::SchemaProblems(dir.File("d.xlsx"), original), "");
    const std::string cells = xlsx_test::CellsOf(dir.File("d.xlsx"));
    EXPECT_EQ(cells.rfind("date1904 true\n", 0), 0u) << cells;
    EXPECT_NE(cells.find("sheet \"Dates\"\n0 0 d 43830.0\n"), std::string::npos) << cells;
}

TEST(XlsxLoader, ChartSheetIsListedButNotWritable) {
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    ASSERT_TRUE(workbook::LoadBook(book.get(), xlsx_test::Corpus("chartsheet01.xlsx")));
    workbook::Sheet* chart = workbook::GetSheet(book.get(), FindSheet(book.get(), "Chart1"));
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(workbook::LastRow(chart), 0);
    EXPECT_FALSE(workbook::WriteNumber(chart, 0, 0, 1, nullptr));
    EXPECT_NE(std::string(workbook::ErrorMessage(book.get())).find("chart sheet"),
              std::string::npos);
}

TEST(XlsxLoader, SavingOverTheLoadedFileKeepsItsParts) {
    TempDir dir;
    const std::string path = dir.File("same.xlsx");
    std::filesystem::copy_file(xlsx_test::Corpus("comment04.xlsx"), path);
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    ASSERT_TRUE(workbook::LoadBook(book.get(), path));
    workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Extra");
    ASSERT_TRUE(workbook::WriteText(sheet, 0, 0, "x", nullptr));
    ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
    EXPECT_EQ(CompareProblems(xlsx_test::Corpus("comment04.xlsx"), path, {}), "");
    EXPECT_EQ(xlsx_test::SchemaProblems(path, xlsx_test::Corpus("comment04.xlsx")), "");
}

TEST(XlsxLoader, DamagedAndHostileFilesFailCleanly) {
    TempDir dir;
    const auto made =
        testing_support::RunTool("xlsx_hostile.py", ShellQuote(xlsx_test::Corpus("simple02.xlsx")) +
                                                        " " + ShellQuote(dir.path().string()));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    struct Case {
        const char* file;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"truncated.xlsx", "no zip end record"},
        {"not_zip.xlsx", "is not a valid .xlsx workbook"},
        {"bomb.xlsx", "zip bomb"},
        {"lying_size.xlsx", "beyond its stated size"},
        {"doctype.xlsx", "DOCTYPE"},
        {"deep.xlsx", "nested too deeply"},
        {"bad_offset.xlsx", "lies outside the file"},
        {"no_workbook.xlsx", "xl/workbook.xml is missing"},
        {"absent.xlsx", SystemFaultText(SystemFault::kNoSuchFile)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        ASSERT_TRUE(workbook::LoadBook(book.get(), xlsx_test::Corpus("comment04.xlsx")));
        EXPECT_FALSE(workbook::LoadBook(book.get(), dir.File(c.file)));
        EXPECT_NE(std::string(workbook::ErrorMessage(book.get())).find(c.reason), std::string::npos)
            << workbook::ErrorMessage(book.get());
        EXPECT_EQ(workbook::SheetCount(book.get()), 0);  // the earlier load is gone too
    }
}

}  // namespace

namespace {

TEST(XlsxLoader, Zip64ArchiveLoadsAndKeepsItsParts) {
    TempDir dir;
    const auto made = testing_support::RunTool(
        "xlsx_hostile.py",
        ShellQuote(xlsx_test::Corpus("comment04.xlsx")) + " " + ShellQuote(dir.path().string()));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const std::string original = dir.File("zip64.xlsx");
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    ASSERT_TRUE(workbook::LoadBook(book.get(), original)) << workbook::ErrorMessage(book.get());
    EXPECT_EQ(workbook::SheetCount(book.get()), 3);
    workbook::Sheet* sheet = workbook::GetSheet(book.get(), 0);
    ASSERT_TRUE(workbook::WriteText(sheet, workbook::LastRow(sheet), 0, "more", nullptr));
    ASSERT_TRUE(workbook::SaveBook(book.get(), dir.File("saved.xlsx")));
    EXPECT_EQ(CompareProblems(original, dir.File("saved.xlsx"), {"--changed", "Sheet1"}), "");
    EXPECT_EQ(xlsx_test::SchemaProblems(dir.File("saved.xlsx"), original), "");
}

// A book of nearly as many sheets as the loader lets in (their parts and
// relationships listed in reverse order) loads, is appended to and saved,
// and the saved book loads again: part and relationship lookups go through
// indexes, where scanning their lists took half a minute.
TEST(XlsxLoader, BookOfManySheetsLoadsAndSaves) {
    TempDir dir;
    const auto made = testing_support::RunTool(
        "xlsx_hostile.py",
        ShellQuote(xlsx_test::Corpus("comment04.xlsx")) + " " + ShellQuote(dir.path().string()));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    constexpr int kSheets = 19990;
    BookPtr book(workbook::CreateBook(BookKind::kXlsx));
    ASSERT_TRUE(workbook::LoadBook(book.get(), dir.File("many_sheets.xlsx")))
        << workbook::ErrorMessage(book.get());
    ASSERT_EQ(workbook::SheetCount(book.get()), kSheets);
    workbook::Sheet* last = workbook::GetSheet(book.get(), kSheets - 1);
    EXPECT_EQ(workbook::SheetName(last), std::string("S") + std::to_string(kSheets));
    EXPECT_EQ(workbook::LastRow(last), 0);
    ASSERT_TRUE(workbook::WriteText(last, 0, 0, "appended", nullptr));
    workbook::Sheet* added = workbook::AddSheet(book.get(), "Added");
    ASSERT_NE(added, nullptr);
    ASSERT_TRUE(workbook::WriteText(added, 0, 0, "new", nullptr));
    const std::string saved = dir.File("saved.xlsx");
    ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());
    EXPECT_TRUE(xlsx_test::ZipIsIntact(saved));
    EXPECT_EQ(xlsx_test::SchemaProblems(saved, dir.File("many_sheets.xlsx")), "");

    BookPtr again(workbook::CreateBook(BookKind::kXlsx));
    ASSERT_TRUE(workbook::LoadBook(again.get(), saved)) << workbook::ErrorMessage(again.get());
    ASSERT_EQ(workbook::SheetCount(again.get()), kSheets + 1);
    EXPECT_EQ(workbook::LastRow(workbook::GetSheet(again.get(), kSheets - 1)), 1);
    EXPECT_EQ(workbook::SheetName(workbook::GetSheet(again.get(), kSheets)), std::string("Added"));
    EXPECT_EQ(xlsx_test::PartOf(saved, "xl/worksheets/sheet1.xml").find("appended"),
              std::string::npos);
    EXPECT_NE(xlsx_test::PartOf(saved, "xl/worksheets/sheet" + std::to_string(kSheets) + ".xml")
                  .find("appended"),
              std::string::npos);
}

// A sheet replaced by one of the same name (as a conversion replaces it)
// keeps the defined names that point into it, as the .xls book does; a
// sheet only removed breaks them.
// xlsx_tabs.py's lines that start with one of `prefixes`.
std::vector<std::string> TabsOf(const std::string& path, const std::vector<std::string>& prefixes) {
    const auto result = testing_support::RunTool("xlsx_tabs.py", ShellQuote(path));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = result.output.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = result.output.substr(at, end - at);
        for (const std::string& prefix : prefixes) {
            if (line.rfind(prefix, 0) == 0) {
                lines.push_back(line);
            }
        }
    }
    return lines;
}

// A sheet replaced in its place keeps the tab order, the active tab and the
// names local to it. Replaced at the end, the active tab follows it by its
// name, as the names do, never staying on the hidden sheet now in its place.
TEST(XlsxLoader, ReplacedSheetKeepsItsPlaceAndTheShownTabIsVisible) {
    struct Case {
        const char* file;
        int index;
        bool inPlace;
        std::vector<std::string> tabs;  // sheet and active lines; empty: as in the file
    };
    const std::vector<Case> cases = {
        {"hide01.xlsx",
         0,
         true,
         {"sheet \"Sheet1\" visible 1", "sheet \"Sheet2\" hidden 0", "sheet \"Sheet3\" visible 0",
          "active 0"}},
        {"hide01.xlsx",
         0,
         false,
         {"sheet \"Sheet2\" hidden 0", "sheet \"Sheet3\" visible 0", "sheet \"Sheet1\" visible 1",
          "active 2"}},
        {"defined_name01.xlsx", 0, true, {}},
        {"defined_name01.xlsx", 1, true, {}},
        {"defined_name01.xlsx", 2, true, {}},
        {"firstsheet01.xlsx", 19, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " sheet " + std::to_string(c.index) +
                     (c.inPlace ? " in place" : " at the end"));
        TempDir dir;
        const std::string original = xlsx_test::Corpus(c.file);
        const std::string saved = dir.File("replaced.xlsx");
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        ASSERT_TRUE(workbook::LoadBook(book.get(), original)) << workbook::ErrorMessage(book.get());
        const std::string name(workbook::SheetName(workbook::GetSheet(book.get(), c.index)));
        workbook::Sheet* sheet = nullptr;
        if (c.inPlace) {
            sheet = workbook::ReplaceSheet(book.get(), c.index, name);
        } else {
            ASSERT_TRUE(workbook::DeleteSheet(book.get(), c.index));
            sheet = workbook::AddSheet(book.get(), name);
        }
        ASSERT_NE(sheet, nullptr) << workbook::ErrorMessage(book.get());
        ASSERT_TRUE(workbook::WriteText(sheet, 0, 0, "new", nullptr));
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());

        EXPECT_EQ(xlsx_test::SchemaProblems(saved, original), "");
        const auto tabs = TabsOf(saved, {"sheet ", "active "});
        if (c.tabs.empty()) {
            EXPECT_EQ(tabs, TabsOf(original, {"sheet ", "active "}));
        } else {
            EXPECT_EQ(tabs, c.tabs);
        }
        EXPECT_EQ(TabsOf(saved, {"name "}), TabsOf(original, {"name "}));
        const std::string cells = xlsx_test::CellsOf(saved);
        EXPECT_NE(cells.find("sheet \"" + name + "\"\n0 0 s \"new\"\n"), std::string::npos)
            << cells;
    }
}

TEST(XlsxLoader, ReplacedSheetKeepsItsDefinedNames) {
    struct Case {
        const char* added;
        std::vector<std::string> expected;  // definedName elements, in order
    };
    const std::vector<Case> cases = {
        {"SHEET1",
         {R"(<definedName name="_Egg">Sheet1!$A$1</definedName>)",
          R"(<definedName name="_xlnm._FilterDatabase" localSheetId="2" hidden="1">Sheet1!$F$1:$G$1</definedName>)",
          R"(<definedName name="aaa" localSheetId="0">Sheet2!$A$1</definedName>)",
          R"(<definedName name="Bar" localSheetId="2">Sheet1!$A$1</definedName>)",
          R"(<definedName name="_xlnm.Print_Area" localSheetId="2">Sheet1!$A$1:$E$6</definedName>)"}},
        {"Other",
         {R"(<definedName name="_Egg">#REF!</definedName>)",
          R"(<definedName name="aaa" localSheetId="0">Sheet2!$A$1</definedName>)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.added);
        TempDir dir;
        BookPtr book(workbook::CreateBook(workbook::BookKind::kXlsx));
        ASSERT_TRUE(workbook::LoadBook(book.get(), xlsx_test::Corpus("defined_name01.xlsx")));
        ASSERT_TRUE(workbook::DeleteSheet(book.get(), 0));
        ASSERT_NE(workbook::AddSheet(book.get(), c.added), nullptr);
        const std::string saved = dir.File("names.xlsx");
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());
        EXPECT_EQ(xlsx_test::SchemaProblems(saved, xlsx_test::Corpus("defined_name01.xlsx")), "");
        const std::string part = xlsx_test::PartOf(saved, "xl/workbook.xml");
        for (const std::string& element : c.expected) {
            EXPECT_NE(part.find(element), std::string::npos) << element << "\nin " << part;
        }
    }
}

}  // namespace

// docProps/app.xml lists the sheets (and named ranges) by group; after a
// save its lists follow the book, read back by a separate XML reader.
TEST(XlsxLoader, DocumentPropertiesListTheSavedSheets) {
    struct Case {
        const char* name;
        const char* file;  // null: a new book
        std::vector<std::string> removed;
        std::vector<std::string> added;
        const char* lists;  // xlsx_app_lists.py's output
    };
    const Case cases[] = {
        {"new book",
         nullptr,
         {},
         {"One", "Two & co"},
         "group Worksheets 2\ntitle One\ntitle Two & co\ntheme yes\n"},
        {"sheet replaced: its local names go",
         "defined_name01.xlsx",
         {"Sheet2"},
         {"Sheet2"},
         "group Worksheets 3\ngroup Named Ranges 6\ntitle Sheet1\ntitle Sheet 3\ntitle Sheet2\n"
         "title _Egg\ntitle _Fog\ntitle Abc\ntitle 'Sheet 3'!Bar\ntitle Sheet1!Bar\n"
         "title Sheet1!Print_Area\ntheme yes\n"},
        {"quoted sheet deleted",
         "defined_name01.xlsx",
         {"Sheet 3"},
         {},
         "group Worksheets 2\ngroup Named Ranges 7\ntitle Sheet1\ntitle Sheet2\ntitle _Egg\n"
         "title _Fog\ntitle Sheet2!aaa\ntitle Abc\ntitle Sheet1!Bar\ntitle Sheet2!Bar\n"
         "title Sheet1!Print_Area\ntheme yes\n"},
        {"chart sheet stays a chart",
         "chartsheet01.xlsx",
         {"Sheet1"},
         {"Sheet1 new"},
         "group Worksheets 1\ngroup Charts 1\ntitle Sheet1 new\ntitle Chart1\ntheme yes\n"},
        {"emptied group goes",
         "chartsheet01.xlsx",
         {"Chart1"},
         {},
         "group Worksheets 1\ntitle Sheet1\ntheme yes\n"},
        {"sheet added",
         "quote_name01.xlsx",
         {},
         {"Extra"},
         "group Worksheets 9\ntitle Sheet 1\ntitle Sheet 2\ntitle Sheet!3\ntitle Sheet\"4\n"
         "title Sheet#5\ntitle Sheet$6\ntitle Sheet%7\ntitle Sheet&8\ntitle Extra\ntheme yes\n"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BookPtr book(workbook::CreateBook(BookKind::kXlsx));
        if (c.file != nullptr) {
            ASSERT_TRUE(workbook::LoadBook(book.get(), xlsx_test::Corpus(c.file)));
        }
        for (const auto& name : c.removed) {
            ASSERT_TRUE(workbook::DeleteSheet(book.get(), FindSheet(book.get(), name)));
        }
        for (const auto& name : c.added) {
            workbook::Sheet* sheet = workbook::AddSheet(book.get(), name);
            ASSERT_NE(sheet, nullptr);
            ASSERT_TRUE(workbook::WriteText(sheet, 0, 0, "x", nullptr));
        }
        const std::string saved = dir.File("app.xlsx");
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());
        EXPECT_EQ(xlsx_test::SchemaProblems(
                      saved, c.file != nullptr ? xlsx_test::Corpus(c.file) : std::string()),
                  "");
        const auto lists = testing_support::RunTool("xlsx_app_lists.py", ShellQuote(saved));
        EXPECT_EQ(lists.output, c.lists);
        if (c.file != nullptr) {
            // The compare script knows no sheet that goes and comes back
            // under its name; openpyxl reading the file is the check then.
            bool again = false;
            std::vector<std::string> flags;
            for (const auto& name : c.removed) {
                again = again || std::find(c.added.begin(), c.added.end(), name) != c.added.end();
                flags.push_back("--removed");
                flags.push_back(name);
            }
            if (again) {
                EXPECT_EQ(xlsx_test::CellsOf(saved).find("READER FAILED"), std::string::npos);
            } else {
                EXPECT_EQ(CompareProblems(xlsx_test::Corpus(c.file), saved, flags), "");
            }
        } else {
            EXPECT_EQ(xlsx_test::CellsOf(saved),
                      "date1904 false\nsheet \"One\"\n0 0 s \"x\"\nsheet \"Two & co\"\n"
                      "0 0 s \"x\"\n");
        }
    }
    // A save that keeps the sheet list keeps the part as it was, byte for byte.
    const std::string original = xlsx_test::Corpus("defined_name01.xlsx");
    BookPtr same(workbook::CreateBook(BookKind::kXlsx));
    ASSERT_TRUE(workbook::LoadBook(same.get(), original));
    ASSERT_TRUE(workbook::SaveBook(same.get(), dir.File("same.xlsx")));
    EXPECT_EQ(xlsx_test::PartOf(dir.File("same.xlsx"), "docProps/app.xml"),
              xlsx_test::PartOf(original, "docProps/app.xml"));
}
