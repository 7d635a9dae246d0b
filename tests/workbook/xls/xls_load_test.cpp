// SPDX-License-Identifier: MIT
// Loaded .xls books: real files from other programs keep their untouched
// sheets and streams through load, add, delete and save; sheets grow below
// their rows; refused and hostile files fail cleanly and leave the book empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "workbook/le_bytes.h"
#include "workbook/workbook.h"
#include "workbook/xls/compound_file.h"
#include "xls_test_util.h"

namespace {

using testing_support::SystemFault;
using testing_support::SystemFaultText;
using testing_support::TempDir;
using workbook::BookPtr;
using xls_test::NewBook;

const std::string kCorpus = std::string(QUENDLE_CORPUS_DIR) + "/xls/";

std::string JsonName(const std::string& name) {
    // The corpus's sheet names are plain ASCII; quotes and backslashes escape.
    std::string json = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\') {
            json += '\\';
        }
        json += c;
    }
    return json + "\"";
}

// The streams but Workbook; the document summary by its size alone, since
// its sheet list goes when the sheets change (xls_records_test checks it).
std::vector<std::string> WithoutWorkbookStream(std::vector<std::string> streams) {
    std::erase_if(streams,
                  [](const std::string& line) { return line.rfind("stream Workbook ", 0) == 0; });
    for (std::string& line : streams) {
        if (line.rfind("stream \\x05DocumentSummaryInformation ", 0) == 0) {
            line.erase(line.rfind(' '));
        }
    }
    return streams;
}

// Load, delete one sheet, add a new one with a few cells, save; every other
// sheet must read back as before, and every stream but the workbook must be
// byte-identical.
TEST(XlsPreservation, CorpusFilesKeepUntouchedSheetsAndStreams) {
    struct Case {
        const char* file;
        int deleteIndex;  // -1: delete nothing
    };
    const Case cases[] = {
        {"1904DateWindowing.xls", 2},
        {"45538_classic_Header.xls", 0},
        {"55906-MultiSheetRefs.xls", 1},
        {"DateFormats.xls", -1},
        {"Formate.xls", 1},
        {"FormulaSheetRange.xls", 2},
        {"LookupFunctionsTestCaseData.xls", 0},
        {"RepeatingRowsCols.xls", 0},
        {"SampleSS.xls", 1},
        {"SimpleChart.xls", 1},
        {"SimpleMultiCell.xls", 0},
        {"SimpleWithFormula.xls", -1},
        {"WithThreeCharts.xls", 0},
        {"countifExamples.xls", 1},
        {"duprich1.xls", 0},
        {"finance.xls", 1},
        {"formula_test_names.xls", 0},
        {"formula_test_sjmachin.xls", 1},
        {"issue20.xls", 0},
        {"namesdemo.xls", 1},
        {"profiles.xls", 2},
        {"ragged.xls", 0},
        {"sumifs.xls", 3},
        {"xf_class.xls", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        const std::string source = kCorpus + c.file;
        const std::string target = dir.File("out.xls");
        const auto before = xls_test::CellsOf(source);
        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), source)) << workbook::ErrorMessage(book.get());
        std::vector<std::string> kept;
        for (int i = 0; i < workbook::SheetCount(book.get()); ++i) {
            if (i != c.deleteIndex) {
                kept.emplace_back(workbook::SheetName(workbook::GetSheet(book.get(), i)));
            }
        }
        if (c.deleteIndex >= 0) {
            ASSERT_TRUE(workbook::DeleteSheet(book.get(), c.deleteIndex));
        }
        workbook::Sheet* added = workbook::AddSheet(book.get(), "Added by test");
        ASSERT_NE(added, nullptr) << workbook::ErrorMessage(book.get());
        workbook::Format* date = workbook::AddFormat(book.get());
        workbook::SetNumFormat(date, 14);
        ASSERT_TRUE(workbook::WriteText(added, 0, 0, "new text", nullptr));
        ASSERT_TRUE(workbook::WriteNumber(added, 0, 1, 2.5, nullptr));
        ASSERT_TRUE(workbook::WriteNumber(
            added, 1, 0, workbook::DatePack(book.get(), 2020, 1, 2, 0, 0, 0, 0), date));
        ASSERT_TRUE(workbook::SaveBook(book.get(), target)) << workbook::ErrorMessage(book.get());

        const auto after = xls_test::CellsOf(target);
        for (const std::string& name : kept) {
            SCOPED_TRACE(name);
            EXPECT_EQ(xls_test::SheetLines(after, JsonName(name)),
                      xls_test::SheetLines(before, JsonName(name)));
        }
        // 2 January 2020 in the file's own date system.
        const std::string serial = before.front() == "date1904 1" ? "42370.0" : "43832.0";
        EXPECT_EQ(after.front(), before.front());
        const std::vector<std::string> addedCells = {
            "cell \"Added by test\" 0 0 s \"new text\" ",
            "cell \"Added by test\" 0 1 n 2.5 ",
            "cell \"Added by test\" 1 0 d " + serial + " ",
        };
        const auto newLines = xls_test::SheetLines(after, "\"Added by test\"");
        ASSERT_EQ(newLines.size(), addedCells.size());
        for (std::size_t i = 0; i < addedCells.size(); ++i) {
            EXPECT_EQ(newLines[i].rfind(addedCells[i], 0), 0u) << newLines[i];
        }
        EXPECT_EQ(WithoutWorkbookStream(xls_test::StreamsOf(target)),
                  WithoutWorkbookStream(xls_test::StreamsOf(source)));
    }
}

