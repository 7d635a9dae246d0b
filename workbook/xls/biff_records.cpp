// SPDX-License-Identifier: MIT
// BIFF8 record writers: the record writer itself, cell records, the shared
// string entries, the cell table's row blocks, the globals of a new book and
// the fix-ups that keep sheet references valid when a sheet goes.
#include "workbook/xls/biff_records.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "workbook/column_widths.h"
#include "workbook/xls/xls_text.h"

namespace workbook::xls {
namespace {

constexpr std::uint16_t kRecordWriteAccess = 0x005C;
constexpr std::uint16_t kRecordInterfaceHdr = 0x00E1;
constexpr std::uint16_t kRecordMms = 0x00C1;
constexpr std::uint16_t kRecordInterfaceEnd = 0x00E2;
constexpr std::uint16_t kRecordDsf = 0x0161;
constexpr std::uint16_t kRecordFnGroupCount = 0x009C;
constexpr std::uint16_t kRecordWinProtect = 0x0019;
constexpr std::uint16_t kRecordProtect = 0x0012;
constexpr std::uint16_t kRecordPassword = 0x0013;
constexpr std::uint16_t kRecordProt4Rev = 0x01AF;
constexpr std::uint16_t kRecordProt4RevPass = 0x01BC;
constexpr std::uint16_t kRecordBackup = 0x0040;
constexpr std::uint16_t kRecordHideObj = 0x008D;
constexpr std::uint16_t kRecordPrecision = 0x000E;
constexpr std::uint16_t kRecordRefreshAll = 0x01B7;
constexpr std::uint16_t kRecordBookBool = 0x00DA;
constexpr std::uint16_t kRecordFont = 0x0031;
constexpr std::uint16_t kRecordFormat = 0x041E;
constexpr std::uint16_t kRecordStyle = 0x0293;
constexpr std::uint16_t kRecordUsesElfs = 0x0160;
constexpr std::uint16_t kRecordCountry = 0x008C;
constexpr std::uint16_t kRecordExternName = 0x0023;
constexpr std::uint16_t kRecordXct = 0x0059;
constexpr std::uint16_t kRecordCrn = 0x005A;

// ROW flags: bit 8 is always set; the row's XF (15, the default cell XF)
// sits in bits 16 to 27.
constexpr std::uint32_t kRowFlags = 0x000F0100;
// Default row height in twips: 12.75 points.
constexpr std::uint16_t kRowHeight = 0x00FF;
constexpr std::size_t kRowRecordSize = 20;
constexpr int kRowsPerBlock = 32;

GlobalRecord Record(std::uint16_t type, Bytes data) {
    GlobalRecord record;
    record.type = type;
    record.data = std::move(data);
    return record;
}

GlobalRecord U16Record(std::uint16_t type, std::uint16_t value) {
    Bytes data;
    PutU16(data, value);
    return Record(type, std::move(data));
}

GlobalRecord Slot(GlobalSlot slot) {
    GlobalRecord record;
    record.slot = slot;
    return record;
}

// XLUnicodeString: 16-bit length, flags, Latin-1 characters (ASCII here).
void PutAsciiUnicodeString(Bytes& out, std::string_view text) {
    // Reserving first also keeps g++ 12 at -O3 from a false stringop-overflow
    // warning on the insert below.
    out.reserve(out.size() + 3 + text.size());
    PutU16(out, static_cast<std::uint16_t>(text.size()));
    PutU8(out, 0);
    out.insert(out.end(), text.begin(), text.end());
}

GlobalRecord BofRecord(std::uint16_t kind) {
    Bytes data;
    PutU16(data, kBiff8Version);
    PutU16(data, kind);
    PutU16(data, 0x0DBB);  // build
    PutU16(data, 0x07CC);  // build year
    PutU32(data, 0x000100C1);
    PutU32(data, 0x00000406);
    return Record(kRecordBof, std::move(data));
}

GlobalRecord WriteAccessRecord() {
    Bytes data;
    PutAsciiUnicodeString(data, "Quendle");
    // The user name field is always 112 bytes, padded with spaces.
    data.resize(112, ' ');
    return Record(kRecordWriteAccess, std::move(data));
}

GlobalRecord Window1Record() {
    Bytes data;
    PutU16(data, 360);  // window position and size in twips
    PutU16(data, 270);
    PutU16(data, 14940);
    PutU16(data, 9150);
    PutU16(data, 0x0038);  // horizontal and vertical scroll bars, sheet tabs
    PutU16(data, 0);       // active tab
    PutU16(data, 0);       // first visible tab
    PutU16(data, 1);       // selected tabs
    PutU16(data, 600);     // tab bar width ratio, in thousandths
    return Record(kRecordWindow1, std::move(data));
}

GlobalRecord FontRecord(bool bold) {
    Bytes data;
    PutU16(data, 200);     // 10 points in twentieths
    PutU16(data, 0);       // no italic, strike-out, outline
    PutU16(data, 0x7FFF);  // automatic colour
    PutU16(data, bold ? 700 : 400);
    PutU16(data, 0);  // no super- or subscript
    PutU8(data, 0);   // no underline
    PutU8(data, 2);   // swiss family
    PutU8(data, 0);   // ANSI character set
    PutU8(data, 0);
    const std::string_view name = "Arial";
    PutU8(data, static_cast<std::uint8_t>(name.size()));
    PutU8(data, 0);
    data.insert(data.end(), name.begin(), name.end());
    return Record(kRecordFont, std::move(data));
}

GlobalRecord FormatRecord(std::uint16_t id, std::string_view code) {
    Bytes data;
    PutU16(data, id);
    PutAsciiUnicodeString(data, code);
    return Record(kRecordFormat, std::move(data));
}

// One XF with the defaults Excel uses for Arial 10 on a white background.
// `typeAndParent` holds the locked, style and parent bits; `used` the
// attribute groups that differ from the parent style.
Bytes XfBody(std::uint16_t font, std::uint16_t numFormat, std::uint16_t typeAndParent,
             std::uint8_t used) {
    Bytes data;
    PutU16(data, font);
    PutU16(data, numFormat);
    PutU16(data, typeAndParent);
    PutU8(data, 0x20);  // general alignment, bottom
    PutU8(data, 0);     // no rotation
    PutU8(data, 0);     // no indent
    PutU8(data, used);
    PutU32(data, 0);  // no borders
    PutU32(data, 0);
    PutU16(data, 0x20C0);  // pattern colours: system foreground and background
    return data;
}

constexpr std::uint16_t kStyleXf = 0xFFF5;  // locked, style, no parent
constexpr std::uint16_t kCellXf = 0x0001;   // locked, parent style XF 0

GlobalRecord StyleRecord(std::uint16_t xf, std::uint8_t builtIn) {
    Bytes data;
    PutU16(data, static_cast<std::uint16_t>(0x8000 | xf));
    PutU8(data, builtIn);
    PutU8(data, 0xFF);
    return Record(kRecordStyle, std::move(data));
}

// Whether `value` survives one of RK's encodings; gives the RK value.
bool EncodeRk(double value, std::uint32_t& rk) {
    constexpr double kLimit = 536870912.0;  // 2^29: RK integers are 30-bit signed
    if (value >= -kLimit && value < kLimit && value == std::floor(value)) {
        rk = (static_cast<std::uint32_t>(static_cast<std::int32_t>(value)) << 2) | 2u;
        return true;
    }
    const auto bits = std::bit_cast<std::uint64_t>(value);
    if ((bits & 0x3FFFFFFFFull) == 0) {
        rk = static_cast<std::uint32_t>(bits >> 32);
        return true;
    }
    const double hundred = value * 100.0;
    if (hundred >= -kLimit && hundred < kLimit && hundred == std::floor(hundred)) {
        const auto whole = static_cast<std::int32_t>(hundred);
        if (whole / 100.0 == value) {
            rk = (static_cast<std::uint32_t>(whole) << 2) | 3u;
            return true;
        }
    }
    const auto hundredBits = std::bit_cast<std::uint64_t>(hundred);
    if ((hundredBits & 0x3FFFFFFFFull) == 0 && hundred / 100.0 == value) {
        rk = static_cast<std::uint32_t>(hundredBits >> 32) | 1u;
        return true;
    }
    return false;
}

void PutCellHeader(Bytes& out, int row, int column, std::uint16_t xf) {
    PutU16(out, static_cast<std::uint16_t>(row));
    PutU16(out, static_cast<std::uint16_t>(column));
    PutU16(out, xf);
}

// Writes a LABELSST record in place from two words, byte by byte, which the
// compiler turns into a few wide stores. A record built apart and copied in,
// or built from an array of its fields, made each text cell wait on its own
// stores being read back.
void StoreLabelSst(std::uint8_t* at, int row, int column, std::uint16_t xf,
                   std::uint32_t stringIndex) {
    const std::uint64_t head = kRecordLabelSst | (std::uint64_t{kLabelSstSize - 4} << 16) |
                               (std::uint64_t{static_cast<std::uint16_t>(row)} << 32) |
                               (std::uint64_t{static_cast<std::uint16_t>(column)} << 48);
    const std::uint64_t tail = xf | (std::uint64_t{stringIndex} << 16);
    for (int i = 0; i < 8; ++i) {
        at[i] = static_cast<std::uint8_t>(head >> (8 * i));
    }
    for (int i = 0; i < 6; ++i) {
        at[8 + i] = static_cast<std::uint8_t>(tail >> (8 * i));
    }
}

}  // namespace

void RecordWriter::Begin(std::uint16_t type) {
    start_ = out_.size();
    PutU16(out_, type);
    PutU16(out_, 0);
}

std::size_t RecordWriter::Room() const {
    const std::size_t body = out_.size() - start_ - 4;
    return body >= kMaxRecordBody ? 0 : kMaxRecordBody - body;
}

void RecordWriter::End() {
    std::size_t body = out_.size() - start_ - 4;
    if (body > kMaxRecordBody) {
        // Move the overflow into CONTINUE records of at most the limit each.
        const Bytes overflow(
            out_.begin() + static_cast<std::ptrdiff_t>(start_ + 4 + kMaxRecordBody), out_.end());
        out_.resize(start_ + 4 + kMaxRecordBody);
        SetU16(out_, start_ + 2, static_cast<std::uint16_t>(kMaxRecordBody));
        for (std::size_t at = 0; at < overflow.size(); at += kMaxRecordBody) {
            const std::size_t piece = std::min(kMaxRecordBody, overflow.size() - at);
            start_ = out_.size();
            PutU16(out_, kRecordContinue);
            PutU16(out_, static_cast<std::uint16_t>(piece));
            out_.insert(out_.end(), overflow.begin() + static_cast<std::ptrdiff_t>(at),
                        overflow.begin() + static_cast<std::ptrdiff_t>(at + piece));
        }
        return;
    }
    SetU16(out_, start_ + 2, static_cast<std::uint16_t>(body));
}

void RecordWriter::Continue() {
    End();
    Begin(kRecordContinue);
}

std::array<std::uint8_t, kLabelSstSize> LabelSstRecord(int row, int column, std::uint16_t xf,
                                                       std::uint32_t stringIndex) {
    std::array<std::uint8_t, kLabelSstSize> record{};
    StoreLabelSst(record.data(), row, column, xf, stringIndex);
    return record;
}

void PutNumberRecord(Bytes& out, int row, int column, std::uint16_t xf, double value) {
    RecordWriter writer(out);
    std::uint32_t rk = 0;
    if (EncodeRk(value, rk)) {
        writer.Begin(kRecordRk);
        PutCellHeader(out, row, column, xf);
        PutU32(out, rk);
    } else {
        writer.Begin(kRecordNumber);
        PutCellHeader(out, row, column, xf);
        PutF64(out, value);
    }
    writer.End();
}

void PutBoolErrRecord(Bytes& out, int row, int column, std::uint16_t xf, bool value) {
    RecordWriter writer(out);
    writer.Begin(kRecordBoolErr);
    PutCellHeader(out, row, column, xf);
    PutU8(out, value ? 1 : 0);
    PutU8(out, 0);  // a boolean, not an error code
    writer.End();
}

std::uint32_t PutSharedStringEntry(SharedStrings& strings, std::u16string_view text,
                                   Bytes& scratch) {
    const bool wide = std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
    scratch.clear();
    PutU16(scratch, static_cast<std::uint16_t>(text.size()));
    PutU8(scratch, wide ? 1 : 0);
    if (wide) {
        for (char16_t c : text) {
            PutU16(scratch, c);
        }
    } else {
        for (char16_t c : text) {
            scratch.push_back(static_cast<std::uint8_t>(c));
        }
    }
    (void)strings.spill.Append(scratch);
    strings.layout.Add(scratch);
    return strings.count++;
}

std::uint32_t PutAsciiStringEntry(SharedStrings& strings, std::string_view ascii, Bytes& scratch) {
    scratch.clear();
    PutU16(scratch, static_cast<std::uint16_t>(ascii.size()));
    PutU8(scratch, 0);  // one byte per character
    scratch.insert(scratch.end(), ascii.begin(), ascii.end());
    (void)strings.spill.Append(scratch);
    strings.layout.Add(scratch);
    return strings.count++;
}

void CellTable::Configure(bool withDbCells, std::vector<std::uint16_t> rowsWithRecords) {
    withDbCells_ = withDbCells;
    rowsWithRecords_ = std::move(rowsWithRecords);
}

bool CellTable::CheckOrder(int row, int column, std::string& error) const {
    if (row > currentRow_ || (row == currentRow_ && column > lastColumn_)) {
        return true;
    }
    error = "The cell at row " + std::to_string(row + 1) + ", column " +
            std::to_string(column + 1) + " comes before or at the last cell written (row " +
            std::to_string(currentRow_ + 1) + ", column " + std::to_string(lastColumn_ + 1) +
            "); cells must be written in increasing row order and, within a row, in increasing "
            "column order.";
    return false;
}

void CellTable::NoteCell(int row, int column, SpillFile& spill, SharedStrings& strings) {
    if (row != currentRow_) {
        if (currentRow_ >= 0 && row / kRowsPerBlock != currentRow_ / kRowsPerBlock) {
            FinishBlock(spill, strings);
        }
        if (firstRow_ < 0) {
            firstRow_ = row;
        }
        RowSpan span;
        span.row = static_cast<std::uint16_t>(row);
        span.firstColumn = static_cast<std::uint16_t>(column);
        span.cellsAt = static_cast<std::uint32_t>(blockCells_.size());
        blockRows_.push_back(span);
        currentRow_ = row;
    }
    blockRows_.back().endColumn = static_cast<std::uint16_t>(column + 1);
    lastColumn_ = column;
    minColumn_ = std::min(minColumn_, column);
    maxColumn_ = std::max(maxColumn_, column);
}

void CellTable::Add(int row, int column, ByteSpan record, SpillFile& spill,
                    SharedStrings& strings) {
    NoteCell(row, column, spill, strings);
    blockCells_.insert(blockCells_.end(), record.begin(), record.end());
}

void CellTable::AddText(int row, int column, std::uint16_t xf, std::string_view utf8,
                        SpillFile& spill, SharedStrings& strings) {
    // The commonest record of all, written in place; its index comes when
    // the block's texts are settled.
    NoteCell(row, column, spill, strings);
    const std::size_t cellAt = blockCells_.size();
    blockCells_.resize(cellAt + kLabelSstSize);
    StoreLabelSst(blockCells_.data() + cellAt, row, column, xf, 0);
    PendingText text;
    text.cellAt = static_cast<std::uint32_t>(cellAt);
    text.textAt = static_cast<std::uint32_t>(pendingBytes_.size());
    text.size = static_cast<std::uint32_t>(utf8.size());
    text.hash = StringMerger::Hash(utf8);
    pendingBytes_.append(utf8);
    pending_.push_back(text);
}

void CellTable::ResolveTexts(SharedStrings& strings) {
    // The texts of a block are looked up in order, so that the first of
    // equal texts makes the entry the others share; the table slots and
    // kept texts of lookups a few places ahead are fetched meanwhile, since
    // for texts that recur far apart each lookup would otherwise wait on
    // memory.
    constexpr std::size_t kSlotsAhead = 16;
    constexpr std::size_t kTextsAhead = 8;
    StringMerger& merger = strings.merger;
    Bytes scratch;
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        if (i + kSlotsAhead < pending_.size()) {
            merger.Prefetch(pending_[i + kSlotsAhead].hash, false);
        }
        if (i + kTextsAhead < pending_.size()) {
            merger.Prefetch(pending_[i + kTextsAhead].hash, true);
        }
        const PendingText& text = pending_[i];
        const std::string_view utf8 =
            std::string_view(pendingBytes_).substr(text.textAt, text.size);
        std::uint32_t index = 0;
        if (!merger.Find(utf8, text.hash, index)) {
            index = IsAscii(utf8) ? PutAsciiStringEntry(strings, utf8, scratch)
                                  : PutSharedStringEntry(strings, Utf8ToUtf16(utf8), scratch);
            merger.Remember(utf8, text.hash, index);
        }
        SetU32(blockCells_, text.cellAt + kLabelSstSize - 4, index);
    }
    pending_.clear();
    pendingBytes_.clear();
}

