// SPDX-License-Identifier: MIT
// Several threads call the library at once, each with its own input and
// workbook, as a program embedding it may. Built under ThreadSanitizer
// (the tsan preset) this finds state the conversions share by mistake;
// in every build the workbooks are read back by openpyxl and xlrd.
#include <gtest/gtest.h>

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

// One thread's work: three conversions into its own workbook.
void ConvertRounds(const TempDir& dir, int thread, bool xlsx, std::vector<int>& results) {
    const std::string name = "t" + std::to_string(thread);
    const std::string input = dir.File(name + ".csv");
    const std::string output = dir.File(name + (xlsx ? ".xlsx" : ".xls"));
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
        std::vector<std::string> texts = {"threads", input, output, "/ALLCHAR=0",
                                          "/OVERWRITETABLE=0"};
        std::vector<char*> elements;
        for (std::string& text : texts) {
            elements.push_back(text.data());
        }
        results.push_back(
            Quendle_Converter(0, static_cast<int32_t>(elements.size()), elements.data()));
    }
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

}  // namespace
