// SPDX-License-Identifier: MIT
// Workbook library: creates, loads and saves .xls (BIFF8) and .xlsx workbooks
// through opaque handles. Nothing here throws; failures come back as results,
// and the book keeps the last one's cause (a BookStatus) and detail, which
// ErrorMessage turns into the text shown to people.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace workbook {

enum class BookKind {
    kXls,   // Excel 97-2003 binary workbook in a compound file
    kXlsx,  // Office Open XML workbook in a zip package
};

// Why the last call on a book failed. The formats report the cause with a
// detail; the text is made once, by ErrorMessage.
enum class BookStatus {
    kOk,
    kFileMissing,          // the file to load does not exist
    kCannotRead,           // the file cannot be opened or read
    kNotThisKind,          // not a workbook of the book's kind
    kDamaged,              // a workbook of that kind, but damaged
    kUnsupported,          // a workbook that cannot be kept faithfully
    kNoSuchSheet,          // no sheet at that index
    kInvalidName,          // a name no sheet may have
    kDuplicateName,        // a sheet of that name exists
    kTooManySheets,        // the book holds the most sheets its format allows
    kNoSheets,             // a workbook needs at least one sheet
    kOutsideSheet,         // a row or column beyond the sheet's limits
    kCellTooLong,          // a text longer than a cell holds
    kCellRefused,          // a write out of order, to a chart sheet, or with a stray format
    kTooLarge,             // more than the format holds (formats, file size)
    kUnsupportedEncoding,  // a text encoding other than UTF-8
    kCannotWrite,          // the workbook file could not be written
    kFolderReadOnly,       // the folder takes no new files
    kFileInUse,            // another program holds the file
    kOutOfMemory,
};
inline constexpr int kBookStatusCount = static_cast<int>(BookStatus::kOutOfMemory) + 1;

// One short sentence per status, alike for both formats; ErrorMessage falls
// back on it when a failure has no detail.
std::string_view StatusText(BookStatus status);

class Book;
class Sheet;
struct Format;

// Creates an empty book of the given kind; null only when memory runs out.
// The caller owns it and frees it with ReleaseBook.
[[nodiscard]] Book* CreateBook(BookKind kind);

// Frees the book, its sheets, formats and any temporary files. Null is allowed.
void ReleaseBook(Book* book);

struct BookDeleter {
    void operator()(Book* book) const { ReleaseBook(book); }
};
using BookPtr = std::unique_ptr<Book, BookDeleter>;

BookKind KindOf(const Book* book);

// Chooses how texts passed in are encoded. "" and "UTF-8" both mean UTF-8,
// the engine's text encoding; other names are refused (false).
bool SetLocale(Book* book, std::string_view locale);

// Replaces the book's content with the workbook at `path`. On failure (file
// missing or unreadable, not a workbook of the book's kind, a format that
// cannot be kept faithfully, damaged) the book is left empty and
// ErrorMessage says why; nothing is half-loaded.
[[nodiscard]] bool LoadBook(Book* book, const std::string& path);

int SheetCount(const Book* book);

// The sheet at `index` (0-based), or null when out of range. The handle stays
// valid until that sheet is deleted or the book is released.
Sheet* GetSheet(Book* book, int index);

// The sheet's name in UTF-8.
std::string_view SheetName(const Sheet* sheet);

// The sheet-name rule of both formats. Names are the same to a spreadsheet
// when they are equal after folding letter case, in any script (ASCII,
// Latin, Greek, Cyrillic, Armenian, full-width letters): "ОТЧЁТ" and
// "отчёт" are one name.
bool SameSheetName(std::string_view a, std::string_view b);

// One code point folded to lower case as SameSheetName compares it.
char32_t FoldSheetNameCase(char32_t cp);

// A name's length in UTF-16 units, as both formats count it (at most 31).
std::size_t SheetNameUnits(std::string_view name);

// Why `name` cannot be a sheet name, or empty when it can: empty, not UTF-8,
// more than 31 UTF-16 units, any of : \ / ? * [ ] or a control character,
// an apostrophe at either end, or the reserved name History in any case.
std::string SheetNameProblem(std::string_view name);

// `name` made valid by the same rule: forbidden characters and apostrophes
// at either end become "_", it is cut to 31 UTF-16 units before a character
// that does not fit whole, History gets a "_", and an empty name is Sheet1.
std::string MakeValidSheetName(std::string_view name);

// Removes the sheet at `index` with everything that belongs to it.
[[nodiscard]] bool DeleteSheet(Book* book, int index);

// Appends a new empty sheet after the last one. Null on failure (invalid or
// duplicate name, too many sheets); ErrorMessage says why.
Sheet* AddSheet(Book* book, std::string_view name);