bool CellTable::HasRowRecord(std::uint16_t row) const {
    return std::binary_search(rowsWithRecords_.begin(), rowsWithRecords_.end(), row);
}

void CellTable::FinishBlock(SpillFile& spill, SharedStrings& strings) {
    ResolveTexts(strings);
    blockOut_.clear();
    EmitBlock(blockOut_, doneDbCells_, blockRows_, blockCells_,
              static_cast<std::size_t>(doneSize_));
    const std::uint64_t at = spill.Append(blockOut_);
    // Blocks of one sheet written without another sheet's in between lie
    // end to end in the file: one extent for them all.
    if (!done_.empty() && done_.back().offset + done_.back().size == at) {
        done_.back().size += blockOut_.size();
    } else {
        done_.push_back({at, blockOut_.size()});
    }
    doneSize_ += blockOut_.size();
    blockRows_.clear();
    blockCells_.clear();
}

void CellTable::EmitBlock(Bytes& out, std::vector<std::uint32_t>& dbCells,
                          const std::vector<RowSpan>& rows, ByteSpan cells,
                          std::size_t base) const {
    if (rows.empty()) {
        return;
    }
    const std::size_t rowsAt = out.size();
    RecordWriter writer(out);
    std::size_t rowRecords = 0;
    for (const RowSpan& span : rows) {
        if (HasRowRecord(span.row)) {
            continue;
        }
        writer.Begin(kRecordRow);
        PutU16(out, span.row);
        PutU16(out, span.firstColumn);
        PutU16(out, span.endColumn);
        PutU16(out, kRowHeight);
        PutU16(out, 0);
        PutU16(out, 0);
        PutU32(out, kRowFlags);
        writer.End();
        ++rowRecords;
    }
    const std::size_t cellsAt = out.size();
    out.insert(out.end(), cells.begin(), cells.end());
    if (!withDbCells_ || rowRecords == 0) {
        return;
    }
    // DBCELL: back to the first ROW record, then from the end of that record
    // to each row's first cell, each step relative to the previous one.
    const std::size_t dbCellAt = out.size();
    dbCells.push_back(static_cast<std::uint32_t>(base + dbCellAt));
    writer.Begin(kRecordDbCell);
    PutU32(out, static_cast<std::uint32_t>(dbCellAt - rowsAt));
    std::size_t previous = rowsAt + kRowRecordSize;
    for (const RowSpan& span : rows) {
        const std::size_t first = cellsAt + span.cellsAt;
        PutU16(out, static_cast<std::uint16_t>(first - previous));
        previous = first;
    }
    writer.End();
}