// Checks that xls_names.py reads `path` and prints lines that must appear
// and none that must not.
void ExpectNames(const std::string& path, const std::vector<std::string>& expected,
                 const std::vector<std::string>& absent) {
    const auto result = testing_support::RunTool("xls_names.py", testing_support::ShellQuote(path));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string& output = result.output;
    const auto lines = xls_test::Lines(output);
    for (const std::string& part : expected) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), part), lines.end()) << part << "\n"
                                                                            << output;
    }
    for (const std::string& part : absent) {
        EXPECT_EQ(std::find(lines.begin(), lines.end(), part), lines.end()) << part << "\n"
                                                                            << output;
    }
}

// Names and 3-D references that point at sheets by position follow a
// deletion: local names of the deleted sheet turn into hidden inert names
// (names are referred to by position, so none may vanish), later scopes and
// sheet ranges move down, references to the deleted sheet become "not found".
TEST(XlsPreservation, DeletingASheetFixesNamesAndReferences) {
    struct Case {
        const char* file;
        int deleteIndex;
        std::vector<std::string> expectedParts;  // lines that must appear
        std::vector<std::string> absentParts;    // lines that must not
    };
    const std::vector<Case> cases = {
        {"namesdemo.xls",
         1,
         {"name \"LocalRange\" 0 0", "name \"Localrange\" 1 0", "name \"_DeletedSheetName1\" -1 1"},
         {"name \"localRange\" 1 0"}},
        {"FormulaSheetRange.xls", 2, {"xti 0 1 3"}, {"xti 0 1 4"}},
        {"RepeatingRowsCols.xls",
         1,
         {"xti 0 0 0", "xti 0 65535 65535", "xti 0 1 1", "xti 0 2 2", "name \"Print_Titles\" 1 0",
          "name \"Print_Titles\" 2 0", "name \"_DeletedSheetName1\" -1 1"},
         {"xti 0 3 3", "name \"Print_Titles\" 3 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), kCorpus + c.file))
            << workbook::ErrorMessage(book.get());
        ASSERT_TRUE(workbook::DeleteSheet(book.get(), c.deleteIndex));
        ASSERT_TRUE(workbook::SaveBook(book.get(), dir.File("out.xls")))
            << workbook::ErrorMessage(book.get());
        ASSERT_NO_FATAL_FAILURE(ExpectNames(dir.File("out.xls"), c.expectedParts, c.absentParts));
        xls_test::CellsOf(dir.File("out.xls"));
    }
}

// A sheet replaced by one of the same name (deleted, then added at the end)
// keeps the 3-D references that pointed at it; a sheet of another name does
// not take them.
TEST(XlsPreservation, ReplacedSheetInheritsReferencesToIt) {
    struct Case {
        const char* added;
        std::vector<std::string> expectedParts;
        std::vector<std::string> absentParts;
    };
    const std::vector<Case> cases = {
        {"SHEET2", {"xti 0 3 3", "xti 0 0 0", "xti 0 1 1", "xti 0 2 2"}, {"xti 0 65535 65535"}},
        {"Other", {"xti 0 65535 65535"}, {"xti 0 3 3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.added);
        TempDir dir;
        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), kCorpus + "RepeatingRowsCols.xls"))
            << workbook::ErrorMessage(book.get());
        ASSERT_TRUE(workbook::DeleteSheet(book.get(), 1));  // Sheet2
        ASSERT_NE(workbook::AddSheet(book.get(), c.added), nullptr);
        ASSERT_TRUE(workbook::SaveBook(book.get(), dir.File("out.xls")))
            << workbook::ErrorMessage(book.get());
        ASSERT_NO_FATAL_FAILURE(ExpectNames(dir.File("out.xls"), c.expectedParts, c.absentParts));
    }
}

// xls_names.py's lines for a file; fails the test when xlrd cannot read it.
std::vector<std::string> NamesOf(const std::string& path) {
    const auto result = testing_support::RunTool("xls_names.py", testing_support::ShellQuote(path));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return xls_test::Lines(result.output);
}

// The sheet names in the order xls_cells.py lists them.
std::vector<std::string> SheetOrder(const std::vector<std::string>& cells) {
    std::vector<std::string> order;
    for (const std::string& line : cells) {
        if (line.rfind("sheet ", 0) == 0) {
            order.push_back(line);
        }
    }
    return order;
}

// A sheet replaced in its place leaves everything that points at sheets by
// place as it was: local names keep their sheet, 3-D references and ranges
// (Sheet1:Sheet3 in namesdemo.xls) their sheets, the tab order and the
// selected tab stay. The other sheets read as before.
TEST(XlsPreservation, ReplacedSheetKeepsItsPlaceNamesAndReferences) {
    struct Case {
        const char* file;
        int index;
    };
    const Case cases[] = {
        {"namesdemo.xls", 0},
        {"namesdemo.xls", 1},
        {"namesdemo.xls", 2},
        {"RepeatingRowsCols.xls", 1},
        {"RepeatingRowsCols.xls", 3},
        {"FormulaSheetRange.xls", 2},
        {"55906-MultiSheetRefs.xls", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " sheet " + std::to_string(c.index));
        TempDir dir;
        const std::string source = kCorpus + c.file;
        const std::string target = dir.File("out.xls");
        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), source)) << workbook::ErrorMessage(book.get());
        const std::string name(workbook::SheetName(workbook::GetSheet(book.get(), c.index)));
        workbook::Sheet* sheet = workbook::ReplaceSheet(book.get(), c.index, name);
        ASSERT_NE(sheet, nullptr) << workbook::ErrorMessage(book.get());
        EXPECT_EQ(workbook::GetSheet(book.get(), c.index), sheet);
        ASSERT_TRUE(workbook::WriteText(sheet, 0, 0, "new", nullptr));
        ASSERT_TRUE(workbook::SaveBook(book.get(), target)) << workbook::ErrorMessage(book.get());

        EXPECT_EQ(NamesOf(target), NamesOf(source));
        const auto before = xls_test::CellsOf(source);
        const auto after = xls_test::CellsOf(target);
        EXPECT_EQ(SheetOrder(after), SheetOrder(before));
        for (const std::string& line : SheetOrder(before)) {
            const std::string json = line.substr(6);
            if (json == JsonName(name)) {
                const auto lines = xls_test::SheetLines(after, json);
                ASSERT_EQ(lines.size(), 1u);
                EXPECT_EQ(lines[0].rfind("cell " + json + " 0 0 s \"new\" ", 0), 0u) << lines[0];
            } else {
                EXPECT_EQ(xls_test::SheetLines(after, json), xls_test::SheetLines(before, json))
                    << json;
            }
        }
    }
    // The name may change with the sheet, and must stay unique.
    BookPtr book = NewBook();
    ASSERT_TRUE(workbook::LoadBook(book.get(), kCorpus + "namesdemo.xls"));
    EXPECT_EQ(workbook::ReplaceSheet(book.get(), 0, "Sheet2"), nullptr);
    EXPECT_EQ(workbook::LastStatus(book.get()), workbook::BookStatus::kDuplicateName);
    EXPECT_EQ(workbook::ReplaceSheet(book.get(), 4, "Other"), nullptr);
    EXPECT_EQ(workbook::LastStatus(book.get()), workbook::BookStatus::kNoSuchSheet);
    ASSERT_NE(workbook::ReplaceSheet(book.get(), 0, "SHEET1"), nullptr);
    EXPECT_EQ(workbook::SheetName(workbook::GetSheet(book.get(), 0)), "SHEET1");
}

