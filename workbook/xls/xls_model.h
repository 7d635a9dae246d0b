// SPDX-License-Identifier: MIT
// What an .xls book holds between load and save. Loaded content stays as
// the records it was read as; only what must change on save (sheet offsets,
// the string table, new formats, sheet references) is modelled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "workbook/book.h"
#include "workbook/le_bytes.h"
#include "workbook/xls/compound_file.h"

namespace workbook::xls {

// The longest record body BIFF8 allows; longer content goes on in CONTINUEs.
inline constexpr std::size_t kMaxRecordBody = 8224;

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

// Remembers the short texts written so far with their string table index,
// so that repeated texts share one entry. Exact: each remembered text is
// kept and compared whole, so a merge is never wrong. Bounded: a fixed
// table, and kept texts up to a fixed size; past either limit new texts are
// no longer remembered (they merely get entries of their own) while those
// already remembered go on merging. Lookups come in batches (a row block's
// texts), so the table and texts a later lookup reads can be fetched from
// memory while an earlier one is settled (Prefetch).
class StringMerger {
public:
    static constexpr std::size_t kMaxText = 32;  // UTF-8 bytes

    static std::uint64_t Hash(std::string_view utf8);
    // Starts loading the slot a lookup of `hash` reads first, and (when
    // `text`) the kept text of the slot's entry.
    void Prefetch(std::uint64_t hash, bool text) const;
    // The index of an entry holding exactly `utf8`, when one is remembered.
    bool Find(std::string_view utf8, std::uint64_t hash, std::uint32_t& index);
    // Remembers `utf8` as the text of entry `index`; cheapest right after a
    // Find of the same text that found nothing.
    void Remember(std::string_view utf8, std::uint64_t hash, std::uint32_t index);

private:
    static constexpr std::size_t kSlots = std::size_t{1} << 19;  // 4 MiB
    static constexpr std::size_t kMaxRemembered = kSlots / 4 * 3;
    static constexpr std::size_t kMaxKept = std::size_t{6} << 20;  // bytes of kept texts
    // An open-addressed slot: a fingerprint of the text (0: empty) and where
    // its index and text are kept, so a miss never touches the texts.
    struct Slot {
        std::uint32_t print = 0;
        std::uint32_t at = 0;
    };
    struct Free {
        void operator()(void* memory) const { std::free(memory); }
    };

    static std::uint32_t Print(std::uint64_t hash) {
        return static_cast<std::uint32_t>(hash >> 32) | 1u;
    }
    // The slot holding `utf8`, or the empty one where it would go.
    std::size_t Search(std::string_view utf8, std::uint64_t hash, bool& found) const;
    std::string_view KeptText(std::uint32_t at) const;

    // Both allocated whole at the first Remember, as pages from the system
    // that only become memory once used, so a small book takes little and a
    // large one never copies them to grow. The slots come zeroed.
    std::unique_ptr<Slot[], Free> slots_;
    std::unique_ptr<std::uint8_t[], Free> kept_;  // per text: index (4 bytes), length, bytes
    std::size_t keptSize_ = 0;
    std::size_t count_ = 0;
    // Where the last Find that found nothing stopped.
    bool missed_ = false;
    const char* missedText_ = nullptr;
    std::size_t missedSize_ = 0;
    std::size_t missedSlot_ = 0;
};

// The string table's SST and CONTINUE records as its entries are laid into
// them, the writer's way, so that their size is known at a save without a
// pass over the table.
struct SstLayout {
    std::uint64_t size = 4 + 8;  // bytes so far, headers included: the SST's and its counts
    std::size_t body = 8;        // bytes in the open record's body

    // Lays one entry after those laid before.
    void Add(ByteSpan entry);

