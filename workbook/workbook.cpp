// SPDX-License-Identifier: MIT
// The front functions of the workbook library: argument checks, then the
// format's own implementation; the cause and detail of a failure become
// the text people see here and nowhere else.
#include "workbook/workbook.h"

#include <array>
#include <new>

#include "workbook/book.h"
#include "workbook/column_widths.h"

namespace workbook {
namespace {

// In the order of BookStatus.
constexpr std::array<std::string_view, kBookStatusCount> kStatusTexts = {
    "No error.",
    "The file does not exist.",
    "The file cannot be read.",
    "The file is not a workbook of this kind.",
    "The workbook is damaged.",
    "The workbook uses a feature that cannot be kept.",
    "There is no sheet at that index.",
    "That name cannot be a sheet name.",
    "A sheet of that name already exists.",
    "The workbook holds the most sheets its format allows.",
    "A workbook needs at least one sheet.",
    "The cell lies beyond the sheet's last row or column.",
    "The text is longer than a cell holds.",
    "The cell cannot be written there.",
    "The workbook holds more than its format allows.",
    "The text encoding is not supported.",
    "The workbook cannot be written.",
    "The folder does not allow new files.",
    "Another program is using the file.",
    "Out of memory.",
};

// Starts a call: no failure yet.
void Begin(Book* book) {
    book->lastError().clear();
    book->lastStatus() = BookStatus::kOk;
}

// Ends a call. A failure always has a cause; `fallback` stands in when the
// format gave none.
bool Finish(Book* book, bool ok, BookStatus fallback) {
    if (ok) {
        book->lastStatus() = BookStatus::kOk;
        book->lastError().clear();
    } else if (book->lastStatus() == BookStatus::kOk) {
        book->lastStatus() = fallback;
    }
    return ok;
}

}  // namespace

std::string_view StatusText(BookStatus status) {
    const auto index = static_cast<std::size_t>(status);
    return index < kStatusTexts.size() ? kStatusTexts[index] : "Unknown error.";
}

BookStatus LoadStatusOf(platform::FileStatus status) {
    switch (status) {
        case platform::FileStatus::kOk:
            return BookStatus::kOk;
        case platform::FileStatus::kNotFound:
            return BookStatus::kFileMissing;
        case platform::FileStatus::kInUse:
            return BookStatus::kFileInUse;
        default:
            return BookStatus::kCannotRead;
    }
}

BookStatus SaveStatusOf(platform::FileStatus status) {
    switch (status) {
        case platform::FileStatus::kOk:
            return BookStatus::kOk;
        case platform::FileStatus::kFolderReadOnly:
            return BookStatus::kFolderReadOnly;
        case platform::FileStatus::kInUse:
            return BookStatus::kFileInUse;
        default:
            return BookStatus::kCannotWrite;
    }
}

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
    Begin(book);
    if (locale.empty() || locale == "UTF-8" || locale == "utf-8") {
        return true;
    }
    book->lastError() = "Unsupported text encoding: ";
    book->lastError().append(locale);
    return Finish(book, false, BookStatus::kUnsupportedEncoding);
}

bool LoadBook(Book* book, const std::string& path) {
    Begin(book);
    return Finish(book, book->Load(path, book->lastError()), BookStatus::kDamaged);
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
    Begin(book);
    if (index < 0 || index >= book->SheetCount()) {
        return Finish(book, false, BookStatus::kNoSuchSheet);
    }
    return Finish(book, book->DeleteSheet(index, book->lastError()), BookStatus::kNoSuchSheet);
}

Sheet* AddSheet(Book* book, std::string_view name) {
    Begin(book);
    Sheet* sheet = book->AddSheet(name, book->lastError());
    (void)Finish(book, sheet != nullptr, BookStatus::kInvalidName);
    return sheet;
}

Sheet* ReplaceSheet(Book* book, int index, std::string_view name) {
    Begin(book);
    if (index < 0 || index >= book->SheetCount()) {
        (void)Finish(book, false, BookStatus::kNoSuchSheet);
        return nullptr;
    }
    Sheet* sheet = book->ReplaceSheet(index, name, book->lastError());
    (void)Finish(book, sheet != nullptr, BookStatus::kInvalidName);
    return sheet;
}

int LastRow(const Sheet* sheet) {
    return sheet->LastRow();
}

bool FirstRowTexts(const Sheet* sheet, std::vector<std::string>& texts) {
    // A read that runs out of memory finds no titles; the caller goes on.
    try {
        return sheet->FirstRowTexts(texts);
    } catch (const std::bad_alloc&) {
        texts.clear();
        return false;
    }
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
    Book& book = sheet->owner();
    Begin(&book);
    const bool ok = sheet->WriteText(row, column, text, format, book.lastError());
    if (ok && sheet->layout().measuring()) {
        sheet->layout().Note(row, column, DisplayCharacters(text));
    }
    return Finish(&book, ok, BookStatus::kCellRefused);
}

bool WriteNumber(Sheet* sheet, int row, int column, double value, const Format* format) {
    Book& book = sheet->owner();
    Begin(&book);
    const bool ok = sheet->WriteNumber(row, column, value, format, book.lastError());
    if (ok && sheet->layout().measuring()) {
        const int numFormat = format != nullptr ? format->numFormat : 0;
        sheet->layout().Note(row, column, NumberDisplayCharacters(value, numFormat));
    }
    return Finish(&book, ok, BookStatus::kCellRefused);
}

bool WriteBool(Sheet* sheet, int row, int column, bool value, const Format* format) {
    Book& book = sheet->owner();
    Begin(&book);
    const bool ok = sheet->WriteBool(row, column, value, format, book.lastError());
    if (ok && sheet->layout().measuring()) {
        sheet->layout().Note(row, column, BoolDisplayCharacters(value));
    }
    return Finish(&book, ok, BookStatus::kCellRefused);
}

void SetAutoFit(Sheet* sheet, bool on) {
    sheet->layout().autoFit = on;
}

void FreezeRows(Sheet* sheet, int rows) {
    sheet->layout().frozenRows = rows > 0 ? rows : 0;
}

void SetAutoFilter(Sheet* sheet, int headerRow) {
    sheet->layout().filterRow = headerRow >= 0 ? headerRow : -1;
}

bool SaveBook(Book* book, const std::string& path) {
    Begin(book);
    return Finish(book, book->Save(path, book->lastError()), BookStatus::kCannotWrite);
}

BookStatus LastStatus(const Book* book) {
    return book->lastStatus();
}

const char* ErrorMessage(const Book* book) {
    std::string& message = book->message();
    message.clear();
    if (book->lastStatus() != BookStatus::kOk || !book->lastError().empty()) {
        message = book->lastError().empty() ? std::string(StatusText(book->lastStatus()))
                                            : book->lastError();
        // Details come from many places; the text people see ends as a sentence.
        if (message.back() != '.' && message.back() != '!' && message.back() != '?') {
            message += '.';
        }
    }
    return message.c_str();
}

}  // namespace workbook
