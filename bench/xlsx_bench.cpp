// SPDX-License-Identifier: MIT
// Writes ROWS rows of ten typed cells to an .xlsx file and prints the time,
// the file size and the peak resident memory. The cells follow the columns
// of the benchmark CSV generator: an id, two decimals, a short and a long
// text, two dates, a Y/N flag, an often empty note and a zero-padded code.
// With a CSV file (from gen_csv.py) its fields are split and written with
// those kinds instead, so the figures include reading the input.
//
// With --layout the sheet also gets fitted column widths, a frozen title
// row and filter buttons, as /AUTOFIT, /FREEZEHEADER and /AUTOFILTER ask:
// the figures should stay those of the plain run.
//
// usage: xlsx_bench [--layout] [ROWS [OUTPUT [CSV]]]
#include <sys/resource.h>
#include <sys/stat.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/workbook.h"

namespace {

constexpr const char* kWords[] = {"alpha", "bravo",  "charlie", "delta",  "echo",  "foxtrot",
                                  "golf",  "hotel",  "india",   "juliet", "steel", "paper",
                                  "glass", "copper", "timber",  "cotton", "grain", "coffee"};
constexpr const char* kTowns[] = {"Ostrava", "Brno", "Praha", "Plzen", "Olomouc", "Liberec"};

struct Writer {
    workbook::Book* book;
    workbook::Sheet* sheet;
    workbook::Format* date;
    bool ok = true;