void CellTable::SerializePending(Bytes& out, std::vector<std::uint32_t>& dbCells) const {
    EmitBlock(out, dbCells, blockRows_, blockCells_,
              static_cast<std::size_t>(doneSize_) - out.size());
}

std::vector<GlobalRecord> NewBookGlobals() {
    std::vector<GlobalRecord> globals;
    globals.push_back(BofRecord(kBofGlobals));
    globals.push_back(U16Record(kRecordInterfaceHdr, 1200));
    globals.push_back(U16Record(kRecordMms, 0));
    globals.push_back(Record(kRecordInterfaceEnd, {}));
    globals.push_back(WriteAccessRecord());
    // Code page 1200: the file's byte strings are UTF-16.
    globals.push_back(U16Record(kRecordCodePage, 1200));
    globals.push_back(U16Record(kRecordDsf, 0));
    globals.push_back(Slot(GlobalSlot::kTabIds));
    globals.push_back(U16Record(kRecordFnGroupCount, 14));
    globals.push_back(U16Record(kRecordWinProtect, 0));
    globals.push_back(U16Record(kRecordProtect, 0));
    globals.push_back(U16Record(kRecordPassword, 0));
    globals.push_back(U16Record(kRecordProt4Rev, 0));
    globals.push_back(U16Record(kRecordProt4RevPass, 0));
    globals.push_back(Window1Record());
    globals.push_back(U16Record(kRecordBackup, 0));
    globals.push_back(U16Record(kRecordHideObj, 0));
    globals.push_back(U16Record(kRecordDateMode, 0));
    globals.push_back(U16Record(kRecordPrecision, 1));
    globals.push_back(U16Record(kRecordRefreshAll, 0));
    globals.push_back(U16Record(kRecordBookBool, 0));
    // Fonts 0 to 3; a font index of 4 is never used by BIFF readers.
    globals.push_back(FontRecord(false));
    globals.push_back(FontRecord(true));
    globals.push_back(FontRecord(false));
    globals.push_back(FontRecord(true));
    // The currency and accounting formats Excel always lists.
    globals.push_back(FormatRecord(5, "\"$\"#,##0_);\\(\"$\"#,##0\\)"));
    globals.push_back(FormatRecord(6, "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)"));
    globals.push_back(FormatRecord(7, "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)"));
    globals.push_back(FormatRecord(8, "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)"));
    globals.push_back(
        FormatRecord(42, "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)"));
    globals.push_back(FormatRecord(41, "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)"));
    globals.push_back(
        FormatRecord(44, "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)"));
    globals.push_back(FormatRecord(43, "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)"));
    // XFs 0 to 14 are the style XFs of Normal and the outline levels, 15 is
    // the default cell XF, 16 to 20 belong to the built-in number styles.
    globals.push_back(Record(kRecordXf, XfBody(0, 0, kStyleXf, 0)));
    for (std::uint16_t i = 1; i < 15; ++i) {
        const std::uint16_t font = i <= 2 ? 1 : (i <= 4 ? 2 : 0);
        globals.push_back(Record(kRecordXf, XfBody(font, 0, kStyleXf, 0xF4)));
    }
    globals.push_back(Record(kRecordXf, XfBody(0, 0, kCellXf, 0)));
    const std::uint16_t styleFormats[5] = {43, 41, 44, 42, 9};
    for (std::uint16_t format : styleFormats) {
        globals.push_back(Record(kRecordXf, XfBody(1, format, kStyleXf, 0xF8)));
    }
    globals.push_back(Slot(GlobalSlot::kNewFormats));
    globals.push_back(StyleRecord(16, 3));  // Comma
    globals.push_back(StyleRecord(17, 6));  // Comma [0]
    globals.push_back(StyleRecord(18, 4));  // Currency
    globals.push_back(StyleRecord(19, 7));  // Currency [0]
    globals.push_back(StyleRecord(0, 0));   // Normal
    globals.push_back(StyleRecord(20, 5));  // Percent
    globals.push_back(U16Record(kRecordUsesElfs, 0));
    globals.push_back(Slot(GlobalSlot::kSheets));
    Bytes country;
    PutU16(country, 1);
    PutU16(country, 1);
    globals.push_back(Record(kRecordCountry, std::move(country)));
    globals.push_back(Slot(GlobalSlot::kSharedStrings));
    globals.push_back(Record(kRecordEof, {}));
    return globals;
}

