// SPDX-License-Identifier: MIT
// The cause that a failed call leaves on the book, the same for both
// formats, and the text made from it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "test_support.h"
#include "workbook/workbook.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteWholeFile;
using workbook::BookKind;
using workbook::BookStatus;

TEST(BookStatus, EveryStatusHasItsOwnSentence) {
    std::set<std::string> seen;
    for (int i = 0; i < workbook::kBookStatusCount; ++i) {
        const std::string text(workbook::StatusText(static_cast<BookStatus>(i)));
        SCOPED_TRACE(i);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '.');
        EXPECT_TRUE(seen.insert(text).second) << text;
    }
    EXPECT_EQ(workbook::StatusText(static_cast<BookStatus>(workbook::kBookStatusCount)),
              "Unknown error.");
}

// Each row fails one call on a fresh book of each kind; the book keeps the
// cause, and a following successful call clears it.
TEST(BookStatus, FailuresLeaveTheirCause) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("text.txt"), "just some text, not a workbook\n"));
    const std::string readOnly = dir.File("read-only");
    std::filesystem::create_directory(readOnly);
    std::filesystem::permissions(
        readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    // Root writes anywhere; the read-only row only means something otherwise.
    const bool folderRefuses = !std::ofstream(readOnly + "/probe").good();

    struct Case {
        const char* name;
        std::function<bool(workbook::Book*)> call;  // true when the call succeeded
        BookStatus status;
        const char* text;  // part of ErrorMessage
    };
    const std::string longText(32768, 'x');
    const auto withSheet = [](workbook::Book* book) { return workbook::AddSheet(book, "Data"); };
    const std::vector<Case> cases = {
        {"encoding", [](workbook::Book* b) { return workbook::SetLocale(b, "latin1"); },
         BookStatus::kUnsupportedEncoding, "Unsupported text encoding: latin1."},
        {"missing file",
         [&](workbook::Book* b) { return workbook::LoadBook(b, dir.File("none.xlsx")); },
         BookStatus::kFileMissing, "none.xlsx"},
        {"text file",
         [&](workbook::Book* b) { return workbook::LoadBook(b, dir.File("text.txt")); },
         BookStatus::kNotThisKind, "text.txt"},
        {"bad name", [](workbook::Book* b) { return workbook::AddSheet(b, "a[b") != nullptr; },
         BookStatus::kInvalidName, "a[b"},
        {"same name",
         [&](workbook::Book* b) {
             return withSheet(b) != nullptr && workbook::AddSheet(b, "DATA") != nullptr;
         },
         BookStatus::kDuplicateName, "already"},
        {"no such sheet", [](workbook::Book* b) { return workbook::DeleteSheet(b, 3); },
         BookStatus::kNoSuchSheet, "There is no sheet at that index."},
        {"row beyond the sheet",
         [&](workbook::Book* b) {
             return workbook::WriteNumber(withSheet(b), 2000000, 0, 1.0, nullptr);
         },
         BookStatus::kOutsideSheet, "Row 2000001"},
        {"text too long",
         [&](workbook::Book* b) {
             return workbook::WriteText(withSheet(b), 0, 0, longText, nullptr);
         },
         BookStatus::kCellTooLong, "32768"},
        {"out of order",
         [&](workbook::Book* b) {
             workbook::Sheet* sheet = withSheet(b);
             return workbook::WriteBool(sheet, 5, 0, true, nullptr) &&
                    workbook::WriteBool(sheet, 1, 0, true, nullptr);
         },
         BookStatus::kCellRefused, "row"},
        {"no sheets",
         [&](workbook::Book* b) { return workbook::SaveBook(b, dir.File("empty.out")); },
         BookStatus::kNoSheets, "at least one"},
        {"missing folder",
         [&](workbook::Book* b) {
             return withSheet(b) != nullptr &&
                    workbook::SaveBook(b, dir.File("no/such/folder/out.book"));
         },
         BookStatus::kCannotWrite, "out.book"},
        {"read-only folder",
         [&](workbook::Book* b) {
             return withSheet(b) != nullptr && workbook::SaveBook(b, readOnly + "/out.book");
         },
         BookStatus::kFolderReadOnly, "does not allow new files"},
    };
    for (const BookKind kind : {BookKind::kXls, BookKind::kXlsx}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (kind == BookKind::kXls ? ", .xls" : ", .xlsx"));
            if (c.status == BookStatus::kFolderReadOnly && !folderRefuses) {
                continue;
            }
            workbook::BookPtr book(workbook::CreateBook(kind));
            ASSERT_TRUE(book);
            EXPECT_FALSE(c.call(book.get()));
            EXPECT_EQ(workbook::LastStatus(book.get()), c.status);
            const std::string message = workbook::ErrorMessage(book.get());
            EXPECT_NE(message.find(c.text), std::string::npos) << message;
            EXPECT_EQ(message.back(), '.') << message;
            // The next call that works leaves no failure behind.
            EXPECT_TRUE(workbook::SetLocale(book.get(), "UTF-8"));
            EXPECT_EQ(workbook::LastStatus(book.get()), BookStatus::kOk);
            EXPECT_STREQ(workbook::ErrorMessage(book.get()), "");
        }
    }
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_all);
}

}  // namespace
