// SPDX-License-Identifier: MIT
// The front functions of the workbook library: argument checks and the
// error text, then the format's own implementation.
#include "workbook/workbook.h"

#include "workbook/book.h"

namespace workbook {

Book* CreateBook(BookKind kind) {
    return kind == BookKind::kXlsx ? NewXlsxBook() : NewXlsBook();
}

void ReleaseBook(Book* book) {
    delete book;
}

BookKind KindOf(const Book* book) {
    return book->kind();
}

bool SetLocale(Book* book, std::string_view locale) {
    if (locale.empty() || locale == "UTF-8" || locale == "utf-8") {
        book->lastError().clear();
        return true;
    }
    book->lastError() = "Unsupported text encoding: ";
    book->lastError().append(locale);
    return false;
}

bool LoadBook(Book* book, const std::string& path) {
    book->lastError().clear();
    return book->Load(path, book->lastError());
}

int SheetCount(const Book* book) {
    return book->SheetCount();
}

Sheet* GetSheet(Book* book, int index) {
    if (index < 0 || index >= book->SheetCount()) {
        return nullptr;
    }
    return book->GetSheet(index);
}

std::string_view SheetName(const Sheet* sheet) {
    return sheet->Name();
}

bool DeleteSheet(Book* book, int index) {
    book->lastError().clear();
    if (index < 0 || index >= book->SheetCount()) {
        book->lastError() = "No sheet at that index.";
        return false;
    }
    return book->DeleteSheet(index, book->lastError());
}

Sheet* AddSheet(Book* book, std::string_view name) {
    book->lastError().clear();
    return book->AddSheet(name, book->lastError());
}

int LastRow(const Sheet* sheet) {
    return sheet->LastRow();
}

Format* AddFormat(Book* book) {
    auto& formats = book->formats();
    Format& format = formats.emplace_back();
    format.index = static_cast<int>(formats.size()) - 1;
    return &format;
}

void SetNumFormat(Format* format, int numFormat) {
    format->numFormat = numFormat;
}

bool WriteText(Sheet* sheet, int row, int column, std::string_view text, const Format* format) {
    return sheet->WriteText(row, column, text, format, sheet->owner().lastError());
}

bool WriteNumber(Sheet* sheet, int row, int column, double value, const Format* format) {
    return sheet->WriteNumber(row, column, value, format, sheet->owner().lastError());
}

bool WriteBool(Sheet* sheet, int row, int column, bool value, const Format* format) {
    return sheet->WriteBool(row, column, value, format, sheet->owner().lastError());
}

bool SaveBook(Book* book, const std::string& path) {
    book->lastError().clear();
    return book->Save(path, book->lastError());
}

const char* ErrorMessage(const Book* book) {
    return book->lastError().c_str();
}

}  // namespace workbook
