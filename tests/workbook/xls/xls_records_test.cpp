// SPDX-License-Identifier: MIT
// The records of the .xls files we write, walked by tests/tools/xls_records.py
// apart from our own reader: the page setup of new sheets, INDEX and DBCELL
// offsets (new sheets and rows appended to loaded ones), merged strings,
// XFCRC, the XF limit on load, and the document summary's sheet list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"
#include "workbook/le_bytes.h"
#include "workbook/workbook.h"
#include "workbook/xls/biff_records.h"
#include "workbook/xls/compound_file.h"
#include "workbook/xls/property_set.h"
#include "workbook/xls/xls_text.h"
#include "xls_test_util.h"

namespace {

using testing_support::TempDir;
using workbook::BookPtr;
using xls_test::NewBook;

const std::string kCorpus = std::string(QUENDLE_CORPUS_DIR) + "/xls/";

// The walker's lines; fails the test when it cannot walk the file.
std::vector<std::string> RecordsOf(const std::string& path) {
    const auto result =
        testing_support::RunTool("xls_records.py", testing_support::ShellQuote(path));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return xls_test::Lines(result.output);
}

// Lines starting with `prefix`.
std::vector<std::string> Starting(const std::vector<std::string>& lines,
                                  const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) == 0) {
            out.push_back(line);
        }
    }
    return out;
}

// `utf8` as Python's json.dumps writes it: ASCII, other characters as
// \u escapes (UTF-16 units).
std::string JsonText(const std::string& utf8) {
    std::string out = "\"";
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const int extra = byte < 0x80 ? 0 : byte < 0xE0 ? 1 : byte < 0xF0 ? 2 : 3;
        std::uint32_t code = extra == 0 ? byte : byte & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            code = code << 6 |
                   (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3F);
        }
        i += static_cast<std::size_t>(extra) + 1;
        const auto unit = [&out](std::uint32_t u) {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(u));
            out += buffer;
        };
        if (code == '"' || code == '\\') {
            out += '\\';
            out += static_cast<char>(code);
        } else if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x10000) {
            unit(code);
        } else {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    }
    return out + "\"";
}

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

workbook::Sheet* SheetNamed(workbook::Book* book, const std::string& name) {
    for (int i = 0; i < workbook::SheetCount(book); ++i) {
        if (workbook::SheetName(workbook::GetSheet(book, i)) == name) {
            return workbook::GetSheet(book, i);
        }
    }
    return nullptr;
}

// The record types of a new worksheet outside its cell table, in order:
// the page setup (HEADER 0014, FOOTER 0015, HCENTER 0083, VCENTER 0084,
// SETUP 00a1) sits between WSBOOL and DEFCOLWIDTH.
TEST(XlsRecords, NewSheetsCarryThePageSetupInPlace) {
    const std::string order =
        "0809 020b 000d 000c 000f 0011 0010 005f 002a 002b 0082 0080 0225 0081 "
        "0014 0015 0083 0084 00a1 0055 0200 023e 000a";
    struct Case {
        const char* what;
        int rows;
    };
    const Case cases[] = {{"empty sheet", 0}, {"one row", 1}, {"several blocks", 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        BookPtr book = NewBook();
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "S");
        ASSERT_NE(sheet, nullptr);
        for (int row = 0; row < c.rows; ++row) {
            ASSERT_TRUE(workbook::WriteNumber(sheet, row, 0, row, nullptr));
        }
        const std::string path = dir.File("new.xls");
        ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
        EXPECT_EQ(Starting(RecordsOf(path), "order "),
                  std::vector<std::string>{"order \"S\" " + order});
        EXPECT_EQ(xls_test::CellsOf(path).size(), 2u + static_cast<std::size_t>(c.rows));
    }
}