std::uint32_t XfChecksum(std::uint32_t crc, ByteSpan body) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t value = i << 24;
            for (int bit = 0; bit < 8; ++bit) {
                value = (value & 0x80000000u) != 0 ? (value << 1) ^ 0xAFu : value << 1;
            }
            entries[i] = value;
        }
        return entries;
    }();
    for (std::uint8_t byte : body) {
        crc = (crc << 8) ^ table[(crc >> 24) ^ byte];
    }
    return crc;
}

Bytes NewXfRecordBody(std::uint16_t numFormat) {
    // Cell XF whose number format differs from the Normal style.
    return XfBody(0, numFormat, kCellXf, 0x04);
}

namespace {

// A hidden workbook-level name whose formula is #REF!: what a name local to
// a deleted sheet becomes, so that formulas that refer to names by position
// still find the same names.
Bytes InertNameBody(std::uint32_t serial) {
    const std::string name = "_DeletedSheetName" + std::to_string(serial);
    Bytes data;
    PutU16(data, 0x0001);  // hidden
    PutU8(data, 0);        // no shortcut key
    PutU8(data, static_cast<std::uint8_t>(name.size()));
    PutU16(data, 2);  // formula size
    PutU16(data, 0);
    PutU16(data, 0);  // workbook scope
    PutU32(data, 0);
    PutU8(data, 0);  // Latin-1 characters
    data.insert(data.end(), name.begin(), name.end());
    PutU8(data, 0x1C);  // PtgErr
    PutU8(data, 0x17);  // #REF!
    return data;
}

bool IsInternalSupBook(const GlobalRecord& record) {
    std::uint16_t marker = 0;
    return record.slot == GlobalSlot::kRecord && record.type == kRecordSupBook &&
           record.data.size() == 4 && GetU16(record.data, 2, marker) && marker == 0x0401;
}

// Adjusts one 3-D reference's sheet range for the deletion of `index`.
void ShiftSheetRange(std::int16_t& first, std::int16_t& last, int index) {
    if (first < 0 || last < 0 || last < index) {
        return;
    }
    if (first > index) {
        --first;
        --last;
    } else if (first == last) {
        first = -1;  // the sheet cannot be found any more
        last = -1;
    } else {
        --last;
    }
}

// Calls `patch(entry, first, last)` for every XTI entry of the EXTERNSHEET
// record at `at` that refers to sheets of the internal book.
template <typename Patch>
void PatchExternSheet(std::vector<GlobalRecord>& globals, std::size_t at, int internalBook,
                      Patch patch) {
    // The XTI array may run on into CONTINUE records; patch it as one piece
    // and put the bytes back where they came from.
    Bytes joined = globals[at].data;
    std::size_t end = at + 1;
    while (end < globals.size() && globals[end].slot == GlobalSlot::kRecord &&
           globals[end].type == kRecordContinue) {
        joined.insert(joined.end(), globals[end].data.begin(), globals[end].data.end());
        ++end;
    }
    std::uint16_t count = 0;
    if (!GetU16(joined, 0, count)) {
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t xti = 2 + 6 * i;
        std::uint16_t book = 0;
        std::uint16_t first = 0;
        std::uint16_t last = 0;
        if (!GetU16(joined, xti, book) || !GetU16(joined, xti + 2, first) ||
            !GetU16(joined, xti + 4, last)) {
            break;
        }
        if (book != internalBook) {
            continue;
        }
        auto signedFirst = static_cast<std::int16_t>(first);
        auto signedLast = static_cast<std::int16_t>(last);
        patch(i, signedFirst, signedLast);
        SetU16(joined, xti + 2, static_cast<std::uint16_t>(signedFirst));
        SetU16(joined, xti + 4, static_cast<std::uint16_t>(signedLast));
    }
    std::size_t from = 0;
    for (std::size_t i = at; i < end; ++i) {
        std::copy_n(joined.begin() + static_cast<std::ptrdiff_t>(from), globals[i].data.size(),
                    globals[i].data.begin());
        from += globals[i].data.size();
    }
}

// The index of the internal SUPBOOK among the SUPBOOK records, and the
// position of the EXTERNSHEET record that follows it; -1 and 0 when absent.
std::pair<int, std::size_t> FindInternalExternSheet(const std::vector<GlobalRecord>& globals) {
    int supBooks = 0;
    int internalBook = -1;
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const GlobalRecord& record = globals[i];
        if (record.slot != GlobalSlot::kRecord) {
            continue;
        }
        if (record.type == kRecordSupBook) {
            if (IsInternalSupBook(record)) {
                internalBook = supBooks;
            }
            ++supBooks;
        } else if (record.type == kRecordExternSheet && internalBook >= 0) {
            return {internalBook, i};
        }
    }
    return {-1, 0};
}