// The second of three sheets made hidden in the file's sheet list.
void HideSecondSheet(const std::string& path) {
    namespace xls = workbook::xls;
    xls::CompoundEntry root;
    ASSERT_TRUE(xls_test::ReadCompound(path, &root));
    xls::CompoundEntry* stream = nullptr;
    for (xls::CompoundEntry& child : root.children) {
        if (xls::SameEntryName(child.name, u"Workbook")) {
            stream = &child;
        }
    }
    ASSERT_NE(stream, nullptr);
    int sheets = 0;
    for (std::size_t at = 0; at + 4 <= stream->data.size();) {
        std::uint16_t type = 0;
        std::uint16_t length = 0;
        ASSERT_TRUE(xls::GetU16(stream->data, at, type) &&
                    xls::GetU16(stream->data, at + 2, length));
        if (type == 0x0085 && ++sheets == 2) {
            stream->data[at + 4 + 4] = 1;  // after the stream position: hidden
            break;
        }
        at += 4 + length;
    }
    ASSERT_EQ(sheets, 2);
    ASSERT_TRUE(xls_test::WriteCompound(root, path));
}

// The tab shown and selected on opening is a visible sheet, however the
// active sheet was replaced; a hidden sheet stays hidden.
TEST(XlsPreservation, ShownTabIsAVisibleSheet) {
    struct Case {
        const char* what;
        bool inPlace;
        std::vector<std::string> sheets;  // xls_names.py's sheet lines
    };
    const Case cases[] = {
        {"replaced in place",
         true,
         {"sheet \"First\" 0 1", "sheet \"Hidden\" 1 0", "sheet \"Third\" 0 0"}},
        {"deleted and added at the end",
         false,
         {"sheet \"Hidden\" 1 0", "sheet \"Third\" 0 1", "sheet \"First\" 0 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.File("hidden.xls");
        ASSERT_TRUE(xls_test::SaveTextBook(
            path, {{"First", "First"}, {"Hidden", "Hidden"}, {"Third", "Third"}}));
        HideSecondSheet(path);
        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), path)) << workbook::ErrorMessage(book.get());
        if (c.inPlace) {
            ASSERT_NE(workbook::ReplaceSheet(book.get(), 0, "First"), nullptr);
        } else {
            ASSERT_TRUE(workbook::DeleteSheet(book.get(), 0));
            ASSERT_NE(workbook::AddSheet(book.get(), "First"), nullptr);
        }
        ASSERT_TRUE(workbook::SaveBook(book.get(), dir.File("out.xls")))
            << workbook::ErrorMessage(book.get());
        std::vector<std::string> sheets;
        for (const std::string& line : NamesOf(dir.File("out.xls"))) {
            if (line.rfind("sheet ", 0) == 0) {
                sheets.push_back(line);
            }
        }
        EXPECT_EQ(sheets, c.sheets);
    }
}