// INDEX lists every DBCELL and DEFCOLWIDTH at their stream positions, and
// each DBCELL leads to its first ROW record and to each row's first cell;
// also when writing goes on after a save.
TEST(XlsRecords, NewSheetsIndexEveryRowBlock) {
    struct Case {
        const char* what;
        int rows;
        int columns;
        int savedAfter;  // rows written before a first save; -1: one save
    };
    const Case cases[] = {
        {"one row", 1, 1, -1},
        {"one block less a row", 31, 3, -1},
        {"one full block", 32, 2, -1},
        {"a block and a row", 33, 2, -1},
        {"many blocks of wide rows", 1000, 40, -1},
        {"every row of a sheet", 65536, 1, -1},
        {"saved inside a block, then written on", 70, 2, 40},
        {"saved at a block's end, then written on", 70, 2, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.File("blocks.xls");
        BookPtr book = NewBook();
        workbook::AddSheet(book.get(), "Before");
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Rows");
        ASSERT_NE(sheet, nullptr);
        for (int row = 0; row < c.rows; ++row) {
            if (row == c.savedAfter) {
                ASSERT_TRUE(workbook::SaveBook(book.get(), path));
            }
            for (int column = 0; column < c.columns; ++column) {
                const bool text = (row + column) % 2 == 0;
                ASSERT_TRUE(text ? workbook::WriteText(sheet, row, column,
                                                       "t" + std::to_string(row % 50), nullptr)
                                 : workbook::WriteNumber(sheet, row, column, row * 0.5, nullptr));
            }
        }
        ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
        const auto lines = RecordsOf(path);
        EXPECT_EQ(Starting(lines, "index \"Rows\""), std::vector<std::string>{"index \"Rows\" ok"});
        // The sheet's extent and each row's, exactly; an empty sheet's is all zero.
        EXPECT_EQ(Starting(lines, "dimensions "),
                  (std::vector<std::string>{"dimensions \"Before\" ok", "dimensions \"Rows\" ok"}));
        EXPECT_EQ(Starting(lines, "rows \"Rows\""), std::vector<std::string>{"rows \"Rows\" ok"});
        EXPECT_EQ(
            Starting(lines, "dbcells \"Rows\""),
            std::vector<std::string>{"dbcells \"Rows\" " + std::to_string((c.rows + 31) / 32)});
        const auto cells = xls_test::SheetLines(xls_test::CellsOf(path), "\"Rows\"");
        ASSERT_EQ(cells.size(), static_cast<std::size_t>(c.rows * c.columns));
        const int last = c.rows - 1;
        const int lastColumn = c.columns - 1;
        const std::string lastCell = (last + lastColumn) % 2 == 0
                                         ? "cell \"Rows\" " + std::to_string(last) + " " +
                                               std::to_string(lastColumn) + " s \"t" +
                                               std::to_string(last % 50) + "\" \"General\""
                                         : "cell \"Rows\" " + std::to_string(last) + " " +
                                               std::to_string(lastColumn) + " n " +
                                               (last % 2 == 0 ? std::to_string(last / 2) + ".0"
                                                              : std::to_string(last / 2) + ".5") +
                                               " \"General\"";
        EXPECT_EQ(cells.back(), lastCell);
        BookPtr again = NewBook();
        ASSERT_TRUE(workbook::LoadBook(again.get(), path)) << workbook::ErrorMessage(again.get());
        EXPECT_EQ(workbook::LastRow(SheetNamed(again.get(), "Rows")), c.rows);
    }
}

// Rows appended below a loaded sheet keep its INDEX, rewritten to list the
// old DBCELLs at their new positions and one for each new row block; the
// other sheets read as before.
TEST(XlsRecords, AppendedRowsKeepTheIndex) {
    struct Case {
        const char* file;
        const char* sheet;
        int rows;
    };
    const Case cases[] = {
        {"SampleSS.xls", "First Sheet", 3},
        {"SampleSS.xls", "Sheet3", 70},
        {"55906-MultiSheetRefs.xls", "Sheet2", 40},
        {"LookupFunctionsTestCaseData.xls", "VL-basic", 100},
        {"45538_classic_Header.xls", "Job Source", 33},
        {"issue20.xls", "Sheet1", 5},
        {"DateFormats.xls", "Sheet2", 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.sheet);
        TempDir dir;
        const std::string source = kCorpus + c.file;
        const auto recordsBefore = RecordsOf(source);
        const auto dbCellsBefore = Starting(recordsBefore, "dbcells " + Quoted(c.sheet));
        ASSERT_EQ(dbCellsBefore.size(), 1u);
        const int oldDbCells = std::stoi(dbCellsBefore[0].substr(dbCellsBefore[0].rfind(' ')));
        const auto cellsBefore = xls_test::CellsOf(source);

        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), source)) << workbook::ErrorMessage(book.get());
        workbook::Sheet* sheet = SheetNamed(book.get(), c.sheet);
        ASSERT_NE(sheet, nullptr);
        const int first = workbook::LastRow(sheet);
        for (int row = first; row < first + c.rows; ++row) {
            ASSERT_TRUE(workbook::WriteText(sheet, row, 0, "added", nullptr));
            ASSERT_TRUE(workbook::WriteNumber(sheet, row, 2, row, nullptr));
        }
        const std::string saved = dir.File("appended.xls");
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());

        const auto records = RecordsOf(saved);
        EXPECT_EQ(Starting(records, "index " + Quoted(c.sheet)),
                  std::vector<std::string>{"index " + Quoted(c.sheet) + " ok"});
        // The extent takes in the new rows; a loaded one may be wider.
        const auto dimensions = Starting(records, "dimensions " + Quoted(c.sheet));
        ASSERT_EQ(dimensions.size(), 1u);
        EXPECT_TRUE(dimensions[0] == "dimensions " + Quoted(c.sheet) + " ok" ||
                    dimensions[0] == "dimensions " + Quoted(c.sheet) + " covers")
            << dimensions[0];
        // The loaded strings and the new one, bucketed afresh.
        EXPECT_EQ(Starting(records, "extsst "), std::vector<std::string>{"extsst ok"});
        // One new block per group of 32 rows the new rows touch.
        const int newBlocks = (first + c.rows - 1) / 32 - first / 32 + 1;
        EXPECT_EQ(Starting(records, "dbcells " + Quoted(c.sheet)),
                  std::vector<std::string>{"dbcells " + Quoted(c.sheet) + " " +
                                           std::to_string(oldDbCells + newBlocks)});
        // Every other sheet's INDEX that was right stays right.
        for (const std::string& line : Starting(recordsBefore, "index ")) {
            if (line.rfind("index " + Quoted(c.sheet), 0) != 0 &&
                line.substr(line.size() - 3) == " ok") {
                EXPECT_NE(std::find(records.begin(), records.end(), line), records.end()) << line;
            }
        }
        const auto cells = xls_test::CellsOf(saved);
        for (const std::string& line : cellsBefore) {
            EXPECT_NE(std::find(cells.begin(), cells.end(), line), cells.end()) << line;
        }
        EXPECT_EQ(cells.size(), cellsBefore.size() + 2 * static_cast<std::size_t>(c.rows));
        BookPtr again = NewBook();
        ASSERT_TRUE(workbook::LoadBook(again.get(), saved)) << workbook::ErrorMessage(again.get());
        EXPECT_EQ(workbook::LastRow(SheetNamed(again.get(), c.sheet)), first + c.rows);
    }
}

