// SPDX-License-Identifier: MIT
// Fuzz target for the .xlsx loader: loads the input as a workbook and, when
// that works, does what a conversion does to it (last rows, a replaced
// sheet, an appended row, a save), so the part editors see hostile input too.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "workbook/workbook.h"

namespace {

// A folder for the saved copies, made once per process.
const std::string& OutputFolder() {
    static const std::string folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quendle-fuzz-XXXXXX").string();
        return mkdtemp(pattern.data()) != nullptr ? pattern : std::string(".");
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input lives in an anonymous in-memory file that the loader opens by path.
    const int fd = memfd_create("xlsx-input", 0);
    if (fd < 0) {
        return 0;
    }
    std::size_t written = 0;
    while (written < size) {
        const ssize_t got = write(fd, data + written, size - written);
        if (got <= 0) {
            close(fd);
            return 0;
        }
        written += static_cast<std::size_t>(got);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    workbook::BookPtr book(workbook::CreateBook(workbook::BookKind::kXlsx));
    if (book != nullptr && workbook::LoadBook(book.get(), path)) {
        const int count = workbook::SheetCount(book.get());
        for (int i = 0; i < count; ++i) {
            workbook::Sheet* sheet = workbook::GetSheet(book.get(), i);
            const int last = workbook::LastRow(sheet);
            (void)workbook::WriteText(sheet, last, 0, "appended", nullptr);
        }
        if (count > 1) {
            (void)workbook::DeleteSheet(book.get(), 0);
        }
        workbook::Format* date = workbook::AddFormat(book.get());
        workbook::SetNumFormat(date, 14);
        workbook::Sheet* added = workbook::AddSheet(book.get(), "Fuzz added");
        if (added != nullptr) {
            (void)workbook::WriteNumber(added, 0, 0, 45000, date);
        }
        (void)workbook::SaveBook(book.get(), OutputFolder() + "/out.xlsx");
    }
    book.reset();
    close(fd);
    return 0;
}