bool SameSheetName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

void AdoptReferencesOfDeletedSheet(BookModel& book, std::u16string_view name, int index) {
    std::vector<OrphanedReference>& orphans = book.orphanedReferences;
    const auto [internalBook, at] = FindInternalExternSheet(book.globals);
    if (internalBook < 0 || orphans.empty()) {
        return;
    }
    PatchExternSheet(book.globals, at, internalBook,
                     [&](std::size_t entry, std::int16_t& first, std::int16_t& last) {
                         for (const OrphanedReference& orphan : orphans) {
                             if (orphan.entry == entry && SameSheetName(orphan.sheetName, name)) {
                                 first = static_cast<std::int16_t>(index);
                                 last = static_cast<std::int16_t>(index);
                             }
                         }
                     });
    std::erase_if(orphans,
                  [&](const OrphanedReference& o) { return SameSheetName(o.sheetName, name); });
}

void FixReferencesForDeletedSheet(BookModel& book, int index, int sheetCount,
                                  std::u16string_view deletedName) {
    std::vector<GlobalRecord>& globals = book.globals;
    if (const auto [internalBook, at] = FindInternalExternSheet(globals); internalBook >= 0) {
        PatchExternSheet(
            globals, at, internalBook,
            [&](std::size_t entry, std::int16_t& first, std::int16_t& last) {
                const bool alone = first == index && last == index;
                ShiftSheetRange(first, last, index);
                if (alone) {
                    book.orphanedReferences.push_back({entry, std::u16string(deletedName)});
                }
            });
    }
    for (std::size_t i = 0; i < globals.size(); ++i) {
        GlobalRecord& record = globals[i];
        if (record.slot != GlobalSlot::kRecord) {
            continue;
        }
        if (record.type == kRecordName) {
            std::uint16_t localSheet = 0;
            if (!GetU16(record.data, 8, localSheet) || localSheet == 0) {
                continue;
            }
            if (localSheet == index + 1) {
                record.data = InertNameBody(++book.removedNames);
                while (i + 1 < globals.size() && globals[i + 1].slot == GlobalSlot::kRecord &&
                       globals[i + 1].type == kRecordContinue) {
                    globals.erase(globals.begin() + static_cast<std::ptrdiff_t>(i + 1));
                }
            } else if (localSheet > index + 1) {
                SetU16(record.data, 8, static_cast<std::uint16_t>(localSheet - 1));
            }
        }
    }
    if (book.activeTab > index || (book.activeTab == index && index == sheetCount - 1)) {
        book.activeTab = std::max(0, book.activeTab - 1);
    }
}