// Texts written more than once share one string table entry, however far
// apart they recur, across sheets and across a save in between; texts that
// differ in any way, letter case and spaces included, never do.
TEST(XlsRecords, RepeatedTextsShareOneString) {
    constexpr std::size_t kColumns = 10;
    const std::string longText(300, 'x');
    const std::string cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8";
    const std::string emoji = "\xF0\x9F\x98\x80";
    struct Case {
        const char* what;
        // The k-th text goes to sheet k % sheets, as its (k / sheets)-th
        // cell, rows of kColumns cells.
        std::vector<std::string> texts;
        int sheets = 1;
        int savedAfter = -1;  // texts written before a first save; -1: one save
        int extra = 0;        // entries allowed beyond one per distinct text
    };
    const auto repeated = [](int count, int times, const std::string& prefix) {
        std::vector<std::string> texts;
        for (int round = 0; round < times; ++round) {
            for (int i = 0; i < count; ++i) {
                texts.push_back(prefix + std::to_string(i));
            }
        }
        return texts;
    };
    std::vector<std::string> ids;
    for (int i = 0; i < 20000; ++i) {
        ids.push_back("id" + std::to_string(i));
        ids.push_back("id" + std::to_string(i));
        ids.push_back("Y");
    }
    std::vector<std::string> mixed;
    for (int i = 0; i < 300; ++i) {
        mixed.push_back(i % 3 == 0 ? longText + std::to_string(i % 7)
                                   : "m" + std::to_string(i % 11));
        mixed.push_back(i % 2 == 0 ? cyrillic + std::to_string(i % 5) : emoji);
    }
    const std::vector<Case> cases = {
        {"two texts alternating", {"a", "b", "a", "b", "a"}},
        {"case and spaces differ", {"Praha", "praha", "Praha ", " Praha", "Praha"}},
        {"empty and non-Latin texts", {"", cyrillic, "", emoji, cyrillic}},
        {"long texts", {longText, longText + "y", longText}, 1, -1, 1},
        {"many texts, each repeated", ids},
        {"texts recurring far apart", repeated(60000, 2, "far")},
        // A multiple of 128 distinct texts: the EXTSST bucket size's edge.
        {"1,024 distinct texts", repeated(1024, 1, "b")},
        {"two sheets written by turns", repeated(3000, 4, "s"), 2},
        {"saved inside a row block, then written on", repeated(50, 4, "w"), 1, 75},
        {"saved between sheets' texts, then written on", repeated(700, 3, "v"), 3, 1000},
        // Texts too long to recur often are not merged: at most 100 here.
        {"long and short, Latin and not, interleaved", mixed, 2, 301, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.File("strings.xls");
        BookPtr book = NewBook();
        std::vector<workbook::Sheet*> sheets;
        for (int i = 0; i < c.sheets; ++i) {
            sheets.push_back(workbook::AddSheet(book.get(), "T" + std::to_string(i)));
        }
        for (std::size_t k = 0; k < c.texts.size(); ++k) {
            if (static_cast<int>(k) == c.savedAfter) {
                ASSERT_TRUE(workbook::SaveBook(book.get(), path))
                    << workbook::ErrorMessage(book.get());
            }
            const std::size_t cell = k / static_cast<std::size_t>(c.sheets);
            ASSERT_TRUE(
                workbook::WriteText(sheets[k % sheets.size()], static_cast<int>(cell / kColumns),
                                    static_cast<int>(cell % kColumns), c.texts[k], nullptr));
        }
        ASSERT_TRUE(workbook::SaveBook(book.get(), path)) << workbook::ErrorMessage(book.get());
        std::vector<std::string> distinct = c.texts;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        const auto records = RecordsOf(path);
        EXPECT_EQ(Starting(records, "extsst "), std::vector<std::string>{"extsst ok"});
        const auto sst = Starting(records, "sst ");
        ASSERT_EQ(sst.size(), 1u);
        const std::string total = "total=" + std::to_string(c.texts.size()) + " ";
        EXPECT_NE(sst[0].find(total), std::string::npos) << sst[0];
        EXPECT_NE(sst[0].find(" distinct=" + std::to_string(distinct.size()) + " "),
                  std::string::npos)
            << sst[0];
        EXPECT_NE(sst[0].find(" labels=" + std::to_string(c.texts.size())), std::string::npos)
            << sst[0];
        const std::size_t at = sst[0].find(" unique=");
        ASSERT_NE(at, std::string::npos);
        EXPECT_LE(std::stoul(sst[0].substr(at + 8)), distinct.size() + c.extra) << sst[0];
        // Each cell still reads as its own text.
        const auto lines = xls_test::CellsOf(path);
        for (int i = 0; i < c.sheets; ++i) {
            const std::string name = "\"T" + std::to_string(i) + "\"";
            const auto cells = xls_test::SheetLines(lines, name);
            std::size_t cell = 0;
            for (std::size_t k = static_cast<std::size_t>(i); k < c.texts.size();
                 k += static_cast<std::size_t>(c.sheets), ++cell) {
                ASSERT_LT(cell, cells.size());
                ASSERT_EQ(cells[cell], "cell " + name + " " + std::to_string(cell / kColumns) +
                                           " " + std::to_string(cell % kColumns) + " s " +
                                           JsonText(c.texts[k]) + " \"General\"");
            }
            EXPECT_EQ(cells.size(), cell);
        }
    }
}

// XFCRC guards Excel's XF extensions: a count and checksum that matched the
// XF records read are renewed for the XFs written, date formats included;
// one that was already stale stays so, and Excel goes on ignoring them.
// The string table's size is promised before the file is written, from the
// layout its entries were laid into as they came, and its records are
// written afterwards in one pass. For entries of every shape a loaded table
// may hold, the bytes written are the bytes promised and the records read
// back whole: one- and two-byte texts longer than a record, surrogate pairs
// at every offset of a record's edge, formatting runs and extension data
// that cross it, and texts added after the loaded ones.
TEST(XlsRecords, StringTableIsWrittenAsLaidOut) {
    namespace xls = workbook::xls;
    struct Loaded {
        std::u16string text;
        std::uint16_t runs = 0;
        std::uint32_t extension = 0;
    };
    // As the loader keeps it: count, flags, run count, extension size,
    // characters (one byte each when all fit), runs, extension.
    const auto entryOf = [](const Loaded& loaded) {
        const bool wide = std::any_of(loaded.text.begin(), loaded.text.end(),
                                      [](char16_t c) { return c > 0xFF; });
        xls::Bytes entry;
        const auto put = [&entry](std::uint32_t value, int bytes) {
            for (int i = 0; i < bytes; ++i) {
                entry.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
            }
        };
        put(static_cast<std::uint32_t>(loaded.text.size()), 2);
        put((wide ? 0x01u : 0u) | (loaded.runs > 0 ? 0x08u : 0u) |
                (loaded.extension > 0 ? 0x04u : 0u),
            1);
        if (loaded.runs > 0) {
            put(loaded.runs, 2);
        }
        if (loaded.extension > 0) {
            put(loaded.extension, 4);
        }
        for (char16_t c : loaded.text) {
            put(c, wide ? 2 : 1);
        }
        for (std::uint32_t i = 0; i < loaded.runs; ++i) {
            put(static_cast<std::uint32_t>(i % loaded.text.size()), 2);  // its first character
            put(0, 2);                                                   // its font
        }
        for (std::uint32_t i = 0; i < loaded.extension; ++i) {
            put(i, 1);
        }
        return entry;
    };
    const auto repeat = [](const std::u16string& unit, std::size_t times) {
        std::u16string text;
        for (std::size_t i = 0; i < times; ++i) {
            text += unit;
        }
        return text;
    };
    // Pairs whose count moves each pair's place across a record's edge.
    std::vector<Loaded> pairs;
    for (std::size_t count = 1; count <= 300; ++count) {
        pairs.push_back({u"x" + repeat(u"\U0001F600", count)});
    }
    // Long texts of many lengths: each record boundary they cross falls at
    // another place, so a layout one byte off anywhere adds up.
    std::vector<Loaded> longTexts;
    std::vector<std::string> longAdded;
    for (std::size_t i = 0; i < 40; ++i) {
        longTexts.push_back({repeat(i % 2 == 0 ? u"g" : u"\u0416", 9000 + 613 * i)});
        longAdded.push_back(std::string(9000 + 587 * i, static_cast<char>('A' + i % 26)));
    }
    // Long texts, each followed by many short ones, so that record edges
    // fall between and inside the short entries' headers at many places.
    std::vector<Loaded> interleaved;
    std::vector<std::string> interleavedAdded;
    for (std::size_t i = 0; i < 30; ++i) {
        interleaved.push_back({repeat(i % 3 == 0 ? u"\u0416" : u"h", 8300 + 37 * i)});
        interleavedAdded.push_back(std::string(8400 + 41 * i, 'H'));
        for (std::size_t k = 0; k < 300; ++k) {
            const std::size_t length = (i * 7 + k) % 9 + 1;
            interleaved.push_back(
                {repeat(u"s", length) + std::u16string(1, static_cast<char16_t>(u'0' + k % 10))});
            interleavedAdded.push_back(std::string(length, 'S') + std::to_string(i * 300 + k));
        }
    }
    struct Case {
        const char* what;
        std::vector<Loaded> loaded;
        std::vector<std::string> added;  // UTF-8, after the loaded entries
    };
    const std::vector<Case> cases = {
        {"no strings", {}, {}},
        {"one-byte texts longer than a record",
         {{repeat(u"a", 9000)}, {repeat(u"b", 20000)}, {u"c"}},
         {}},
        {"two-byte texts longer than a record",
         {{repeat(u"\u0416", 5000)}, {repeat(u"\u4E2D", 12000)}},
         {}},
        {"surrogate pairs at every place of a record's edge", pairs, {}},
        {"formatting runs crossing records",
         {{repeat(u"r", 100), 3000}, {repeat(u"\u0416", 3000), 2100}, {u"s", 1}},
         {}},
        {"extension data crossing records",
         {{u"e", 0, 20000}, {repeat(u"f", 8000), 7, 9000}, {u"", 0, 5}},
         {}},
        {"texts added after loaded ones",
         {{repeat(u"l", 8200)}, {u"short"}},
         {std::string(8300, 'n'), "\xD0\x96\xD0\x96", std::string(40, 'm'), ""}},
        {"texts added to an empty table", {}, {std::string(30000, 'z'), "\xF0\x9F\x98\x80"}},
        {"long texts of many lengths, loaded and added", longTexts, longAdded},
        {"long texts among many short ones, loaded and added", interleaved, interleavedAdded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        xls::BookModel book;
        book.globals = xls::NewBookGlobals();
        xls::SharedStrings& strings = book.strings;
        std::set<std::u16string> distinct;
        for (const Loaded& loaded : c.loaded) {
            const xls::Bytes entry = entryOf(loaded);
            (void)strings.spill.Append(entry);
            strings.layout.Add(entry);
            ++strings.count;
            distinct.insert(loaded.text);
        }
        xls::Bytes scratch;
        for (const std::string& text : c.added) {
            const bool ascii =
                std::all_of(text.begin(), text.end(), [](char ch) { return (ch & 0x80) == 0; });
            const std::u16string units = xls::Utf8ToUtf16(text);
            (void)(ascii ? xls::PutAsciiStringEntry(strings, text, scratch)
                         : xls::PutSharedStringEntry(strings, units, scratch));
            distinct.insert(units);
        }

        std::deque<xls::Bytes> buffers;
        xls::CompoundEntry root;
        root.isStorage = true;
        xls::CompoundEntry& stream = root.children.emplace_back();
        stream.name = u"Workbook";
        std::string error;
        ASSERT_TRUE(xls::BuildWorkbookStream(book, {}, {}, buffers, stream.pieces, error)) << error;
        for (const xls::StreamPiece& piece : stream.pieces) {
            if (piece.produce) {
                std::size_t given = 0;
                EXPECT_TRUE(piece.produce([&given](xls::ByteSpan bytes) {
                    given += bytes.size();
                    return true;
                }));
                EXPECT_EQ(given, piece.size);
            }
        }
        xls::Bytes file;
        ASSERT_TRUE(xls::WriteCompoundFile(root, [&file](xls::ByteSpan bytes) {
            file.insert(file.end(), bytes.begin(), bytes.end());
            return true;
        }));
        TempDir dir;
        const std::string path = dir.File("strings.xls");
        ASSERT_TRUE(testing_support::WriteWholeFile(
            path, std::string(reinterpret_cast<const char*>(file.data()), file.size())));
        const auto records = RecordsOf(path);
        const std::size_t count = c.loaded.size() + c.added.size();
        EXPECT_EQ(Starting(records, "sst "),
                  std::vector<std::string>{
                      "sst total=" + std::to_string(count) + " unique=" + std::to_string(count) +
                      " distinct=" + std::to_string(distinct.size()) + " labels=0"});
        EXPECT_EQ(Starting(records, "extsst "), std::vector<std::string>{"extsst ok"});
    }
}

// Sizes are counted in 64 bits on every platform. A Workbook stream past
// what BIFF8's 32-bit stream positions reach is refused, also when its size
// would wrap to a small number in 32 bits; so is a stream longer than a
// version 3 directory entry records, before a byte is written.
TEST(XlsLimits, StreamsPastFourGiBAreRefused) {
    namespace xls = workbook::xls;
    struct Case {
        const char* what;
        std::uint64_t tableBytes;  // the string table's size, as its layout says
        bool builds;
    };
    const Case cases[] = {
        {"3 GiB", std::uint64_t{3} << 30, true},
        {"4 GiB", std::uint64_t{4} << 30, false},
        {"8 GiB and 4 KiB, which is 4 KiB in 32 bits", (std::uint64_t{8} << 30) + 4096, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        xls::BookModel book;
        book.globals = xls::NewBookGlobals();
        book.strings.layout.size = c.tableBytes;
        xls::SheetModel sheet;
        sheet.name = u"S";
        sheet.nameUtf8 = "S";
        sheet.cells.Configure(true, {});
        std::deque<xls::Bytes> buffers;
        std::vector<xls::StreamPiece> pieces;
        std::string error;
        EXPECT_EQ(xls::BuildWorkbookStream(book, {&sheet}, {}, buffers, pieces, error), c.builds)
            << error;
        if (!c.builds) {
            EXPECT_NE(error.find("more than 4 GiB"), std::string::npos) << error;
        }
    }
    for (const std::uint64_t size : {std::uint64_t{1} << 32, (std::uint64_t{1} << 32) + 512}) {
        SCOPED_TRACE(size);
        xls::CompoundEntry root;
        root.isStorage = true;
        xls::CompoundEntry& stream = root.children.emplace_back();
        stream.name = u"Workbook";
        bool produced = false;
        stream.pieces.emplace_back(size, [&produced](const xls::ByteSink&) {
            produced = true;
            return false;
        });
        bool written = false;
        EXPECT_FALSE(xls::WriteCompoundFile(root, [&written](xls::ByteSpan) {
            written = true;
            return true;
        }));
        EXPECT_FALSE(produced);
        EXPECT_FALSE(written);
    }
}

TEST(XlsRecords, XfCrcFollowsTheFormatsAdded) {
    struct Case {
        const char* file;
        int formats;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"55906-MultiSheetRefs.xls", 1, {"xfs 63", "xfcrc count=63 crc=ok"}},
        {"SampleSS.xls", 2, {"xfs 66", "xfcrc count=66 crc=ok"}},
        {"sumifs.xls", 0, {"xfs 95", "xfcrc count=95 crc=ok"}},
        {"45538_classic_Header.xls", 1, {"xfs 238", "xfcrc count=238 crc=bad"}},
        {"DateFormats.xls", 1, {"xfs 29"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), kCorpus + c.file))
            << workbook::ErrorMessage(book.get());
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), "Dates");
        ASSERT_NE(sheet, nullptr);
        for (int i = 0; i < c.formats; ++i) {
            workbook::Format* format = workbook::AddFormat(book.get());
            workbook::SetNumFormat(format, 14 + i);
            ASSERT_TRUE(workbook::WriteNumber(sheet, 0, i, 45000 + i, format));
        }
        const std::string saved = dir.File("formats.xls");
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());
        const auto records = RecordsOf(saved);
        std::vector<std::string> facts = Starting(records, "xfs ");
        const auto crc = Starting(records, "xfcrc ");
        facts.insert(facts.end(), crc.begin(), crc.end());
        EXPECT_EQ(facts, c.expected);
        EXPECT_EQ(xls_test::SheetLines(xls_test::CellsOf(saved), "\"Dates\"").size(),
                  static_cast<std::size_t>(c.formats));
    }
}

