// SPDX-License-Identifier: MIT
// Several threads call the library at once, each with its own input and
// workbook, or all into one workbook, as a program embedding it may, and
// every sheet a call reported converted must be there. Built under ThreadSanitizer
// (the tsan preset) this finds state the conversions share by mistake;
// in every build the workbooks are read back by openpyxl and xlrd.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "library/quendle_d.h"
#include "test_support.h"

namespace {

using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

constexpr int kThreads = 6;
constexpr int kRounds = 3;     // each appends below the rows of the one before
constexpr int kRowsEach = 40;  // rows per round

std::string RowText(int thread, int row) {
    return "r" + std::to_string(row) + "-t" + std::to_string(thread);
}

int RowNumber(int thread, int row) {
    return row * 7 + thread;
}

// One thread's work: three conversions of `input` into the sheet named
// after the thread in `output`.
void ConvertInto(const std::string& input, const std::string& output, int thread,
                 std::vector<int>& results) {
    for (int round = 0; round < kRounds; ++round) {
        std::string csv;
        for (int i = 0; i < kRowsEach; ++i) {
            const int row = round * kRowsEach + i;
            csv += RowText(thread, row) + "," + std::to_string(RowNumber(thread, row)) + "\n";
        }
        if (!WriteWholeFile(input, csv)) {
            results.push_back(-1);
            return;
        }
        std::vector<std::string> texts = {"threads",
                                          input,
                                          output,
                                          "/ALLCHAR=0",
                                          "/OVERWRITETABLE=0",
                                          "/TABLENAME=t" + std::to_string(thread)};
        std::vector<char*> elements;
        for (std::string& text : texts) {
            elements.push_back(text.data());
        }
        results.push_back(
            Quendle_Converter(0, static_cast<int32_t>(elements.size()), elements.data()));
    }
}

// Three conversions into the thread's own workbook.
void ConvertRounds(const TempDir& dir, int thread, bool xlsx, std::vector<int>& results) {
    const std::string name = "t" + std::to_string(thread);
    ConvertInto(dir.File(name + ".csv"), dir.File(name + (xlsx ? ".xlsx" : ".xls")), thread,
                results);
}

// What the reader script prints for thread `thread`'s finished workbook.
std::string ExpectedListing(int thread, bool xlsx) {
    const std::string sheet = "\"t" + std::to_string(thread) + "\"";
    std::string text =
        xlsx ? "date1904 false\nsheet " + sheet + "\n" : "date1904 0\nsheet " + sheet + "\n";
    for (int row = 0; row < kRounds * kRowsEach; ++row) {
        const std::string number = std::to_string(RowNumber(thread, row));
        const std::string at = std::to_string(row);
        if (xlsx) {
            text += at + " 0 s \"" + RowText(thread, row) + "\"\n" + at + " 1 n " + number + "\n";
        } else {
            text += "cell " + sheet + " " + at + " 0 s \"" + RowText(thread, row) +
                    "\" \"General\"\ncell " + sheet + " " + at + " 1 n " + number +
                    ".0 \"General\"\n";
        }
    }
    return text;
}

TEST(LibraryThreads, ConcurrentConversionsEachGetTheirOwnWorkbook) {
    TempDir dir;
    std::vector<std::vector<int>> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(ConvertRounds, std::cref(dir), t, t % 2 == 0, std::ref(results[t]));
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE("thread " + std::to_string(t));
        const bool xlsx = t % 2 == 0;
        EXPECT_EQ(results[t], std::vector<int>(kRounds, QUENDLE_D_OK));
        const std::string output = dir.File("t" + std::to_string(t) + (xlsx ? ".xlsx" : ".xls"));
        const auto listing =
            testing_support::RunTool(xlsx ? "xlsx_cells.py" : "xls_cells.py", ShellQuote(output));
        EXPECT_EQ(listing.exitCode, 0) << listing.output;
        EXPECT_EQ(listing.output, ExpectedListing(t, xlsx));
    }
}

TEST(LibraryThreads, ConversionsIntoOneWorkbookTakeTurnsAndAllLand) {
    for (const bool xlsx : {true, false}) {
        SCOPED_TRACE(xlsx ? "xlsx" : "xls");
        TempDir dir;
        // An existing .xls is one workbook for every call. An existing .xlsx
        // stands for its folder, as a folder named so does: inputs of one
        // name from several folders meet on one workbook in it.
        std::string output = dir.File("book.xls");
        if (xlsx) {
            std::filesystem::create_directory(dir.path() / "books.xlsx");
            output = dir.File("books.xlsx");
        } else {
            ASSERT_TRUE(WriteWholeFile(dir.File("base.csv"), "kept\n"));
            std::vector<std::string> texts = {"threads", dir.File("base.csv"), output};
            std::vector<char*> elements;
            for (std::string& text : texts) {
                elements.push_back(text.data());
            }
            ASSERT_EQ(Quendle_Converter(0, 3, elements.data()), QUENDLE_D_OK);
        }
        std::vector<std::vector<int>> results(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            const std::string folder = "in" + std::to_string(t);
            std::filesystem::create_directory(dir.path() / folder);
            threads.emplace_back(ConvertInto, dir.File(folder + "/data.csv"), output, t,
                                 std::ref(results[t]));
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        const std::string book = xlsx ? dir.File("books.xlsx/data.xlsx") : output;
        const auto listing =
            testing_support::RunTool(xlsx ? "xlsx_cells.py" : "xls_cells.py", ShellQuote(book));
        ASSERT_EQ(listing.exitCode, 0) << listing.output;
        for (int t = 0; t < kThreads; ++t) {
            SCOPED_TRACE("thread " + std::to_string(t));
            EXPECT_EQ(results[t], std::vector<int>(kRounds, QUENDLE_D_OK));
            std::string sheet = ExpectedListing(t, xlsx);
            sheet.erase(0, sheet.find("sheet "));
            EXPECT_NE(listing.output.find(sheet), std::string::npos) << listing.output;
        }
        if (!xlsx) {
            EXPECT_NE(listing.output.find("sheet \"base\"\n"), std::string::npos);
        }
    }
}

}  // namespace