namespace {

// COLINFO flags of a fitted column: its width was set (fUserSet) to fit
// its content (fBestFit).
constexpr std::uint16_t kColInfoFitted = 0x0006;
// The built-in name of a sheet's filter range, and the NAME flags it
// carries: hidden, built in.
constexpr std::uint8_t kBuiltInFilterDatabase = 0x0D;
constexpr std::uint16_t kNameHiddenBuiltIn = 0x0021;
constexpr std::uint8_t kPtgArea3d = 0x3B;
// An EXTERNSHEET entry (XTI) takes 6 bytes; its count is 16-bit.
constexpr std::size_t kXtiSize = 6;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The records after which NAME records come when a book has none: the
// sheet list's neighbours and the link table.
bool PrecedesNames(std::uint16_t type) {
    switch (type) {
        case kRecordCountry:
        case kRecordSupBook:
        case kRecordExternName:
        case kRecordXct:
        case kRecordCrn:
        case kRecordExternSheet:
        case kRecordContinue:
        case kRecordBoundSheet:
            return true;
        default:
            return false;
    }
}

bool IsRecord(const GlobalRecord& record, std::uint16_t type) {
    return record.slot == GlobalSlot::kRecord && record.type == type;
}

// The index after the record at `at` and the CONTINUE records that carry it on.
std::size_t AfterContinues(const std::vector<GlobalRecord>& globals, std::size_t at) {
    std::size_t end = at + 1;
    while (end < globals.size() && IsRecord(globals[end], kRecordContinue)) {
        ++end;
    }
    return end;
}

// Whether a NAME body is the built-in filter-range name local to sheet
// `itab` (from 1).
bool IsFilterName(ByteSpan body, std::uint16_t itab) {
    std::uint16_t flags = 0;
    std::uint8_t length = 0;
    std::uint16_t scope = 0;
    std::uint8_t wide = 0;
    std::uint8_t code = 0;
    return GetU16(body, 0, flags) && (flags & 0x0020) != 0 && GetU8(body, 3, length) &&
           length == 1 && GetU16(body, 8, scope) && scope == itab && GetU8(body, 14, wide) &&
           GetU8(body, 15, code) && code == kBuiltInFilterDatabase &&
           ((wide & 0x01) == 0 || body.size() > 16);
}

Bytes FilterNameBody(const FilterArea& area, std::uint16_t xti) {
    Bytes data;
    PutU16(data, kNameHiddenBuiltIn);
    PutU8(data, 0);    // no shortcut key
    PutU8(data, 1);    // a one-character built-in name
    PutU16(data, 11);  // formula size: one PtgArea3d
    PutU16(data, 0);
    PutU16(data, static_cast<std::uint16_t>(area.sheet + 1));  // local to the sheet
    PutU32(data, 0);  // no menu, description, help or status texts
    PutU8(data, 0);   // Latin-1 characters
    PutU8(data, kBuiltInFilterDatabase);
    PutU8(data, kPtgArea3d);
    PutU16(data, xti);
    PutU16(data, static_cast<std::uint16_t>(area.firstRow));
    PutU16(data, static_cast<std::uint16_t>(area.lastRow));
    // Absolute columns: neither relative flag (bits 14 and 15) set.
    PutU16(data, 0);
    PutU16(data, static_cast<std::uint16_t>(area.lastColumn));
    return data;
}

// Makes sure the globals hold an internal SUPBOOK and an EXTERNSHEET after
// it; gives the internal SUPBOOK's index and the EXTERNSHEET's position.
std::pair<int, std::size_t> EnsureExternSheet(std::vector<GlobalRecord>& globals) {
    if (const auto found = FindInternalExternSheet(globals); found.first >= 0) {
        return found;
    }
    int supBooks = 0;
    bool internal = false;
    std::size_t externSheet = kNone;
    std::size_t afterSupBooks = kNone;
    std::size_t afterSheets = kNone;
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const GlobalRecord& record = globals[i];
        if (record.slot == GlobalSlot::kSheets) {
            afterSheets = i + 1;
        }
        if (record.slot != GlobalSlot::kRecord) {
            continue;
        }
        if (record.type == kRecordSupBook) {
            internal = internal || IsInternalSupBook(record);
            ++supBooks;
            afterSupBooks = i + 1;
        } else if (afterSupBooks == i &&
                   (record.type == kRecordExternName || record.type == kRecordXct ||
                    record.type == kRecordCrn || record.type == kRecordContinue)) {
            afterSupBooks = i + 1;
        } else if (record.type == kRecordExternSheet && externSheet == kNone) {
            externSheet = i;
        }
    }
    GlobalRecord supBook;
    supBook.type = kRecordSupBook;
    PutU16(supBook.data, 0);  // sheet count, set on writing
    PutU16(supBook.data, 0x0401);
    GlobalRecord empty;
    empty.type = kRecordExternSheet;
    PutU16(empty.data, 0);
    if (externSheet != kNone) {
        // Only external books so far: the internal one goes after them, so
        // that their entries keep their indexes.
        globals.insert(globals.begin() + static_cast<std::ptrdiff_t>(externSheet), supBook);
        return {supBooks, externSheet + 1};
    }
    std::size_t at = afterSupBooks;
    if (at == kNone) {
        at = afterSheets == kNone ? globals.size() - 1 : afterSheets;
        while (at < globals.size() && globals[at].slot == GlobalSlot::kRecord &&
               PrecedesNames(globals[at].type)) {
            ++at;
        }
    }
    std::vector<GlobalRecord> added;
    if (!internal) {
        added.push_back(supBook);
    }
    added.push_back(empty);
    globals.insert(globals.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
    // With an internal SUPBOOK but no EXTERNSHEET, the internal one is found again.
    return FindInternalExternSheet(globals);
}

// The EXTERNSHEET entry that refers to sheet `sheet` of the internal book
// alone, added at the end when there is none; false when the table is full.
bool ExternSheetEntry(std::vector<GlobalRecord>& globals, std::size_t at, int internalBook,
                      int sheet, std::uint16_t& entry) {
    const std::size_t end = AfterContinues(globals, at);
    Bytes joined;
    for (std::size_t i = at; i < end; ++i) {
        joined.insert(joined.end(), globals[i].data.begin(), globals[i].data.end());
    }
    std::uint16_t count = 0;
    if (!GetU16(joined, 0, count)) {
        return false;
    }
    for (std::uint16_t i = 0; i < count; ++i) {
        std::uint16_t book = 0;
        std::uint16_t first = 0;
        std::uint16_t last = 0;
        const std::size_t xti = 2 + kXtiSize * i;
        if (!GetU16(joined, xti, book) || !GetU16(joined, xti + 2, first) ||
            !GetU16(joined, xti + 4, last)) {
            return false;
        }
        if (book == internalBook && first == sheet && last == sheet) {
            entry = i;
            return true;
        }
    }
    if (count == 0xFFFF || joined.size() != 2 + kXtiSize * count) {
        return false;
    }
    Bytes xti;
    PutU16(xti, static_cast<std::uint16_t>(internalBook));
    PutU16(xti, static_cast<std::uint16_t>(sheet));
    PutU16(xti, static_cast<std::uint16_t>(sheet));
    SetU16(globals[at].data, 0, static_cast<std::uint16_t>(count + 1));
    Bytes& last = globals[end - 1].data;
    if (last.size() + kXtiSize <= kMaxRecordBody) {
        last.insert(last.end(), xti.begin(), xti.end());
    } else {
        GlobalRecord more;
        more.type = kRecordContinue;
        more.data = std::move(xti);
        globals.insert(globals.begin() + static_cast<std::ptrdiff_t>(end), std::move(more));
    }
    entry = count;
    return true;
}

}  // namespace