// A file with more XF records than the format allows is refused with the
// limit named, however many there are (a 16-bit count would wrap).
TEST(XlsLoad, MoreXfsThanTheFormatHoldsAreRefused) {
    namespace xls = workbook::xls;
    TempDir dir;
    const std::string good = dir.File("good.xls");
    ASSERT_TRUE(xls_test::SaveTextBook(good, {{"S", "kept"}}));
    xls::CompoundEntry root;
    ASSERT_TRUE(xls_test::ReadCompound(good, &root));
    const xls::CompoundEntry* found = xls::FindChild(root, u"Workbook");
    ASSERT_NE(found, nullptr);
    const xls::Bytes stream = found->data;
    // The globals' XF records (all alike in size) and the sheet's position.
    std::size_t lastXfEnd = 0;
    std::size_t xfAt = 0;
    std::size_t positionAt = 0;
    int xfs = 0;
    for (std::size_t at = 0; at + 4 <= stream.size();) {
        std::uint16_t type = 0;
        std::uint16_t length = 0;
        ASSERT_TRUE(xls::GetU16(stream, at, type) && xls::GetU16(stream, at + 2, length));
        if (type == 0x00E0) {
            xfAt = at;
            lastXfEnd = at + 4 + length;
            ++xfs;
        } else if (type == 0x0085) {
            positionAt = at + 4;
        } else if (type == 0x000A) {
            break;
        }
        at += 4 + length;
    }
    ASSERT_GT(xfs, 16);
    const xls::ByteSpan xf = xls::ByteSpan(stream).subspan(xfAt, lastXfEnd - xfAt);
    struct Case {
        int total;
        bool loads;
    };
    const Case cases[] = {{4050, true}, {4051, false}, {65536 + 20, false}, {65536 + 16, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.total);
        xls::Bytes grown(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(lastXfEnd));
        for (int i = xfs; i < c.total; ++i) {
            xls::PutBytes(grown, xf);
        }
        const std::size_t added = grown.size() - lastXfEnd;
        grown.insert(grown.end(), stream.begin() + static_cast<std::ptrdiff_t>(lastXfEnd),
                     stream.end());
        // BOUNDSHEET follows the XFs, so it moved as well as the sheet.
        std::uint32_t position = 0;
        ASSERT_TRUE(xls::GetU32(grown, positionAt + added, position));
        xls::SetU32(grown, positionAt + added, static_cast<std::uint32_t>(position + added));
        xls::CompoundEntry out = root;
        for (xls::CompoundEntry& child : out.children) {
            if (xls::SameEntryName(child.name, u"Workbook")) {
                child.data = grown;
            }
        }
        const std::string path = dir.File("xfs.xls");
        ASSERT_TRUE(xls_test::WriteCompound(out, path));
        BookPtr book = NewBook();
        EXPECT_EQ(workbook::LoadBook(book.get(), path), c.loads)
            << workbook::ErrorMessage(book.get());
        if (c.loads) {
            EXPECT_EQ(xls_test::SheetLines(xls_test::CellsOf(path), "\"S\"").size(), 1u);
        } else {
            EXPECT_NE(
                std::string(workbook::ErrorMessage(book.get())).find("more than 4050 cell formats"),
                std::string::npos)
                << workbook::ErrorMessage(book.get());
            EXPECT_EQ(workbook::SheetCount(book.get()), 0);
        }
    }
}