// Rows appended below a loaded sheet's last row keep the rows above, also
// when the book is saved over the file it came from.
TEST(XlsPreservation, AppendBelowLoadedRows) {
    TempDir dir;
    const std::string path = dir.File("grow.xls");
    {
        BookPtr book = NewBook();
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Grow");
        ASSERT_NE(workbook::AddSheet(book.get(), "Other"), nullptr);
        for (int row = 0; row < 40; ++row) {
            ASSERT_TRUE(workbook::WriteNumber(sheet, row, 1, row, nullptr));
        }
        ASSERT_TRUE(workbook::SaveBook(book.get(), path));
    }
    std::vector<std::string> expected = xls_test::CellsOf(path);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), path)) << workbook::ErrorMessage(book.get());
        workbook::Sheet* sheet = workbook::GetSheet(book.get(), 0);
        const int start = workbook::LastRow(sheet);
        EXPECT_EQ(start, 40 + 30 * round);
        EXPECT_FALSE(workbook::WriteText(sheet, start - 1, 5, "inside old rows", nullptr));
        for (int row = start; row < start + 30; ++row) {
            ASSERT_TRUE(workbook::WriteText(sheet, row, 0, "r" + std::to_string(row), nullptr));
            ASSERT_TRUE(workbook::WriteBool(sheet, row, 2, row % 2 == 0, nullptr));
        }
        ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
        const auto other = std::find(expected.begin(), expected.end(), "sheet \"Other\"");
        std::vector<std::string> added;
        for (int row = start; row < start + 30; ++row) {
            added.push_back("cell \"Grow\" " + std::to_string(row) + " 0 s \"r" +
                            std::to_string(row) + "\" \"General\"");
            added.push_back("cell \"Grow\" " + std::to_string(row) + " 2 b " +
                            (row % 2 == 0 ? "true" : "false") + " \"General\"");
        }
        expected.insert(other, added.begin(), added.end());
        EXPECT_EQ(xls_test::CellsOf(path), expected);
    }
    // A corpus sheet from Excel grows the same way.
    BookPtr book = NewBook();
    ASSERT_TRUE(workbook::LoadBook(book.get(), kCorpus + "sumifs.xls"));
    workbook::Sheet* sheet = workbook::GetSheet(book.get(), 0);
    const int start = workbook::LastRow(sheet);
    ASSERT_GT(start, 0);
    ASSERT_TRUE(workbook::WriteNumber(sheet, start, 0, 7, nullptr));
    ASSERT_TRUE(workbook::SaveBook(book.get(), dir.File("sumifs.xls")));
    const std::string name = JsonName(std::string(workbook::SheetName(sheet)));
    const auto before = xls_test::SheetLines(xls_test::CellsOf(kCorpus + "sumifs.xls"), name);
    auto after = xls_test::SheetLines(xls_test::CellsOf(dir.File("sumifs.xls")), name);
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after.back().rfind("cell " + name + " " + std::to_string(start) + " 0 n 7.0 ", 0), 0u)
        << after.back();
    after.pop_back();
    EXPECT_EQ(after, before);
}

