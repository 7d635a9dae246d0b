// SPDX-License-Identifier: MIT
// The first row of loaded sheets, in both formats, against what openpyxl and
// xlrd read from the same files (tests/tools/first_row.py).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "workbook/workbook.h"

namespace {

using testing_support::RunTool;
using testing_support::ShellQuote;

std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c == '\\'   ? std::string("\\\\")
               : c == '\t' ? std::string("\\t")
               : c == '\n' ? std::string("\\n")
                           : std::string(1, c);
    }
    return out;
}

// The reader script's line for each sheet, made from FirstRowTexts.
std::string OurLines(const std::string& path) {
    const bool xlsx = path.ends_with(".xlsx");
    workbook::BookPtr book(
        workbook::CreateBook(xlsx ? workbook::BookKind::kXlsx : workbook::BookKind::kXls));
    if (!book || !workbook::LoadBook(book.get(), path)) {
        return "cannot load";
    }
    std::string lines;
    for (int i = 0; i < workbook::SheetCount(book.get()); ++i) {
        const workbook::Sheet* sheet = workbook::GetSheet(book.get(), i);
        std::vector<std::string> texts;
        std::string line;
        if (!workbook::FirstRowTexts(sheet, texts)) {
            line = "!";
        } else {
            while (!texts.empty() && texts.back().empty()) {
                texts.pop_back();
            }
            for (std::size_t c = 0; c < texts.size(); ++c) {
                line += (c == 0 ? "" : "\t") + Escaped(texts[c]);
            }
        }
        lines += Escaped(workbook::SheetName(sheet)) + "\t" + line + "\n";
    }
    return lines;
}

TEST(FirstRowTexts, AgreesWithIndependentReaders) {
    // Shared, inline and rich strings, phonetic runs, gaps, numbers and
    // formulas in the first row, sheets with no first row, chart sheets.
    const char* files[] = {
        "xlsx/shared_strings01.xlsx",
        "xlsx/rich_string01.xlsx",
        "xlsx/simple02.xlsx",
        "xlsx/utf8_01.xlsx",
        "xlsx/types07.xlsx",
        "xlsx/escapes05.xlsx",
        "xlsx/chartsheet01.xlsx",
        "xlsx/merge_range03.xlsx",
        "xlsx/table02.xlsx",
        "xlsx/formula_results01.xlsx",
        "xls/SampleSS.xls",
        "xls/SimpleMultiCell.xls",
        "xls/duprich1.xls",
        "xls/profiles.xls",
        "xls/ragged.xls",
        "xls/45538_classic_Header.xls",
        "xls/namesdemo.xls",
        "xls/xf_class.xls",
    };
    for (const char* file : files) {
        SCOPED_TRACE(file);
        const std::string path = std::string(QUENDLE_CORPUS_DIR) + "/" + file;
        const testing_support::CommandResult read = RunTool("first_row.py", ShellQuote(path));
        ASSERT_EQ(read.exitCode, 0) << read.output;
        EXPECT_EQ(OurLines(path), read.output);
    }
}

}  // namespace