// The document summary's sheet list (heading pairs, titles of parts) goes
// once the sheets differ from those loaded; the other properties stay.
TEST(XlsRecords, DocumentSummaryShowsNoStaleSheetList) {
    const std::vector<std::string> original = {
        "dsi sets 1 properties 1,b,c,d,f,10,13,16,17", "dsi heading \"Worksheets\" 3",
        "dsi part \"First Sheet\"", "dsi part \"Sheet Number 2\"", "dsi part \"Sheet3\""};
    const std::vector<std::string> dropped = {"dsi sets 1 properties 1,b,f,10,13,16,17"};
    struct Case {
        const char* what;
        const char* deleted;  // nullptr: none
        const char* added;    // nullptr: none
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"unchanged", nullptr, nullptr, original},
        {"a sheet deleted", "Sheet Number 2", nullptr, dropped},
        {"a sheet added", nullptr, "New", dropped},
        {"a sheet replaced by one of its name", "Sheet3", "Sheet3", original},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        BookPtr book = NewBook();
        ASSERT_TRUE(workbook::LoadBook(book.get(), kCorpus + "SampleSS.xls"))
            << workbook::ErrorMessage(book.get());
        if (c.deleted != nullptr) {
            for (int i = 0; i < workbook::SheetCount(book.get()); ++i) {
                if (workbook::SheetName(workbook::GetSheet(book.get(), i)) == c.deleted) {
                    ASSERT_TRUE(workbook::DeleteSheet(book.get(), i));
                }
            }
        }
        if (c.added != nullptr) {
            workbook::Sheet* sheet = workbook::AddSheet(book.get(), c.added);
            ASSERT_NE(sheet, nullptr);
            ASSERT_TRUE(workbook::WriteText(sheet, 0, 0, "x", nullptr));
        }
        const std::string saved = dir.File("summary.xls");
        ASSERT_TRUE(workbook::SaveBook(book.get(), saved)) << workbook::ErrorMessage(book.get());
        EXPECT_EQ(Starting(RecordsOf(saved), "dsi "), c.expected);
        // The container stays sound for an independent reader.
        EXPECT_FALSE(xls_test::StreamsOf(saved).empty());
    }
}

