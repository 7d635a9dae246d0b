// SPDX-License-Identifier: MIT
// Helpers of the .xlsx tests: reading a produced workbook back through
// openpyxl (tests/tools/xlsx_cells.py) and checking a package with
// tests/tools/xlsx_compare.py.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "workbook/workbook.h"

namespace xlsx_test {

// The cell listing that openpyxl reads from `path`, or the reader's complaint.
inline std::string CellsOf(const std::string& path) {
    const auto result =
        testing_support::RunTool("xlsx_cells.py", testing_support::ShellQuote(path));
    return result.exitCode == 0 ? result.output : "READER FAILED: " + result.output;
}

// The corpus file of that name.
inline std::string Corpus(const std::string& name) {
    return std::string(QUENDLE_CORPUS_DIR) + "/xlsx/" + name;
}

// True when `unzip -t` finds every entry intact.
inline bool ZipIsIntact(const std::string& path) {
    const auto result =
        testing_support::RunCommand("unzip -tqq " + testing_support::ShellQuote(path));
    return result.exitCode == 0;
}

// A part of the package, inflated by unzip.
inline std::string PartOf(const std::string& path, const std::string& part) {
    return testing_support::RunCommand("unzip -p " + testing_support::ShellQuote(path) + " " +
                                       testing_support::ShellQuote(part))
        .output;
}

}  // namespace xlsx_test