// A loaded book reads the streams and sheets it keeps from its file while
// the new file is written, so a save over that same file must finish
// reading before the file is replaced: the streams stay byte for byte, the
// sheets cell for cell. The file is released then, so the book cannot be
// saved a second time; and a file cut short under the book fails the save
// cleanly.
TEST(XlsPreservation, KeptContentIsReadFromTheLoadedFile) {
    const char* const files[] = {"45538_classic_Header.xls", "SimpleChart.xls", "sumifs.xls",
                                 "namesdemo.xls"};
    for (const char* file : files) {
        SCOPED_TRACE(file);
        TempDir dir;
        const std::string source = kCorpus + file;
        const std::string path = dir.File("book.xls");
        const std::string original = testing_support::ReadWholeFile(source);
        ASSERT_TRUE(testing_support::WriteWholeFile(path, original));
        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), path)) << workbook::ErrorMessage(book.get());
        workbook::Sheet* sheet = workbook::GetSheet(book.get(), 0);
        const int row = workbook::LastRow(sheet);
        ASSERT_TRUE(workbook::WriteNumber(sheet, row, 0, 7, nullptr));
        ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());

        EXPECT_EQ(WithoutWorkbookStream(xls_test::StreamsOf(path)),
                  WithoutWorkbookStream(xls_test::StreamsOf(source)));
        const std::string name = JsonName(std::string(workbook::SheetName(sheet)));
        auto expected = xls_test::CellsOf(source);
        const auto firstSheetEnd =
            std::find_if(expected.begin() + 1, expected.end(), [&](const std::string& line) {
                return line.rfind("sheet ", 0) == 0 && line != "sheet " + name;
            });
        const auto after = xls_test::CellsOf(path);
        ASSERT_EQ(after.size(), expected.size() + 1);
        const auto added = after.begin() + (firstSheetEnd - expected.begin());
        EXPECT_EQ(added->rfind("cell " + name + " " + std::to_string(row) + " 0 n 7.0 ", 0), 0u)
            << *added;
        expected.insert(firstSheetEnd, *added);
        EXPECT_EQ(after, expected);

        const std::string saved = testing_support::ReadWholeFile(path);
        EXPECT_FALSE(workbook::SaveBook(book.get(), path));
        EXPECT_EQ(workbook::LastStatus(book.get()), workbook::BookStatus::kCannotRead);
        EXPECT_NE(std::string(workbook::ErrorMessage(book.get())).find("load it again"),
                  std::string::npos)
            << workbook::ErrorMessage(book.get());
        EXPECT_EQ(testing_support::ReadWholeFile(path), saved);

        BookPtr cut = NewBook();
        ASSERT_TRUE(workbook::LoadBook(cut.get(), path)) << workbook::ErrorMessage(cut.get());
        ASSERT_TRUE(testing_support::WriteWholeFile(path, saved.substr(0, saved.size() / 2)));
        EXPECT_FALSE(workbook::SaveBook(cut.get(), dir.File("other.xls")));
        EXPECT_NE(std::string(workbook::ErrorMessage(cut.get())).find("cannot be read"),
                  std::string::npos)
            << workbook::ErrorMessage(cut.get());
        EXPECT_FALSE(std::filesystem::exists(dir.File("other.xls")));
    }
}

