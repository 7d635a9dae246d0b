// SPDX-License-Identifier: MIT
// Shared by the .xls tests: new books, compound files read and written
// whole, and reading a workbook back through
// the independent readers of tests/tools as lists of lines.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "workbook/workbook.h"
#include "workbook/xls/compound_file.h"

namespace xls_test {

inline workbook::BookPtr NewBook() {
    return workbook::BookPtr(workbook::CreateBook(workbook::BookKind::kXls));
}

struct TextSheet {
    const char* name;
    const char* text;  // in A1
};

// The compound file at `path`, read into `root`.
inline testing::AssertionResult ReadCompound(const std::string& path,
                                             workbook::xls::CompoundEntry* root) {
    namespace xls = workbook::xls;
    const std::string file = testing_support::ReadWholeFile(path);
    std::string error;
    if (!xls::ReadCompoundFile(
            xls::ByteSpan(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()), *root,
            error)) {
        return testing::AssertionFailure() << error;
    }
    return testing::AssertionSuccess();
}

// `root` written as a compound file at `path`.
inline testing::AssertionResult WriteCompound(const workbook::xls::CompoundEntry& root,
                                              const std::string& path) {
    std::string bytes;
    if (!workbook::xls::WriteCompoundFile(root, [&bytes](workbook::xls::ByteSpan piece) {
            bytes.append(reinterpret_cast<const char*>(piece.data()), piece.size());
            return true;
        })) {
        return testing::AssertionFailure() << "the compound file was not written";
    }
    if (!testing_support::WriteWholeFile(path, bytes)) {
        return testing::AssertionFailure() << "cannot write " << path;
    }
    return testing::AssertionSuccess();
}

// Saves a new book of these sheets at `path`; false when any step fails.
inline bool SaveTextBook(const std::string& path, std::initializer_list<TextSheet> sheets) {
    workbook::BookPtr book = NewBook();
    for (const TextSheet& entry : sheets) {
        workbook::Sheet* sheet = workbook::AddSheet(book.get(), entry.name);
        if (sheet == nullptr || !workbook::WriteText(sheet, 0, 0, entry.text, nullptr)) {
            return false;
        }
    }
    return workbook::SaveBook(book.get(), path);
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The workbook as xlrd reads it (see tests/tools/xls_cells.py); fails the
// test when xlrd cannot read it.
inline std::vector<std::string> CellsOf(const std::string& path) {
    const auto result = testing_support::RunTool("xls_cells.py", testing_support::ShellQuote(path));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return Lines(result.output);
}

// The compound file's streams as olefile reads them; fails the test when
// olefile finds the container damaged.
inline std::vector<std::string> StreamsOf(const std::string& path) {
    const auto result =
        testing_support::RunTool("xls_container.py", testing_support::ShellQuote(path));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return Lines(result.output);
}

// Lines of one sheet ("cell" lines whose sheet is `name`, a JSON string).
inline std::vector<std::string> SheetLines(const std::vector<std::string>& lines,
                                           const std::string& jsonName) {
    std::vector<std::string> out;
    const std::string prefix = "cell " + jsonName + " ";
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) == 0) {
            out.push_back(line);
        }
    }
    return out;
}

}  // namespace xls_test
