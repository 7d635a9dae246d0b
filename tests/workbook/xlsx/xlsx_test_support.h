// SPDX-License-Identifier: MIT
// Helpers of the .xlsx tests: reading a produced workbook back through
// openpyxl (tests/tools/xlsx_cells.py), checking a package with
// tests/tools/xlsx_compare.py and its parts against the schemas.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    // unzip takes the name as a wildcard pattern, in which "[" opens a set.
    std::string pattern;
    for (const char c : part) {
        pattern += c == '[' ? std::string("[[]") : std::string(1, c);
    }
    return testing_support::RunCommand("unzip -p " + testing_support::ShellQuote(path) + " " +
                                       testing_support::ShellQuote(pattern))
        .output;
}

// What tests/tools/xlsx_compare.py finds wrong in `saved`, a save of
// `original`, with its `flags`; empty when the saved file passes.
inline std::string CompareProblems(const std::string& original, const std::string& saved,
                                   const std::vector<std::string>& flags) {
    std::string arguments =
        testing_support::ShellQuote(original) + " " + testing_support::ShellQuote(saved);
    for (const auto& flag : flags) {
        arguments += " " + testing_support::ShellQuote(flag);
    }
    const auto result = testing_support::RunTool("xlsx_compare.py", arguments);
    return result.exitCode == 0 ? std::string() : "problems:\n" + result.output;
}

// What tests/tools/xlsx_schema_check.py says about the XML parts of the
// package at `path`, each checked with xmllint against the ECMA-376 schema
// for its content type (tests/data/ooxml-schemas); empty when all are valid.
// With `original`, the parts equal to the same parts of that file are passed
// over: a loaded book's copied parts are its writer's, not ours.
inline std::string SchemaProblems(const std::string& path, const std::string& original = {}) {
    std::string arguments = testing_support::ShellQuote(path);
    if (!original.empty()) {
        arguments += " --original " + testing_support::ShellQuote(original);
    }
    const auto result = testing_support::RunTool("xlsx_schema_check.py", arguments);
    return result.exitCode == 0 ? std::string() : "schema problems:\n" + result.output;
}

}  // namespace xlsx_test
