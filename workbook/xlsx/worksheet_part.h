// SPDX-License-Identifier: MIT
// Worksheet parts: the sheet handle, the row and cell elements streamed as
// the engine writes them, and the layout scan of a loaded worksheet that new
// rows are appended to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "workbook/book.h"
#include "workbook/xlsx/chunk_deflater.h"

namespace workbook::xlsx {

class ZipReader;
class ZipWriter;

enum class SheetKind {
    kWorksheet,
    kChartsheet,
    kOther,  // dialog or macro sheets: kept, never written to
};

// A <col> element of a loaded worksheet.
struct LoadedColumn {
    std::string tag;  // the raw start tag as a self-closing one; empty when unusable
    int min = 0;      // one-based, as in the file
    int max = 0;
    double width = 0;
    bool hasWidth = false;
};

// Where the parts of a loaded worksheet's XML sit, found by one scan.
struct WorksheetLayout {
    int nextRow = 0;                    // zero-based row after the last row element
    std::uint64_t sheetDataOffset = 0;  // start tag, or the whole <sheetData/> when empty
    std::uint64_t sheetDataLength = 0;
    std::uint64_t sheetDataEnd = 0;  // offset of </sheetData>
    bool sheetDataEmpty = false;
    bool sheetDataFound = false;
    std::string prefix;  // namespace prefix of sheetData
    std::uint64_t dimensionOffset = 0;
    std::string dimensionTag;  // raw tag, empty when there is none
    // The whole <cols> element and what it holds; colsLength 0 when there is none.
    std::uint64_t colsOffset = 0;
    std::uint64_t colsLength = 0;
    std::vector<LoadedColumn> columns;
};

class XlsxSheet : public Sheet {
public:
    XlsxSheet(Book& owner, std::string name, SheetKind kind)
        : Sheet(owner), name_(std::move(name)), kind_(kind) {}

    std::string_view Name() const override { return name_; }
    int LastRow() const override;
    bool FirstRowTexts(std::vector<std::string>& texts) const override;
    bool WriteText(int row, int column, std::string_view text, const Format* format,
                   std::string& error) override;
    bool WriteNumber(int row, int column, double value, const Format* format,
                     std::string& error) override;
    bool WriteBool(int row, int column, bool value, const Format* format,
                   std::string& error) override;

    SheetKind kind() const { return kind_; }
    // Marks the sheet as loaded from `archive` (which must outlive it).
    void SetLoaded(const ZipReader& archive, int entryIndex, std::string partName);
    bool loaded() const { return archive_ != nullptr; }
    // Cell style of a book format: formats follow the part's existing cell formats.
    void set_styleBase(int base) { styleBase_ = base; }

    // True when cells were written since the sheet was made or loaded.
    bool HasNewRows() const { return body_ != nullptr; }
    // Closes the open row and waits for the compressed rows; no writes
    // may join that row afterwards.
    [[nodiscard]] bool FinishRows(std::string& error);
    // Writes the sheet's whole part as the zip entry `entryName`.
    [[nodiscard]] bool WriteEntry(ZipWriter& zip, const std::string& entryName, bool selected,
                                  std::string& error);

private:
    bool Scan(std::string& error) const;
    bool ScanPart(std::string& error) const;
    bool WriteTextCell(int row, int column, std::string_view text, const Format* format,
                       std::string& error);
    bool WriteNumberCell(int row, int column, double value, const Format* format,
                         std::string& error);
    bool WriteBoolCell(int row, int column, bool value, const Format* format, std::string& error);
    // Checks a write and opens its row; the cell's start goes into `out`.
    bool BeginCell(int row, int column, const Format* format, std::string& error);
    bool EndCell(std::string& error);
    bool WriteNewEntry(ZipWriter& zip, const std::string& entryName, bool selected,
                       std::string& error);
    bool WriteAppendedEntry(ZipWriter& zip, const std::string& entryName, std::string& error);
    struct Edit;
    // The splices appending makes, ordered by offset: the dimension, the
    // fitted columns and the new rows at the end of sheetData.
    std::vector<Edit> AppendedEdits();
    std::string DimensionRef(int firstRow, int firstColumn) const;

    std::string name_;
    SheetKind kind_;
    int styleBase_ = 1;

    // Loaded sheets.
    const ZipReader* archive_ = nullptr;
    int entryIndex_ = -1;
    std::string partName_;
    mutable bool scanned_ = false;
    mutable std::string scanError_;
    mutable WorksheetLayout layout_;

    // Rows written in this session, compressed into a scratch file.
    platform::File scratch_;
    std::unique_ptr<FileSink> sink_;
    std::unique_ptr<ChunkDeflater> body_;
    std::string rowNumber_;  // the open row's number in digits
    int row_ = -1;           // the last row opened, -1 before the first
    int column_ = -1;        // the last column written in that row
    bool rowOpen_ = false;
    int firstRow_ = -1;
    int firstColumn_ = kXlsxColumnsForInit;
    int lastColumn_ = -1;
    static constexpr int kXlsxColumnsForInit = 1 << 30;
};

// The <cols> element of a new sheet whose columns displayed `characters`
// (SheetLayout::characters); empty when every column keeps the default width.
std::string FittedColsElement(const std::vector<std::uint16_t>& characters);

// The <cols> element of a loaded sheet whose `loaded` columns are widened
// where new rows need it: each column gets the wider of its width and the
// fitted one, ranges split where that differs, their other attributes kept;
// columns it did not list get new elements. False when nothing widens, or
// when the loaded ranges overlap (they are then left as they are).
[[nodiscard]] bool MergedColsElement(std::vector<LoadedColumn> loaded,
                                     const std::vector<std::uint16_t>& characters,
                                     std::string& cols);

// The <pane> and <selection> of a sheet view with its first `rows` rows frozen.
std::string FrozenPaneContent(int rows);

// The range of the filter buttons the layout asks for ("A1:D100", or with
// `absolute` "$A$1:$D$100"); empty when it asks for none or nothing was written.
std::string FilterRange(const SheetLayout& layout, bool absolute);

// The formula of the sheet's hidden filter-range name ('Sheet''s name'!$A$1:$D$100),
// or empty when the sheet has no filter.
std::string FilterDatabaseFormula(std::string_view sheetName, const SheetLayout& layout);

// The column's letters ("A", "XFD") for a zero-based column.
std::string ColumnLetters(int column);

// Writes a small part, deflated, as one zip entry.
[[nodiscard]] bool WriteTextEntry(ZipWriter& zip, const std::string& name, std::string_view text,
                                  std::string& error);

}  // namespace workbook::xlsx
