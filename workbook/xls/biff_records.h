// SPDX-License-Identifier: MIT
// BIFF8 record types and the record writer: one function per record type,
// one writer that owns the four-byte header, the 8224-byte body limit and the
// CONTINUE records that carry longer bodies.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/book.h"
#include "workbook/le_bytes.h"
#include "workbook/xls/compound_file.h"
#include "workbook/xls/xls_model.h"

namespace workbook::xls {

inline constexpr std::uint16_t kRecordFormula = 0x0006;
inline constexpr std::uint16_t kRecordEof = 0x000A;
inline constexpr std::uint16_t kRecordExternSheet = 0x0017;
inline constexpr std::uint16_t kRecordName = 0x0018;
inline constexpr std::uint16_t kRecordDateMode = 0x0022;
inline constexpr std::uint16_t kRecordFilePass = 0x002F;
inline constexpr std::uint16_t kRecordContinue = 0x003C;
inline constexpr std::uint16_t kRecordWindow1 = 0x003D;
inline constexpr std::uint16_t kRecordCodePage = 0x0042;
inline constexpr std::uint16_t kRecordDefColWidth = 0x0055;
inline constexpr std::uint16_t kRecordColInfo = 0x007D;
inline constexpr std::uint16_t kRecordStandardWidth = 0x0099;
inline constexpr std::uint16_t kRecordPane = 0x0041;
inline constexpr std::uint16_t kRecordSelection = 0x001D;
inline constexpr std::uint16_t kRecordAutoFilterInfo = 0x009D;
inline constexpr std::uint16_t kRecordBoundSheet = 0x0085;
inline constexpr std::uint16_t kRecordMulRk = 0x00BD;
inline constexpr std::uint16_t kRecordMulBlank = 0x00BE;
inline constexpr std::uint16_t kRecordDbCell = 0x00D7;
inline constexpr std::uint16_t kRecordXf = 0x00E0;
inline constexpr std::uint16_t kRecordSst = 0x00FC;
inline constexpr std::uint16_t kRecordLabelSst = 0x00FD;
inline constexpr std::uint16_t kRecordExtSst = 0x00FF;
inline constexpr std::uint16_t kRecordTabId = 0x013D;
inline constexpr std::uint16_t kRecordSupBook = 0x01AE;
inline constexpr std::uint16_t kRecordRecalcId = 0x01C1;
inline constexpr std::uint16_t kRecordDimensions = 0x0200;
inline constexpr std::uint16_t kRecordBlank = 0x0201;
inline constexpr std::uint16_t kRecordNumber = 0x0203;
inline constexpr std::uint16_t kRecordLabel = 0x0204;
inline constexpr std::uint16_t kRecordBoolErr = 0x0205;
inline constexpr std::uint16_t kRecordString = 0x0207;
inline constexpr std::uint16_t kRecordRow = 0x0208;
inline constexpr std::uint16_t kRecordIndex = 0x020B;
inline constexpr std::uint16_t kRecordArray = 0x0221;
inline constexpr std::uint16_t kRecordWindow2 = 0x023E;
inline constexpr std::uint16_t kRecordRk = 0x027E;
inline constexpr std::uint16_t kRecordTable = 0x0236;
inline constexpr std::uint16_t kRecordRString = 0x00D6;
inline constexpr std::uint16_t kRecordSharedFormula = 0x04BC;
inline constexpr std::uint16_t kRecordBof = 0x0809;
inline constexpr std::uint16_t kRecordXfCrc = 0x087C;

inline constexpr std::uint16_t kBiff8Version = 0x0600;
inline constexpr std::uint16_t kBofGlobals = 0x0005;
inline constexpr std::uint16_t kBofWorksheet = 0x0010;
// The most XF records a BIFF8 book may hold (XFCRC's count field says so,
// and Excel stops there).
inline constexpr std::size_t kMaxXfRecords = 4050;
// A BIFF8 DIMENSIONS body: first and end row (32-bit), first and end column, reserved.
inline constexpr std::uint16_t kDimensionsLength = 14;

class RecordWriter {
public:
    explicit RecordWriter(Bytes& out) : out_(out) {}