// Files that cannot be kept faithfully fail with a reason and leave the
// book empty. The damaged ones are made from a good file by changing a few
// bytes at places the writer's fixed layout pins down.
TEST(XlsLoad, RefusedAndDamagedFilesFailCleanly) {
    TempDir dir;
    const std::string good = dir.File("good.xls");
    ASSERT_TRUE(xls_test::SaveTextBook(good, {{"S", "only"}}));
    const std::string bytes = testing_support::ReadWholeFile(good);
    auto u32At = [&bytes](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 2])) << 16 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24;
    };
    auto put = [](std::string& data, std::size_t at, std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) {
            data[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
        }
    };
    const std::size_t fatAt = (u32At(76) + 1) * 512;        // first FAT sector
    const std::size_t directoryAt = (u32At(48) + 1) * 512;  // first directory sector
    const std::size_t streamAt = 512;  // the Workbook stream starts at sector 0
    const std::size_t sstAt = bytes.find(std::string("\xFC\x00", 2), streamAt);
    ASSERT_NE(sstAt, std::string::npos);

    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        const char* errorPart;
    };
    const std::vector<Case> cases = {
        {"not a compound file", [](std::string& d) { d = "id;name\n1;x\n"; },
         "Not a valid compound file"},
        {"cut in half", [](std::string& d) { d.resize(d.size() / 2); },
         "Not a valid compound file"},
        {"FAT chain loops", [&](std::string& d) { put(d, fatAt, 0, 4); }, "loops"},
        {"FAT points outside", [&](std::string& d) { put(d, fatAt, 0x00FFFFFF, 4); }, "outside"},
        {"directory tree cycles", [&](std::string& d) { put(d, directoryAt + 128 + 68, 1, 4); },
         "cyclic"},
        {"record longer than the stream", [&](std::string& d) { put(d, streamAt + 2, 0xFFF0, 2); },
         "runs past"},
        {"BIFF5", [&](std::string& d) { put(d, streamAt + 4, 0x0500, 2); }, "older than Excel 97"},
        {"encrypted", [&](std::string& d) { put(d, streamAt + 20, 0x002F, 2); }, "encrypted"},
        {"string count beyond the table", [&](std::string& d) { put(d, sstAt + 8, 0x7FFFFFFF, 4); },
         "more strings than it holds"},
        {"damaged corpus file",
         [](std::string& d) {
             d = testing_support::ReadWholeFile(kCorpus + "corrupted_error.xls");
         },
         "Cannot load"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string damaged = bytes;
        c.damage(damaged);
        ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("bad.xls"), damaged));
        BookPtr book = NewBook();
        ASSERT_NE(workbook::AddSheet(book.get(), "Before"), nullptr);
        EXPECT_FALSE(workbook::LoadBook(book.get(), dir.File("bad.xls")));
        EXPECT_NE(std::string(workbook::ErrorMessage(book.get())).find(c.errorPart),
                  std::string::npos)
            << workbook::ErrorMessage(book.get());
        EXPECT_EQ(workbook::SheetCount(book.get()), 0);
    }
    BookPtr book = NewBook();
    EXPECT_FALSE(workbook::LoadBook(book.get(), dir.File("absent.xls")));
    EXPECT_NE(std::string(workbook::ErrorMessage(book.get()))
                  .find(SystemFaultText(SystemFault::kNoSuchFile)),
              std::string::npos);
}

