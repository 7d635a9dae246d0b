// SPDX-License-Identifier: MIT
// Shared by the .xls tests: reading a workbook back through the independent
// readers of tests/tools as lists of lines.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "workbook/workbook.h"

namespace xls_test {

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
