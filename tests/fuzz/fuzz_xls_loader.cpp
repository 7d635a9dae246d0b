// SPDX-License-Identifier: MIT
// Fuzzes the .xls loader with whole files. Whatever loads must also survive
// a sheet deletion, an added sheet, a save and a second load: a file we
// write and cannot read back is a writer bug, so that aborts too, as does a
// save the writer's own layout fails.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "workbook/workbook.h"

namespace {

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string base = "/tmp/fuzz_xls_" + std::to_string(getpid());
    const std::string input = base + "_in.xls";
    const std::string output = base + "_out.xls";
    if (!WriteFile(input, data, size)) {
        return 0;
    }
    workbook::BookPtr book(workbook::CreateBook(workbook::BookKind::kXls));
    if (workbook::LoadBook(book.get(), input)) {
        if (workbook::SheetCount(book.get()) > 1) {
            (void)workbook::DeleteSheet(book.get(), 0);
        }
        for (int i = 0; i < workbook::SheetCount(book.get()); ++i) {
            workbook::Sheet* sheet = workbook::GetSheet(book.get(), i);
            (void)workbook::WriteText(sheet, workbook::LastRow(sheet), 0, "fuzz", nullptr);
        }
        workbook::Sheet* added = workbook::AddSheet(book.get(), "fuzz added");
        if (added != nullptr) {
            (void)workbook::WriteNumber(added, 0, 0, 1.5, nullptr);
        }
        if (workbook::SaveBook(book.get(), output)) {
            workbook::BookPtr again(workbook::CreateBook(workbook::BookKind::kXls));
            if (!workbook::LoadBook(again.get(), output)) {
                std::fprintf(stderr, "saved file does not load: %s\n",
                             workbook::ErrorMessage(again.get()));
                std::abort();
            }
        } else if (std::strstr(workbook::ErrorMessage(book.get()), "layout failed") != nullptr) {
            // The writer gave other than it promised: a writer bug too.
            std::fprintf(stderr, "save failed: %s\n", workbook::ErrorMessage(book.get()));
            std::abort();
        }
        std::remove(output.c_str());
    }
    std::remove(input.c_str());
    return 0;
}