// A damaged file whose sheet "Two" has a DIMENSIONS record too short for
// its fields: rows appended below any sheet must give a file that loads again.
TEST(XlsPreservation, AppendingBelowADamagedSheetSavesAReadableFile) {
    const std::string source =
        std::string(QUENDLE_CORPUS_DIR) + "/regressions/append-below-unreadable.xls";
    for (const char* name : {"Two", "Long"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), source)) << workbook::ErrorMessage(book.get());
        workbook::Sheet* sheet = nullptr;
        for (int i = 0; i < workbook::SheetCount(book.get()); ++i) {
            if (workbook::SheetName(workbook::GetSheet(book.get(), i)) == name) {
                sheet = workbook::GetSheet(book.get(), i);
            }
        }
        ASSERT_NE(sheet, nullptr);
        const int before = workbook::LastRow(sheet);
        for (int row = before; row < before + 3; ++row) {
            ASSERT_TRUE(workbook::WriteText(sheet, row, 0, "added", nullptr));
            ASSERT_TRUE(workbook::WriteNumber(sheet, row, 1, row, nullptr));
        }
        const std::string saved = dir.File("saved.xls");
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());
        BookPtr again = NewBook();
        ASSERT_TRUE(workbook::LoadBook(again.get(), saved)) << workbook::ErrorMessage(again.get());
        bool found = false;
        for (int i = 0; i < workbook::SheetCount(again.get()); ++i) {
            const workbook::Sheet* s = workbook::GetSheet(again.get(), i);
            if (workbook::SheetName(s) == name) {
                found = true;
                EXPECT_EQ(workbook::LastRow(s), before + 3);
            }
        }
        EXPECT_TRUE(found);
    }
}