// Puts a new empty, visible sheet named `name` in the place of the sheet at
// `index`, which goes with everything that belongs to it; the handle of that
// sheet is no longer valid. The tab order and the active tab stay; names
// local to the old sheet, and other sheets' references to it, refer to the
// new one when it takes the old one's name (letter case aside). Null on
// failure (no such sheet, invalid name, another sheet of that name);
// ErrorMessage says why. In both formats, when the active tab would show a
// hidden sheet on saving, the first visible sheet is shown instead.
Sheet* ReplaceSheet(Book* book, int index, std::string_view name);

// The zero-based row after the last used row: 0 for an empty sheet.
int LastRow(const Sheet* sheet);

// The texts of row 0 of a sheet as its file holds them, by column from
// column 0 to the row's last cell; a column without a cell, or with an
// empty text, gives "". Empty for a sheet that was not loaded from a file,
// for a chart sheet, and when row 0 is empty; cells written since the load
// do not count. False when row
// 0 holds a cell other than a text (a number, a boolean, an error, a
// formula) or cannot be read: then it holds no line of titles.
[[nodiscard]] bool FirstRowTexts(const Sheet* sheet, std::vector<std::string>& texts);

// A new cell format owned by the book; null only when memory runs out.
Format* AddFormat(Book* book);

// Gives the format a built-in number format (14 is the short date).
void SetNumFormat(Format* format, int numFormat);

// The serial date number of a calendar day and time in the book's date
// system, in *serial: the 1900 system, or the 1904 system when the loaded
// workbook uses it. The 1900 system counts a 29 February 1900 that never
// happened. False (and *serial untouched) for days or times that do not
// exist (month 13, 31 April, 24:00, years before 1900 or after 9999) and for
// days before the system's first day; the first day of the 1904 system is
// serial 0, a date like any other. `book` may be null: the 1900 system is
// used then.
[[nodiscard]] bool DateSerial(const Book* book, int year, int month, int day, int hour, int minute,
                              int second, int millisecond, double* serial);

// DateSerial for days the caller knows exist, 0 for those that do not.
inline double DatePack(const Book* book, int year, int month, int day, int hour, int minute,
                       int second, int millisecond) {
    double serial = 0.0;
    return DateSerial(book, year, month, day, hour, minute, second, millisecond, &serial) ? serial
                                                                                          : 0.0;
}

// Cell writes. Rows and columns are zero-based; within a sheet the engine
// writes rows in increasing order and, within a row, columns in increasing
// order. `format` may be null (the default format). A write outside the
// sheet's limits, or a text longer than a cell holds, fails with false and
// ErrorMessage says which limit; nothing is dropped silently.
[[nodiscard]] bool WriteText(Sheet* sheet, int row, int column, std::string_view text,
                             const Format* format);
[[nodiscard]] bool WriteNumber(Sheet* sheet, int row, int column, double value,
                               const Format* format);
[[nodiscard]] bool WriteBool(Sheet* sheet, int row, int column, bool value, const Format* format);

// How a sheet the engine writes is laid out beyond its cells. A new sheet,
// and a loaded one, keeps the layout it has until one of these is called;
// each takes effect in the file when the book is saved. Call them before
// the sheet's first write.

// Fits column widths to the cells written from now on. On saving, every
// column written to that needs more than the default width gets the width
// that shows its longest value as the cell displays it (FittedColumnWidth),
// at most kMaxFittedColumnWidth. A column a loaded sheet already has wider
// keeps its width: appending widens, never narrows.
void SetAutoFit(Sheet* sheet, bool on);

// Keeps the sheet's first `rows` rows in view when it scrolls: a frozen pane
// below them. 0 leaves the sheet's panes as they are. Only a sheet made by
// AddSheet or ReplaceSheet takes it; a sheet loaded from a file keeps its own.
void FreezeRows(Sheet* sheet, int rows);

// Puts filter buttons on row `headerRow` over the range the run writes: the
// columns from 0 to the rightmost one written, the rows from `headerRow` to
// the last one written. The sheet's hidden filter-range name comes with it.
// -1 leaves the sheet's filter as it is. Only a sheet made by AddSheet or
// ReplaceSheet takes it; a sheet loaded from a file keeps its own.
void SetAutoFilter(Sheet* sheet, int headerRow);

// Writes the whole book to `path`: into a temporary file in the same folder
// that is renamed over `path` only when complete, so a failed save leaves an
// existing file untouched. False on failure; ErrorMessage says why. A loaded
// .xls book reads what it keeps of its file while it is saved, and closes
// the file before the rename (which may replace it): it is saved once, and
// a second save fails, asking for the workbook to be loaded again.
[[nodiscard]] bool SaveBook(Book* book, const std::string& path);

// The cause of the last failure, kOk when the last call succeeded.
BookStatus LastStatus(const Book* book);

// The text of the last failure, empty when there was none: the format's
// detail, or StatusText when there is none, as one or more sentences. The
// text stays valid until the next call on the book.
const char* ErrorMessage(const Book* book);

}  // namespace workbook