    // Opens a record; fields go to out() until End.
    void Begin(std::uint16_t type);
    // Closes the open record (splitting a body over the limit into CONTINUE
    // records) and opens a CONTINUE for what follows.
    void Continue();
    void End();
    // Bytes the open record still takes before reaching the limit.
    std::size_t Room() const;
    // Offset in out() where the open record (or CONTINUE) starts.
    std::size_t RecordStart() const { return start_; }
    Bytes& out() { return out_; }

private:
    Bytes& out_;
    std::size_t start_ = 0;
};

// Cell records, appended complete to `out`. A LABELSST record is one of
// kLabelSstSize bytes, the string index last.
inline constexpr std::size_t kLabelSstSize = 14;
std::array<std::uint8_t, kLabelSstSize> LabelSstRecord(int row, int column, std::uint16_t xf,
                                                       std::uint32_t stringIndex);
// An RK record when the value survives RK's 30-bit encodings exactly,
// otherwise a NUMBER record.
void PutNumberRecord(Bytes& out, int row, int column, std::uint16_t xf, double value);
void PutBoolErrRecord(Bytes& out, int row, int column, std::uint16_t xf, bool value);

// Appends `text` as one unsplit shared string entry (Latin-1 when every
// unit is below 256, UTF-16 otherwise) to the table's spill file, built in
// `scratch`; gives its index.
std::uint32_t PutSharedStringEntry(SharedStrings& strings, std::u16string_view text,
                                   Bytes& scratch);
// The same for a text of ASCII characters only, which needs no conversion.
std::uint32_t PutAsciiStringEntry(SharedStrings& strings, std::string_view ascii, Bytes& scratch);

// The checksum XFCRC keeps over the XF records' bodies, so that Excel can
// tell whether a program unaware of XFEXT changed them: a CRC-32 with the
// polynomial 0xAF, most significant bit first, starting from `crc`.
std::uint32_t XfChecksum(std::uint32_t crc, ByteSpan body);

// The body of the cell XF made for a Format with this number format.
Bytes NewXfRecordBody(std::uint16_t numFormat);

// The globals of a new empty book, with slots for what the writer generates.
std::vector<GlobalRecord> NewBookGlobals();

// Makes the records that refer to sheets by position agree with the deletion
// of sheet `index` (of `sheetCount`): names local to it turn into hidden
// names whose formula is #REF!, later local names move down; 3-D references
// to it become references to a deleted sheet; the active tab moves.
// References that pointed at the deleted sheet alone are remembered under
// its name (see OrphanedReference).
void FixReferencesForDeletedSheet(BookModel& book, int index, int sheetCount,
                                  std::u16string_view deletedName);

// Points the references orphaned by deleting a sheet of this name (letter
// case ignored) at the sheet just added as `index`.
void AdoptReferencesOfDeletedSheet(BookModel& book, std::u16string_view name, int index);

// The cells a new sheet's filter buttons cover: columns 0 to `lastColumn`,
// rows `firstRow` (the buttons) to `lastRow`, on sheet `sheet` (from 0).
struct FilterArea {
    int sheet = 0;
    int firstRow = 0;
    int lastRow = 0;
    int lastColumn = 0;
};

// Gives each sheet of `areas` its hidden built-in filter-range name
// (_FilterDatabase, local to the sheet) over its area, through a 3-D
// reference to the sheet alone: an internal SUPBOOK and EXTERNSHEET entry
// are added when the book has none. A sheet's existing filter-range name is
// rewritten where it stands; new names go after the book's names, in sheet
// order, so that formulas that refer to names by position keep theirs.
// False with a reason when the reference table is full.
bool SetFilterNames(BookModel& book, const std::vector<FilterArea>& areas, std::string& error);

// One COLINFO record: columns `first` to `last` with `width` (in 1/256 of
// a character); `rest` holds the fields after the width (XF, flags, ...),
// as read or made.
struct ColumnRange {
    std::uint16_t first = 0;
    std::uint16_t last = 0;
    std::uint16_t width = 0;
    Bytes rest;
};

// Widens the column ranges `ranges` (in column order, apart) to at least
// `widths` (per column from 0, in 1/256 of a character; 0 for none): a
// range whose columns need different widths is split, keeping its other
// fields; columns no range covers, whose width is the sheet's default
// `defaultWidth`, get ranges of their own with `defaultXf` where they need
// more. Neighbouring columns of one source and width share a range.
std::vector<ColumnRange> WidenColumns(const std::vector<ColumnRange>& ranges,
                                      const std::vector<std::uint16_t>& widths,
                                      std::uint16_t defaultXf, std::uint32_t defaultWidth = 0);

// Appends the COLINFO records of `ranges` to `writer`.
void WriteColInfoRecords(RecordWriter& writer, const std::vector<ColumnRange>& ranges);

// The fitted widths of a sheet's columns (per column from 0, in 1/256 of a
// character; 0 where the default width does), or none when it asks for none.
std::vector<std::uint16_t> FittedWidths(const SheetLayout* layout);

// Whether a record is one of a worksheet's cell records.
constexpr bool IsCellRecord(std::uint16_t type) {
    switch (type) {
        case kRecordBlank:
        case kRecordMulBlank:
        case kRecordLabelSst:
        case kRecordLabel:
        case kRecordRString:
        case kRecordNumber:
        case kRecordRk:
        case kRecordMulRk:
        case kRecordBoolErr:
        case kRecordFormula:
            return true;
        default:
            return false;
    }
}

// The whole Workbook stream: globals, then each sheet's substream. Pieces in
// `pieces` point into `buffers` and into the sheets' cell tables, which must
// outlive them. False with a reason when the book cannot be written.
bool BuildWorkbookStream(BookModel& book, const std::vector<SheetModel*>& sheets,
                         const std::deque<Format>& formats, std::deque<Bytes>& buffers,
                         std::vector<StreamPiece>& pieces, std::string& error);

}  // namespace workbook::xls