    void Text(int row, int column, std::string_view text) {
        ok = workbook::WriteText(sheet, row, column, text, nullptr) && ok;
    }
    void Number(int row, int column, double value) {
        ok = workbook::WriteNumber(sheet, row, column, value, nullptr) && ok;
    }
    void Date(int row, int column, int year, int month, int day) {
        const double serial = workbook::DatePack(book, year, month, day, 0, 0, 0, 0);
        ok = workbook::WriteNumber(sheet, row, column, serial, date) && ok;
    }
    void Bool(int row, int column, bool value) {
        ok = workbook::WriteBool(sheet, row, column, value, nullptr) && ok;
    }
};

// A small deterministic generator (xorshift), so every run writes the same cells.
struct Random {
    std::uint64_t state = 42;
    std::uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    int Below(int limit) { return static_cast<int>(Next() % static_cast<std::uint64_t>(limit)); }
};

void WriteSynthetic(Writer& out, int rows) {
    Random random;
    std::string text;
    char buffer[64];
    for (int row = 1; row <= rows; ++row) {
        out.Number(row, 0, row);
        out.Number(row, 1, random.Below(10000000) / 100.0 - 5000);
        out.Number(row, 2, random.Below(1000000) / 100.0);
        out.Text(row, 3, kTowns[random.Below(6)]);
        text.clear();
        const int words = 4 + random.Below(8);
        for (int i = 0; i < words; ++i) {
            text += kWords[random.Below(18)];
            text += i % 3 == 2 ? ", " : " ";
        }
        out.Text(row, 4, text);
        out.Date(row, 5, 1990 + random.Below(35), 1 + random.Below(12), 1 + random.Below(28));
        out.Date(row, 6, 1990 + random.Below(35), 1 + random.Below(12), 1 + random.Below(28));
        out.Bool(row, 7, random.Below(2) == 0);
        out.Text(row, 8, random.Below(10) < 6 ? "" : kWords[random.Below(18)]);
        std::snprintf(buffer, sizeof buffer, "%06d", random.Below(1000000));
        out.Text(row, 9, buffer);
    }
}

// Splits one CSV line (double quotes, doubled quotes inside) into fields.
// Unquoted fields point into the line; quoted ones are unescaped in place.
void SplitLine(char* line, std::size_t size, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t i = 0;
    for (;;) {
        if (i < size && line[i] == '"') {
            const std::size_t begin = ++i;
            std::size_t out = begin;
            while (i < size) {
                if (line[i] == '"') {
                    if (i + 1 < size && line[i + 1] == '"') {
                        line[out++] = '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                line[out++] = line[i++];
            }
            fields.emplace_back(line + begin, out - begin);
            while (i < size && line[i] != ',') {
                ++i;
            }
        } else {
            const std::size_t begin = i;
            while (i < size && line[i] != ',') {
                ++i;
            }
            fields.emplace_back(line + begin, i - begin);
        }
        if (i >= size) {
            return;
        }
        ++i;  // the comma
    }
}

int Digits(std::string_view text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

double Decimal(std::string_view text, std::string& scratch) {
    scratch.assign(text);
    for (char& ch : scratch) {
        ch = ch == ',' ? '.' : ch;
    }
    double value = 0;
    std::from_chars(scratch.data(), scratch.data() + scratch.size(), value);
    return value;
}

bool WriteFromCsv(Writer& out, const char* path, int rows) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), &std::fclose);
    if (file == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", path);
        return false;
    }
    std::vector<std::string_view> fields;
    std::vector<char> line(1 << 16);
    std::string scratch;
    int row = 0;
    while (row <= rows && std::fgets(line.data(), static_cast<int>(line.size()), file.get())) {
        std::size_t size = std::strlen(line.data());
        while (size > 0 && (line[size - 1] == '\n' || line[size - 1] == '\r')) {
            --size;
        }
        SplitLine(line.data(), size, fields);
        for (std::size_t c = 0; c < fields.size(); ++c) {
            const int column = static_cast<int>(c);
            const std::string_view field = fields[c];
            if (row == 0 || c == 3 || c == 4 || c == 8 || c == 9) {
                out.Text(row, column, field);
            } else if (c <= 2) {
                out.Number(row, column, Decimal(field, scratch));
            } else if (c == 5 && field.size() == 10) {  // DD.MM.YYYY
                out.Date(row, column, Digits(field.substr(6, 4)), Digits(field.substr(3, 2)),
                         Digits(field.substr(0, 2)));
            } else if (c == 6 && field.size() == 10) {  // YYYY-MM-DD
                out.Date(row, column, Digits(field.substr(0, 4)), Digits(field.substr(5, 2)),
                         Digits(field.substr(8, 2)));
            } else if (c == 7) {
                out.Bool(row, column, !field.empty());
            } else {
                out.Text(row, column, field);
            }
        }
        ++row;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool layout = argc > 1 && std::strcmp(argv[1], "--layout") == 0;
    if (layout) {
        --argc;
        ++argv;
    }
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const std::string output = argc > 2 ? argv[2] : "/tmp/quendle-xlsx-bench.xlsx";
    const char* csv = argc > 3 ? argv[3] : nullptr;

    const auto start = std::chrono::steady_clock::now();
    workbook::BookPtr book(workbook::CreateBook(workbook::BookKind::kXlsx));
    Writer out{book.get(), workbook::AddSheet(book.get(), "Data"), workbook::AddFormat(book.get())};
    workbook::SetNumFormat(out.date, 14);
    if (layout) {
        workbook::SetAutoFit(out.sheet, true);
        workbook::FreezeRows(out.sheet, 1);
        workbook::SetAutoFilter(out.sheet, 0);
    }
    if (csv != nullptr) {
        if (!WriteFromCsv(out, csv, rows)) {
            return 1;
        }
    } else {
        const char* headers[] = {"id",      "amount",   "amount_de", "name", "description",
                                 "date_de", "date_iso", "active",    "note", "code"};
        for (int c = 0; c < 10; ++c) {
            out.Text(0, c, headers[c]);
        }
        WriteSynthetic(out, rows);
    }
    if (!out.ok || !workbook::SaveBook(book.get(), output)) {
        std::fprintf(stderr, "failed: %s\n", workbook::ErrorMessage(book.get()));
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    struct stat info {};
    stat(output.c_str(), &info);
    std::printf("%srows %d  seconds %.3f  cpu %.3f  bytes %lld  peak %.1f MiB\n",
                layout ? "layout  " : "", rows, seconds,
                static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
                static_cast<long long>(info.st_size),
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
