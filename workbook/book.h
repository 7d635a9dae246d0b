// SPDX-License-Identifier: MIT
// The inside of the book and sheet handles: what every workbook format
// implements behind the free functions of workbook.h. The front functions
// check arguments and keep the error text; the formats do the work.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "workbook/workbook.h"

namespace workbook {

// What SetAutoFit, FreezeRows and SetAutoFilter asked of a sheet, and what
// the front functions measured of the cells written since. The formats turn
// it into their records when the sheet is saved.
struct SheetLayout {
    bool autoFit = false;
    int frozenRows = 0;   // rows kept in view; 0 for no frozen pane
    int filterRow = -1;   // the row of filter buttons; -1 for none
    int lastColumn = -1;  // the rightmost column written while measuring
    int lastRow = -1;     // the last row written while measuring
    // Per column from 0, the most characters a written value displays
    // (DisplayCharacters and friends); only while autoFit is on.
    std::vector<std::uint16_t> characters;

    bool measuring() const { return autoFit || filterRow >= 0; }
    void Note(int row, int column, int displayed);
};

struct Format {
    int index = 0;      // position in the book's format list, from 0
    int numFormat = 0;  // built-in number format id; 0 is General
};

class Sheet {
public:
    explicit Sheet(Book& owner) : owner_(&owner) {}
    virtual ~Sheet() = default;
    Sheet(const Sheet&) = delete;
    Sheet& operator=(const Sheet&) = delete;

    // The book that holds the sheet; failed writes leave their text there.
    Book& owner() const { return *owner_; }

    virtual std::string_view Name() const = 0;
    virtual int LastRow() const = 0;
    // The texts of row 0 as the sheet was loaded (see FirstRowTexts).
    virtual bool FirstRowTexts(std::vector<std::string>& texts) const = 0;
    // What the engine asked of the sheet's layout, and what was measured.
    SheetLayout& layout() { return layout_; }
    const SheetLayout& layout() const { return layout_; }

    // Cell writes; on failure they return false and fill `error`.
    virtual bool WriteText(int row, int column, std::string_view text, const Format* format,
                           std::string& error) = 0;
    virtual bool WriteNumber(int row, int column, double value, const Format* format,
                             std::string& error) = 0;
    virtual bool WriteBool(int row, int column, bool value, const Format* format,
                           std::string& error) = 0;

private:
    Book* owner_;
    SheetLayout layout_;
};

class Book {
public:
    explicit Book(BookKind kind) : kind_(kind) {}
    virtual ~Book() = default;
    Book(const Book&) = delete;
    Book& operator=(const Book&) = delete;

    BookKind kind() const { return kind_; }

    // Replaces the content with the file's; on failure leaves the book empty.
    virtual bool Load(const std::string& path, std::string& error) = 0;
    virtual int SheetCount() const = 0;
    virtual Sheet* GetSheet(int index) = 0;
    virtual bool DeleteSheet(int index, std::string& error) = 0;
    virtual Sheet* AddSheet(std::string_view name, std::string& error) = 0;
    // The front function has checked `index`.
    virtual Sheet* ReplaceSheet(int index, std::string_view name, std::string& error) = 0;
    virtual bool Save(const std::string& path, std::string& error) = 0;

    // Formats made by AddFormat, in order; their addresses never change.
    std::deque<Format>& formats() { return formats_; }
    const std::deque<Format>& formats() const { return formats_; }

    // True when the loaded workbook counts dates from 1904.
    bool date1904() const { return date1904_; }

    // The detail of the last failure and its cause. The formats set both
    // where they fail; the front functions clear them before each call.
    std::string& lastError() { return lastError_; }
    const std::string& lastError() const { return lastError_; }
    BookStatus& lastStatus() { return lastStatus_; }
    BookStatus lastStatus() const { return lastStatus_; }
    // The text ErrorMessage gives, made from the two above.
    std::string& message() const { return message_; }

protected:
    void set_date1904(bool value) { date1904_ = value; }
    // Loaders call this first, so that a failed load leaves no old formats.
    void ClearFormats() { formats_.clear(); }

private:
    BookKind kind_;
    std::deque<Format> formats_;
    bool date1904_ = false;
    std::string lastError_;
    BookStatus lastStatus_ = BookStatus::kOk;
    mutable std::string message_;
};

// The cause of a failure to open a file for reading, or to create or
// replace one, as the platform reports it.
BookStatus LoadStatusOf(platform::FileStatus status);
BookStatus SaveStatusOf(platform::FileStatus status);

// Made by each format's own module.
Book* NewXlsBook();
Book* NewXlsxBook();

}  // namespace workbook