bool SetFilterNames(BookModel& book, const std::vector<FilterArea>& areas, std::string& error) {
    std::vector<GlobalRecord>& globals = book.globals;
    for (const FilterArea& area : areas) {
        const auto [internalBook, externSheet] = EnsureExternSheet(globals);
        std::uint16_t entry = 0;
        if (internalBook < 0 ||
            !ExternSheetEntry(globals, externSheet, internalBook, area.sheet, entry)) {
            error =
                "the workbook's table of sheet references is full or damaged, so the filter "
                "range of a sheet cannot be named.";
            return false;
        }
        const auto itab = static_cast<std::uint16_t>(area.sheet + 1);
        std::size_t lastName = kNone;
        std::size_t own = kNone;
        for (std::size_t i = 0; i < globals.size(); ++i) {
            if (IsRecord(globals[i], kRecordName)) {
                lastName = i;
                if (own == kNone && IsFilterName(globals[i].data, itab)) {
                    own = i;
                }
            }
        }
        GlobalRecord name;
        name.type = kRecordName;
        name.data = FilterNameBody(area, entry);
        if (own != kNone) {
            // A replaced sheet's name, rewritten in its place.
            globals.erase(
                globals.begin() + static_cast<std::ptrdiff_t>(own + 1),
                globals.begin() + static_cast<std::ptrdiff_t>(AfterContinues(globals, own)));
            globals[own] = std::move(name);
            continue;
        }
        const std::size_t at =
            lastName != kNone ? AfterContinues(globals, lastName)
                              : AfterContinues(globals, FindInternalExternSheet(globals).second);
        globals.insert(globals.begin() + static_cast<std::ptrdiff_t>(at), std::move(name));
    }
    return true;
}

