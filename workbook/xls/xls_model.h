// SPDX-License-Identifier: MIT
// What an .xls book holds between load and save. Loaded content stays as
// the records it was read as; only what must change on save (sheet offsets,
// the string table, new formats, sheet references) is modelled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "workbook/xls/byte_io.h"

namespace workbook::xls {

// A workbook globals record, or a slot where the writer puts generated ones.
enum class GlobalSlot : std::uint8_t {
    kRecord,         // `type` and `data` as read or made
    kSheets,         // one BOUNDSHEET8 per sheet
    kSharedStrings,  // SST with its CONTINUE records, then EXTSST
    kNewFormats,     // one cell XF per Format of the book
    kTabIds,         // TABID with one id per sheet
    kXfChecksum,     // XFCRC (`data` as read) made to match the XFs written
};

struct GlobalRecord {
    GlobalSlot slot = GlobalSlot::kRecord;
    std::uint16_t type = 0;
    Bytes data;
};

// Bytes that go to an anonymous scratch file instead of memory, so that a
// book's cells and strings take no more memory however many there are. The
// file is made at the first write; a failure sticks and the save reports it.
class SpillFile {
public:
    // Appends `bytes`; gives their offset in the file.
    std::uint64_t Append(ByteSpan bytes);
    std::uint64_t size() const { return written_ + buffer_.size(); }
    // Passes `length` bytes from `offset` to `sink` in chunks.
    bool Produce(std::uint64_t offset, std::uint64_t length,
                 const std::function<bool(ByteSpan)>& sink);
    // Reads exactly `out.size()` bytes at `offset`.
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out);
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

private:
    bool Flush();

    platform::File file_;
    Bytes buffer_;
    std::uint64_t written_ = 0;
    std::string error_;
};

// Remembers short texts written recently with their string table index, so
// that repeated texts share one entry. Bounded: a fixed number of slots,
// each holding its text, so a match is exact and a text that lost its slot
// merely gets a second entry. Slots go in sets of four; a new text takes the
// one used least recently, so texts that recur stay while those written once
// pass through.
class StringMerger {
public:
    static constexpr std::size_t kMaxText = 32;  // UTF-8 bytes

    // The index of an entry holding exactly `utf8`, when one is remembered.
    bool Find(std::string_view utf8, std::uint32_t& index);
    void Remember(std::string_view utf8, std::uint32_t index);

private:
    static constexpr std::size_t kWays = 4;
    static constexpr std::size_t kSets = std::size_t{1} << 15;
    struct Slot {
        std::uint32_t index = 0;
        std::uint8_t length = 0;
        char text[kMaxText] = {};
    };
    // The set of `utf8` and a fingerprint of it, never 0.
    static std::size_t Locate(std::string_view utf8, std::uint16_t& print);

    // Fingerprints and use stamps apart from the texts, so that a text not
    // remembered costs a look at two small arrays only. Allocated at the
    // first Remember, kSets * kWays each.
    std::vector<std::uint16_t> prints_;  // 0: empty slot
    std::vector<std::uint32_t> used_;    // when last found or remembered
    std::vector<Slot> slots_;
    std::uint32_t clock_ = 0;
};

// The shared string table. Each entry is one XLUnicodeRichExtendedString
// as a single piece: cch, flags, optional run count and extension size,
// characters, runs, extension. The writer splits them over CONTINUEs.
// Entries read from a file stay in memory; entries of texts written since go
// to `spill`, after them in index order.
struct SharedStrings {
    Bytes entries;
    std::uint32_t count = 0;  // entries in all
    std::uint32_t references = 0;
    std::uint32_t loaded = 0;  // entries in `entries`
    SpillFile spill;
    StringMerger merger;
};

// A stretch of a spill file.
struct SpillExtent {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// Cells written through the API, kept as finished records: blocks of up to
// 32 rows, each its ROW records, its cell records and (for new sheets) a
// DBCELL, the layout Excel itself writes. Rows and columns arrive in
// increasing order.
class CellTable {
public:
    // `withDbCells` is false when rows are appended to a loaded sheet,
    // whose INDEX is dropped; `rowsWithRecords` lists rows (ascending) that
    // already have a ROW record there.
    void Configure(bool withDbCells, std::vector<std::uint16_t> rowsWithRecords);