// The property set rewrite on its own: a stream with the user-defined set
// after the summary keeps that set byte for byte and every summary property
// but the sheet list; streams it cannot read stay as they are.
TEST(XlsRecords, SheetListPropertiesDropCleanly) {
    namespace xls = workbook::xls;
    const auto u32 = [](xls::Bytes& out, std::uint32_t value) { xls::PutU32(out, value); };
    const std::uint8_t summaryId[16] = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                        0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};
    const std::uint8_t userId[16] = {0x05, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                     0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};
    // Summary: code page, heading pairs, titles of parts, a 4-byte integer.
    xls::Bytes summary;
    u32(summary, 0);
    u32(summary, 4);
    const std::uint32_t ids[4] = {0x01, 0x0C, 0x0D, 0x0F};
    for (std::uint32_t i = 0; i < 4; ++i) {
        u32(summary, ids[i]);
        u32(summary, 40 + 8 * i);
    }
    const std::uint32_t values[4][2] = {
        {0x0002, 0x04E4}, {0x100C, 0xAAAA}, {0x101E, 0xBBBB}, {0x0003, 0x12345678}};
    for (const auto& value : values) {
        u32(summary, value[0]);
        u32(summary, value[1]);
    }
    xls::SetU32(summary, 0, static_cast<std::uint32_t>(summary.size()));
    xls::Bytes user;
    u32(user, 16);
    u32(user, 1);
    u32(user, 2);
    u32(user, 16);
    xls::Bytes userValue = {0x03, 0, 0, 0, 7, 0, 0, 0};
    xls::PutBytes(user, userValue);
    xls::SetU32(user, 0, static_cast<std::uint32_t>(user.size()));

    const auto stream = [&](int sets) {
        xls::Bytes out = {0xFE, 0xFF, 0, 0, 0x05, 0x01, 0x02, 0x00};
        out.resize(24, 0);
        u32(out, static_cast<std::uint32_t>(sets));
        const std::size_t tableEnd = 28 + 20 * static_cast<std::size_t>(sets);
        out.insert(out.end(), summaryId, summaryId + 16);
        u32(out, static_cast<std::uint32_t>(tableEnd));
        if (sets == 2) {
            out.insert(out.end(), userId, userId + 16);
            u32(out, static_cast<std::uint32_t>(tableEnd + summary.size()));
        }
        xls::PutBytes(out, summary);
        if (sets == 2) {
            xls::PutBytes(out, user);
        }
        return out;
    };
    // The expected summary: code page and the integer, values as they were.
    xls::Bytes kept;
    u32(kept, 40);
    u32(kept, 2);
    u32(kept, 0x01);
    u32(kept, 24);
    u32(kept, 0x0F);
    u32(kept, 32);
    for (int i : {0, 3}) {
        u32(kept, values[i][0]);
        u32(kept, values[i][1]);
    }
    struct Case {
        const char* what;
        xls::Bytes in;
        bool ok;
        xls::Bytes expected;  // when ok
    };
    std::vector<Case> cases;
    {
        xls::Bytes expected = stream(2);
        expected.resize(68);
        xls::SetU32(expected, 64, 68 + static_cast<std::uint32_t>(kept.size()));
        xls::PutBytes(expected, kept);
        xls::PutBytes(expected, user);
        expected.resize(stream(2).size(), 0);
        cases.push_back({"with the user-defined set", stream(2), true, expected});
    }
    {
        xls::Bytes expected = stream(1);
        expected.resize(48);
        xls::PutBytes(expected, kept);
        expected.resize(stream(1).size(), 0);
        cases.push_back({"summary alone", stream(1), true, expected});
    }
    xls::Bytes cut = stream(2);
    cut.resize(cut.size() - 4);
    cases.push_back({"user set cut off", cut, false, {}});
    xls::Bytes farSet = stream(1);
    xls::SetU32(farSet, 44, 0xFFFFFFF0u);
    cases.push_back({"set beyond the stream", farSet, false, {}});
    xls::Bytes manyProperties = stream(1);
    xls::SetU32(manyProperties, 52, 0x7FFFFFFF);
    cases.push_back({"more properties than the set holds", manyProperties, false, {}});
    xls::Bytes farValue = stream(1);
    xls::SetU32(farValue, 48 + 20, 0x10000);
    cases.push_back({"a value beyond the set", farValue, false, {}});
    xls::Bytes tinySet = stream(1);
    xls::SetU32(tinySet, 48, 4);
    cases.push_back({"a set smaller than its header", tinySet, false, {}});
    xls::Bytes other = stream(1);
    other[28] = 0x03;
    cases.push_back({"not a document summary", other, false, {}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        xls::Bytes bytes = c.in;
        EXPECT_EQ(xls::DropSheetListProperties(bytes), c.ok);
        EXPECT_EQ(bytes, c.ok ? c.expected : c.in);
    }
}

}  // namespace