std::vector<ColumnRange> WidenColumns(const std::vector<ColumnRange>& ranges,
                                      const std::vector<std::uint16_t>& widths,
                                      std::uint16_t defaultXf, std::uint32_t defaultWidth) {
    Bytes fitted;
    PutU16(fitted, defaultXf);
    PutU16(fitted, kColInfoFitted);
    PutU16(fitted, 0);
    std::vector<ColumnRange> out;
    std::size_t lastSource = kNone;
    // Column by column: a range at most 65536 wide, and apart from the others.
    const auto add = [&](std::size_t column, std::uint16_t width, const Bytes& rest,
                         std::size_t source) {
        if (!out.empty() && lastSource == source && out.back().last + 1u == column &&
            out.back().width == width) {
            out.back().last = static_cast<std::uint16_t>(column);
            return;
        }
        out.push_back(
            {static_cast<std::uint16_t>(column), static_cast<std::uint16_t>(column), width, rest});
        lastSource = source;
    };
    const auto widthOf = [&](std::size_t column) -> std::uint16_t {
        return column < widths.size() ? widths[column] : 0;
    };
    const auto addFitted = [&](std::size_t from, std::size_t to) {
        for (std::size_t column = from; column < to && column < widths.size(); ++column) {
            if (widths[column] > defaultWidth) {
                add(column, widths[column], fitted, ranges.size());
            }
        }
    };
    std::size_t column = 0;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const ColumnRange& range = ranges[i];
        addFitted(column, range.first);
        for (std::size_t c = range.first; c <= range.last; ++c) {
            add(c, std::max(range.width, widthOf(c)), range.rest, i);
        }
        column = std::size_t{range.last} + 1;
    }
    addFitted(column, widths.size());
    return out;
}

void WriteColInfoRecords(RecordWriter& writer, const std::vector<ColumnRange>& ranges) {
    Bytes& out = writer.out();
    for (const ColumnRange& range : ranges) {
        writer.Begin(kRecordColInfo);
        PutU16(out, range.first);
        PutU16(out, range.last);
        PutU16(out, range.width);
        PutBytes(out, range.rest);
        writer.End();
    }
}

std::vector<std::uint16_t> FittedWidths(const SheetLayout* layout) {
    std::vector<std::uint16_t> widths;
    if (layout == nullptr || !layout->autoFit) {
        return widths;
    }
    for (std::size_t column = 0; column < layout->characters.size(); ++column) {
        const double width = FittedColumnWidth(layout->characters[column]);
        if (width > 0) {
            widths.resize(column + 1, 0);
            widths[column] = static_cast<std::uint16_t>(std::lround(width * 256));
        }
    }
    return widths;
}

}  // namespace workbook::xls