    // Checks the write order; false with a reason when the cell comes
    // before or at the last cell written.
    bool CheckOrder(int row, int column, std::string& error) const;
    // Adds one cell record (`record` is complete, header included) for a
    // position that CheckOrder accepted. Finished row blocks go to `spill`.
    void Add(int row, int column, ByteSpan record, SpillFile& spill);

    bool empty() const { return firstRow_ < 0; }
    int firstRow() const { return firstRow_; }
    int endRow() const { return currentRow_ + 1; }
    int firstColumn() const { return minColumn_; }
    int endColumn() const { return maxColumn_ + 1; }

    // The finished blocks (in the spill file), their size and the offsets of
    // their DBCELL records, counted from the start of the table.
    const std::vector<SpillExtent>& finished() const { return done_; }
    std::uint64_t finishedSize() const { return doneSize_; }
    const std::vector<std::uint32_t>& finishedDbCells() const { return doneDbCells_; }
    // Appends the unfinished block to `out` without closing it, so writes
    // may go on after a save; its DBCELL offset (counted from the start of
    // the whole table) goes to `dbCells`.
    void SerializePending(Bytes& out, std::vector<std::uint32_t>& dbCells) const;

private:
    struct RowSpan {
        std::uint16_t row = 0;
        std::uint16_t firstColumn = 0;
        std::uint16_t endColumn = 0;
        std::uint32_t cellsAt = 0;  // offset of the row's first cell in blockCells_
    };
    void FinishBlock(SpillFile& spill);
    void EmitBlock(Bytes& out, std::vector<std::uint32_t>& dbCells,
                   const std::vector<RowSpan>& rows, ByteSpan cells, std::size_t base) const;
    bool HasRowRecord(std::uint16_t row) const;

    bool withDbCells_ = true;
    std::vector<std::uint16_t> rowsWithRecords_;
    std::vector<SpillExtent> done_;  // finished blocks
    std::uint64_t doneSize_ = 0;
    Bytes blockOut_;  // a finished block on its way to the spill file
    std::vector<std::uint32_t> doneDbCells_;
    std::vector<RowSpan> blockRows_;  // rows of the unfinished block
    Bytes blockCells_;                // cells of the unfinished block
    int firstRow_ = -1;
    int currentRow_ = -1;
    int lastColumn_ = -1;
    int minColumn_ = 0x7FFFFFFF;
    int maxColumn_ = -1;
};

// A sheet substream kept as read, with the places the writer patches.
struct LoadedSubstream {
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    Bytes bytes;                            // BOF to the matching EOF
    std::size_t originalAt = 0;             // its position in the stream read
    std::size_t indexAt = kNone;            // INDEX record (header included)
    std::size_t dimensionsAt = kNone;       // DIMENSIONS record
    std::size_t window2At = kNone;          // WINDOW2 record
    std::size_t cellTableEnd = 0;           // where appended rows go
    int endRow = 0;                         // one past the last row with a cell
    std::vector<std::uint16_t> rowRecords;  // rows with a ROW record, ascending
    std::size_t defColWidthAt = kNone;      // DEFCOLWIDTH record
    std::vector<std::size_t> dbCells;       // DBCELL records of the cell table
};

// BOUNDSHEET8 sheet types.
inline constexpr std::uint8_t kSheetWorksheet = 0x00;
inline constexpr std::uint8_t kSheetVbModule = 0x06;

struct SheetModel {
    std::u16string name;
    std::string nameUtf8;
    std::uint8_t hiddenState = 0;
    std::uint8_t sheetType = kSheetWorksheet;
    std::uint16_t tabId = 0;
    bool loaded = false;
    LoadedSubstream substream;
    CellTable cells;
};

// A 3-D reference (an EXTERNSHEET entry) that a sheet deletion left pointing
// at no sheet, with the deleted sheet's name: a sheet added later under that
// name takes the reference over, so formulas that read a replaced sheet read
// its replacement.
struct OrphanedReference {
    std::size_t entry = 0;
    std::u16string sheetName;
};

struct BookModel {
    std::vector<GlobalRecord> globals;
    SharedStrings strings;
    SpillFile cellSpill;            // the finished row blocks of every sheet's new cells
    std::uint16_t firstNewXf = 21;  // XF index of the book's first Format
    std::uint16_t defaultXf = 15;   // XF of cells written without a Format
    int activeTab = 0;
    std::uint32_t removedNames = 0;  // names made inert after sheet deletions
    std::vector<OrphanedReference> orphanedReferences;
};

}  // namespace workbook::xls
