// SPDX-License-Identifier: MIT
// Helpers of the .xlsx tests: reading a produced workbook back through
// openpyxl (tests/tools/xlsx_cells.py) and checking a package with
// tests/tools/xlsx_compare.py.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
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

// What xmllint says against the spreadsheet schema about a part of the
// package; empty when it validates. Without xmllint or the schemas the
// check is skipped, with a note in the test's output.
inline std::string SchemaProblems(const std::string& path, const std::string& part) {
    const std::string schema = std::string(QUENDLE_OOXML_SCHEMAS) + "/sml.xsd";
    if (!std::filesystem::exists(schema) ||
        testing_support::RunCommand("xmllint --version").exitCode != 0) {
        std::printf("schema check skipped: no xmllint or no %s\n", schema.c_str());
        return {};
    }
    const auto result = testing_support::RunCommand(
        "unzip -p " + testing_support::ShellQuote(path) + " " + testing_support::ShellQuote(part) +
        " | xmllint --noout --stream --schema " + testing_support::ShellQuote(schema) + " -");
    return result.exitCode == 0 ? std::string() : result.output;
}

}  // namespace xlsx_test
