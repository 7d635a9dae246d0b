// SPDX-License-Identifier: MIT
// Writes 65,000 rows of ten cells to an .xls file, with the kinds of the
// benchmark CSV's columns (id, two amounts, city, description, two dates,
// flag, note, code), and prints the time taken and the peak memory. With
// "layout", the sheet also fits its column widths, freezes its first row
// and puts filter buttons on it, which measures every cell written.
//
// usage: xls_bench [OUTPUT.xls] [ROWS] [layout]
#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "workbook/workbook.h"

namespace {

// A small fixed generator, so every run writes the same cells.
class Random {
public:
    std::uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<std::uint32_t>(state_ >> 16);
    }
    int Below(int limit) { return static_cast<int>(Next() % static_cast<std::uint32_t>(limit)); }

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

constexpr std::array<const char*, 12> kCities = {"Praha",  "Brno", "Ostrava", "Plzen",
                                                 "Vienna", "Graz", "Berlin",  "Munich",
                                                 "Warsaw", "Lyon", "Milan",   "Porto"};
constexpr std::array<const char*, 16> kWords = {
    "alpha", "bravo", "steel", "paper", "glass", "copper", "grain",  "valve",
    "pump",  "motor", "bolt",  "screw", "panel", "frame",  "timber", "cable"};
constexpr std::array<const char*, 4> kNotes = {"urgent", "paid", "returned", "gift"};

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "xls_bench.xls";
    const int rows = argc > 2 ? std::atoi(argv[2]) : 65000;
    const bool layout = argc > 3 && std::string(argv[3]) == "layout";
    const auto start = std::chrono::steady_clock::now();

    workbook::BookPtr book(workbook::CreateBook(workbook::BookKind::kXls));
    workbook::Sheet* sheet = workbook::AddSheet(book.get(), "bench");
    workbook::Format* date = workbook::AddFormat(book.get());
    workbook::SetNumFormat(date, 14);
    Random random;
    std::string text;
    bool ok = sheet != nullptr;
    if (ok && layout) {
        workbook::SetAutoFit(sheet, true);
        workbook::FreezeRows(sheet, 1);
        workbook::SetAutoFilter(sheet, 0);
    }
    for (int row = 0; ok && row < rows; ++row) {
        ok = workbook::WriteNumber(sheet, row, 0, row + 1, nullptr) &&
             workbook::WriteNumber(sheet, row, 1, (random.Below(10050000) - 50000) / 100.0,
                                   nullptr) &&
             workbook::WriteNumber(sheet, row, 2, random.Below(500000) / 100.0, nullptr) &&
             workbook::WriteText(sheet, row, 3, kCities[random.Next() % kCities.size()], nullptr);
        text.clear();
        for (int word = 3 + random.Below(5); word > 0; --word) {
            text += kWords[random.Next() % kWords.size()];
            text += word == 1 ? "" : (word % 2 == 0 ? ", " : " and ");
        }
        text += ' ';
        text += std::to_string(random.Below(999) + 1);
        const double day =
            workbook::DatePack(book.get(), 1990 + random.Below(41), 1 + random.Below(12),
                               1 + random.Below(28), 0, 0, 0, 0);
        const double isoDay =
            workbook::DatePack(book.get(), 1990 + random.Below(41), 1 + random.Below(12),
                               1 + random.Below(28), 0, 0, 0, 0);
        ok = ok && workbook::WriteText(sheet, row, 4, text, nullptr) &&
             workbook::WriteNumber(sheet, row, 5, day, date) &&
             workbook::WriteNumber(sheet, row, 6, isoDay, date) &&
             workbook::WriteBool(sheet, row, 7, random.Below(2) == 0, nullptr) &&
             workbook::WriteText(sheet, row, 8,
                                 random.Below(10) >= 6 ? kNotes[random.Next() % kNotes.size()] : "",
                                 nullptr) &&
             workbook::WriteText(sheet, row, 9,
                                 std::to_string(100000 + random.Below(100000)).substr(1), nullptr);
    }
    ok = ok && workbook::SaveBook(book.get(), path);
    if (!ok) {
        std::fprintf(stderr, "xls_bench: %s\n", workbook::ErrorMessage(book.get()));
        return 1;
    }
    book.reset();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("rows %d, cells %d%s\n", rows, rows * 10,
                layout ? ", fitted widths, frozen title row, filter" : "");
    const auto cpu = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    // CPU time beside wall time: on a shared machine the wall time mostly
    // measures the other processes.
    std::printf("seconds %.3f (cpu: user %.3f, system %.3f)\n", seconds, cpu(usage.ru_utime),
                cpu(usage.ru_stime));
    std::printf("peak memory %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