// Sheet entries that point at one block, into another sheet or past the
// stream's end are refused, whichever sheet comes first, and no sheet is
// read beyond the stream.
TEST(XlsLoad, MisplacedSheetsAreRefused) {
    TempDir dir;
    const std::string good = dir.File("two.xls");
    {
        BookPtr book = NewBook();
        for (const char* name : {"A", "B", "C"}) {
            workbook::Sheet* sheet = workbook::AddSheet(book.get(), name);
            ASSERT_NE(sheet, nullptr);
            for (int row = 0; row < 50; ++row) {
                ASSERT_TRUE(workbook::WriteNumber(sheet, row, 0, row, nullptr));
            }
        }
        ASSERT_TRUE(workbook::SaveBook(book.get(), good));
    }
    const std::string bytes = testing_support::ReadWholeFile(good);
    // The BOUNDSHEET records of the globals, which begin the Workbook stream
    // at sector 0 in the writer's layout.
    std::vector<std::size_t> positionsAt;
    for (std::size_t at = 512; at + 4 <= bytes.size() && positionsAt.size() < 3;) {
        const auto u16 = [&bytes](std::size_t i) {
            return static_cast<std::size_t>(static_cast<std::uint8_t>(bytes[i])) |
                   static_cast<std::size_t>(static_cast<std::uint8_t>(bytes[i + 1])) << 8;
        };
        if (u16(at) == 0x0085) {
            positionsAt.push_back(at + 4);
        }
        at += 4 + u16(at + 2);
    }
    ASSERT_EQ(positionsAt.size(), 3u);
    const auto u32At = [&bytes](std::size_t at) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) {
            value = value << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
        }
        return value;
    };
    const std::uint32_t a = u32At(positionsAt[0]);
    const std::uint32_t second = u32At(positionsAt[1]);
    const std::uint32_t third = u32At(positionsAt[2]);
    constexpr std::uint32_t kPastTheEnd = 0x7FFFFFF0;
    struct Case {
        const char* what;
        std::vector<std::uint32_t> positions;
        // The second sheet's EOF made another record, so that reading it
        // runs on to the stream's end.
        bool secondWithoutEof = false;
    };
    const Case cases[] = {
        {"all at one block", {a, a, a}},
        {"last two at one block", {a, third, third}},
        {"second inside the first", {a, a + 20, third}},
        {"first past the stream's end", {kPastTheEnd, second, third}},
        {"last past the stream's end, the one before it without an EOF",
         {a, second, kPastTheEnd},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string damaged = bytes;
        if (c.secondWithoutEof) {
            // The EOF record ends the sheet, just before the next one's BOF.
            const std::size_t eofAt = 512 + third - 4;
            ASSERT_EQ(damaged.substr(eofAt, 4), std::string("\x0A\x00\x00\x00", 4));
            damaged[eofAt] = 0x01;
            damaged[eofAt + 1] = 0x08;
        }
        for (std::size_t i = 0; i < 3; ++i) {
            for (int b = 0; b < 4; ++b) {
                damaged[positionsAt[i] + static_cast<std::size_t>(b)] =
                    static_cast<char>(c.positions[i] >> (8 * b));
            }
        }
        ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("bad.xls"), damaged));
        BookPtr book = NewBook();
        EXPECT_FALSE(workbook::LoadBook(book.get(), dir.File("bad.xls")));
        EXPECT_NE(std::string(workbook::ErrorMessage(book.get())).find("damaged"),
                  std::string::npos)
            << workbook::ErrorMessage(book.get());
        EXPECT_EQ(workbook::SheetCount(book.get()), 0);
    }
    BookPtr book = NewBook();
    EXPECT_TRUE(workbook::LoadBook(book.get(), good)) << workbook::ErrorMessage(book.get());
}

}  // namespace