    // The writer's steps, counted.
    std::size_t Room() const { return body >= kMaxRecordBody ? 0 : kMaxRecordBody - body; }
    void Continue() {
        size += 4;
        body = 0;
    }
    void Put(ByteSpan bytes) {
        size += bytes.size();
        body += bytes.size();
    }
    void PutByte(std::uint8_t) {
        ++size;
        ++body;
    }
};

// The shared string table. Each entry is one XLUnicodeRichExtendedString
// as a single piece: cch, flags, optional run count and extension size,
// characters, runs, extension. The writer splits them over CONTINUEs.
// Every entry, read from a file or of a text written since, goes to `spill`
// in index order, so the table takes no memory however large it grows.
struct SharedStrings {
    std::uint32_t count = 0;  // entries in all
    std::uint32_t references = 0;
    SstLayout layout;  // of every entry, laid as each is added
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
    // position that CheckOrder accepted. Finished row blocks go to `spill`,
    // their texts settled in `strings` first.
    void Add(int row, int column, ByteSpan record, SpillFile& spill, SharedStrings& strings);
    // Adds a LABELSST cell for a text of at most StringMerger::kMaxText
    // bytes; its string table entry is settled with the rest of its block.
    void AddText(int row, int column, std::uint16_t xf, std::string_view utf8, SpillFile& spill,
                 SharedStrings& strings);
    // Settles the entries of the texts added since the last call: merged
    // with an equal text, or new. Before a save, since the string table is
    // written ahead of the sheets.
    void ResolveTexts(SharedStrings& strings);

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
    // the whole table) goes to `dbCells`. Its texts must be settled.
    void SerializePending(Bytes& out, std::vector<std::uint32_t>& dbCells) const;

private:
    struct RowSpan {
        std::uint16_t row = 0;
        std::uint16_t firstColumn = 0;
        std::uint16_t endColumn = 0;
        std::uint32_t cellsAt = 0;  // offset of the row's first cell in blockCells_
    };
    // A text cell whose string table index is not settled yet.
    struct PendingText {
        std::uint32_t cellAt = 0;  // its LABELSST record in blockCells_
        std::uint32_t textAt = 0;  // its text in pendingBytes_
        std::uint32_t size = 0;
        std::uint64_t hash = 0;
    };
    // Books a cell at (row, column) in the open block, finishing the block
    // first when the row starts a new one; the caller then appends the record.
    void NoteCell(int row, int column, SpillFile& spill, SharedStrings& strings);
    void FinishBlock(SpillFile& spill, SharedStrings& strings);
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
    std::vector<PendingText> pending_;
    std::string pendingBytes_;
    int firstRow_ = -1;
    int currentRow_ = -1;
    int lastColumn_ = -1;
    int minColumn_ = 0x7FFFFFFF;
    int maxColumn_ = -1;
};

// A sheet substream kept where it was read, with the places the writer
// patches; offsets count from the substream's start.
struct LoadedSubstream {
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::shared_ptr<const StreamBytes> source;  // the stream read; null for none
    std::size_t originalAt = 0;                 // its position in the stream read
    std::size_t size = 0;                       // BOF to the matching EOF
    std::size_t indexAt = kNone;                // INDEX record (header included)
    std::size_t dimensionsAt = kNone;           // DIMENSIONS record
    std::size_t window2At = kNone;              // WINDOW2 record
    Bytes index;                                // those three records as read, headers included
    Bytes dimensions;
    Bytes window2;
    std::size_t cellTableEnd = 0;           // where appended rows go
    int endRow = 0;                         // one past the last row with a cell
    std::vector<std::uint16_t> rowRecords;  // rows from endRow on with a ROW record, ascending
    std::size_t defColWidthAt = kNone;      // DEFCOLWIDTH record
    std::size_t colInfosAt = kNone;         // after DEFCOLWIDTH, where COLINFO records go
    // DEFCOLWIDTH's width in characters and STANDARDWIDTH's in 1/256 of
    // one, which overrides it; 0 for none.
    std::uint16_t defColWidth = 0;
    std::uint16_t standardWidth = 0;
    std::vector<std::size_t> dbCells;  // DBCELL records of the cell table
    // COLINFO records (headers included) with their offsets, in file order;
    // none when there are more than a sheet's columns can need, which only
    // a damaged file has (colInfosKept is false then).
    struct KeptRecord {
        std::size_t at = 0;
        Bytes bytes;
    };
    std::vector<KeptRecord> colInfos;
    bool colInfosKept = true;
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
    // What the sheet's handle asks of its layout; the book points it there
    // before a save. Null for none.
    const SheetLayout* layout = nullptr;
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
