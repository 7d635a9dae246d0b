// SPDX-License-Identifier: MIT
// The sheet-name rule: one answer for both formats on case, length in UTF-16
// units, forbidden characters and the reserved name.
#include <gtest/gtest.h>

#include <string>

#include "workbook/workbook.h"

namespace {

const std::string kGrin = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units

TEST(SheetName, BothFormatsAcceptAndRefuseTheSameNames) {
    struct Case {
        std::string existing;  // a sheet the book already has
        std::string added;
        bool accepted;
    };
    const Case cases[] = {
        {"ОТЧЁТ", "отчёт", false},
        {"Ωμέγα", "ΩΜΈΓΑ", false},
        {"Łódź", "łÓDŹ", false},
        {"Ärger", "ärger", false},
        {"Ծրագիր", "ԾՐԱԳԻՐ", false},
        {"ＡＢＣ", "ａｂｃ", false},
        {"Data", "Daten", true},
        {"Ωμέγα", "Ωμέγα 2", true},
        {"x", "History", false},
        {"x", "HISTORY", false},
        {"x", "History1", true},
        {"x", std::string(29, 'n') + kGrin, true},  // 31 units
        {"x", std::string(30, 'n') + kGrin, false},
        {"x", "'quoted'", false},
        {"x", "a:b", false},
        {"x", "tab\there", false},
    };
    for (const auto kind : {workbook::BookKind::kXls, workbook::BookKind::kXlsx}) {
        for (const Case& c : cases) {
            SCOPED_TRACE((kind == workbook::BookKind::kXls ? ".xls: " : ".xlsx: ") + c.existing +
                         " then " + c.added);
            workbook::BookPtr book(workbook::CreateBook(kind));
            ASSERT_NE(workbook::AddSheet(book.get(), c.existing), nullptr);
            EXPECT_EQ(workbook::AddSheet(book.get(), c.added) != nullptr, c.accepted)
                << workbook::ErrorMessage(book.get());
            EXPECT_EQ(workbook::SheetNameProblem(c.added).empty() &&
                          !workbook::SameSheetName(c.existing, c.added),
                      c.accepted);
        }
    }
}

TEST(SheetName, MadeValidTheSameWayAndAcceptedByBothFormats) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string(30, 'n') + kGrin, std::string(30, 'n')},  // the pair is left out whole
        {std::string(29, 'n') + kGrin + "z", std::string(29, 'n') + kGrin},
        {std::string(40, 'x'), std::string(31, 'x')},
        {"History", "History_"},
        {"history", "history_"},
        {"a[1]:b", "a_1__b"},
        {"'x'", "_x_"},
        {"line\nbreak", "line_break"},
        {"", "Sheet1"},
    };
    for (const auto& [name, valid] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(workbook::MakeValidSheetName(name), valid);
        EXPECT_EQ(workbook::SheetNameProblem(valid), "");
        for (const auto kind : {workbook::BookKind::kXls, workbook::BookKind::kXlsx}) {
            workbook::BookPtr book(workbook::CreateBook(kind));
            EXPECT_NE(workbook::AddSheet(book.get(), valid), nullptr)
                << workbook::ErrorMessage(book.get());
        }
    }
}

}  // namespace
