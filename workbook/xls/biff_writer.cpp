// SPDX-License-Identifier: MIT
// Assembles the Workbook stream: the globals (kept records, then the
// generated sheet list, string table and formats in their slots) and one
// substream per sheet. New sheets get the records Excel writes; loaded sheets
// go out as read, with only their stream positions, selection and appended
// rows changed.
#include <algorithm>

#include "workbook/xls/biff_records.h"

namespace workbook::xls {
namespace {

constexpr std::uint16_t kRecordCalcMode = 0x000D;
constexpr std::uint16_t kRecordCalcCount = 0x000C;
constexpr std::uint16_t kRecordRefMode = 0x000F;
constexpr std::uint16_t kRecordIteration = 0x0011;
constexpr std::uint16_t kRecordDelta = 0x0010;
constexpr std::uint16_t kRecordSaveRecalc = 0x005F;
constexpr std::uint16_t kRecordPrintHeaders = 0x002A;
constexpr std::uint16_t kRecordPrintGridlines = 0x002B;
constexpr std::uint16_t kRecordGridSet = 0x0082;
constexpr std::uint16_t kRecordGuts = 0x0080;
constexpr std::uint16_t kRecordDefaultRowHeight = 0x0225;
constexpr std::uint16_t kRecordWsBool = 0x0081;
// WINDOW2 flags of a sheet whose tab is selected and shown.
constexpr std::uint16_t kWindow2Selected = 0x0200;
constexpr std::uint16_t kWindow2Paged = 0x0400;
// The Workbook stream is kept at least this long, so that it never lands
// in the mini stream, which some readers do not expect it in.
constexpr std::size_t kMinimumStreamSize = 4096;

void WriteRawRecord(Bytes& out, std::uint16_t type, ByteSpan data) {
    // Kept records go out exactly as read: their size came from a 16-bit
    // length field, so they need no splitting.
    PutU16(out, type);
    PutU16(out, static_cast<std::uint16_t>(data.size()));
    PutBytes(out, data);
}

void WriteU16Record(RecordWriter& writer, std::uint16_t type, std::uint16_t value) {
    writer.Begin(type);
    PutU16(writer.out(), value);
    writer.End();
}

// BOUNDSHEET8; gives the offset of its stream position field in `out`.
std::size_t WriteBoundSheetRecord(RecordWriter& writer, const SheetModel& sheet) {
    Bytes& out = writer.out();
    writer.Begin(kRecordBoundSheet);
    const std::size_t positionAt = out.size();
    PutU32(out, 0);
    PutU8(out, sheet.hiddenState);
    PutU8(out, sheet.sheetType);
    const bool wide =
        std::any_of(sheet.name.begin(), sheet.name.end(), [](char16_t c) { return c > 0xFF; });
    PutU8(out, static_cast<std::uint8_t>(sheet.name.size()));
    PutU8(out, wide ? 1 : 0);
    for (char16_t c : sheet.name) {
        if (wide) {
            PutU16(out, c);
        } else {
            PutU8(out, static_cast<std::uint8_t>(c));
        }
    }
    writer.End();
    return positionAt;
}

void WriteTabIdRecord(RecordWriter& writer, const std::vector<SheetModel*>& sheets) {
    writer.Begin(kRecordTabId);
    for (const SheetModel* sheet : sheets) {
        PutU16(writer.out(), sheet->tabId);
    }
    writer.End();
}

// SST and EXTSST. A string's header never splits from its first character;
// characters that run into a CONTINUE record get a fresh flags byte there;
// formatting runs move whole; the extension data splits anywhere.
void WriteSharedStringsRecords(RecordWriter& writer, const SharedStrings& strings) {
    Bytes& out = writer.out();
    const std::uint32_t perBucket = std::max<std::uint32_t>(8, (strings.count + 127) / 128);
    struct Bucket {
        std::uint32_t streamAt;
        std::uint16_t inRecord;
    };
    std::vector<Bucket> buckets;
    writer.Begin(kRecordSst);
    PutU32(out, std::max(strings.references, strings.count));
    PutU32(out, strings.count);
    const ByteSpan entries = strings.entries;
    std::size_t at = 0;
    for (std::uint32_t index = 0; index < strings.count; ++index) {
        std::uint16_t chars = 0;
        std::uint8_t flags = 0;
        std::uint16_t runs = 0;
        std::uint32_t extension = 0;
        (void)GetU16(entries, at, chars);
        (void)GetU8(entries, at + 2, flags);
        std::size_t headerSize = 3;
        if ((flags & 0x08) != 0) {
            (void)GetU16(entries, at + headerSize, runs);
            headerSize += 2;
        }
        if ((flags & 0x04) != 0) {
            (void)GetU32(entries, at + headerSize, extension);
            headerSize += 4;
        }
        const std::size_t width = (flags & 0x01) != 0 ? 2 : 1;
        if (writer.Room() < headerSize + (chars > 0 ? width : 0)) {
            writer.Continue();
        }
        if (index % perBucket == 0) {
            buckets.push_back({static_cast<std::uint32_t>(out.size()),
                               static_cast<std::uint16_t>(out.size() - writer.RecordStart())});
        }
        PutBytes(out, entries.subspan(at, headerSize));
        at += headerSize;
        std::size_t left = chars;
        while (left > 0) {
            std::size_t take = std::min(left, writer.Room() / width);
            if (width == 2 && take > 0 && take < left) {
                // Readers decode each record's piece on its own, so a
                // surrogate pair never straddles two records.
                std::uint16_t last = 0;
                (void)GetU16(entries, at + (take - 1) * 2, last);
                if (last >= 0xD800 && last <= 0xDBFF) {
                    --take;
                }
            }
            if (take == 0) {
                writer.Continue();
                PutU8(out, static_cast<std::uint8_t>(flags & 0x01));
                continue;
            }
            PutBytes(out, entries.subspan(at, take * width));
            at += take * width;
            left -= take;
        }
        for (std::uint16_t run = 0; run < runs; ++run) {
            if (writer.Room() < 4) {
                writer.Continue();
            }
            PutBytes(out, entries.subspan(at, 4));
            at += 4;
        }
        std::size_t extensionLeft = extension;
        while (extensionLeft > 0) {
            if (writer.Room() == 0) {
                writer.Continue();
            }
            const std::size_t take = std::min(extensionLeft, writer.Room());
            PutBytes(out, entries.subspan(at, take));
            at += take;
            extensionLeft -= take;
        }
    }
    writer.End();
    writer.Begin(kRecordExtSst);
    PutU16(out, static_cast<std::uint16_t>(perBucket));
    for (const Bucket& bucket : buckets) {
        PutU32(out, bucket.streamAt);
        PutU16(out, bucket.inRecord);
        PutU16(out, 0);
    }
    writer.End();
}

// Sets WINDOW1 to the active tab with one selected tab, and the internal
// SUPBOOK's sheet count to the book's.
void PatchGlobals(BookModel& book, std::size_t sheetCount) {
    const auto active = static_cast<std::uint16_t>(
        std::clamp(book.activeTab, 0, std::max(0, static_cast<int>(sheetCount) - 1)));
    for (GlobalRecord& record : book.globals) {
        if (record.slot != GlobalSlot::kRecord) {
            continue;
        }
        if (record.type == kRecordWindow1 && record.data.size() >= 16) {
            std::uint16_t first = 0;
            (void)GetU16(record.data, 12, first);
            SetU16(record.data, 10, active);
            SetU16(record.data, 12, std::min(first, active));
            SetU16(record.data, 14, 1);
        } else if (record.type == kRecordSupBook && record.data.size() == 4) {
            std::uint16_t marker = 0;
            if (GetU16(record.data, 2, marker) && marker == 0x0401) {
                SetU16(record.data, 0, static_cast<std::uint16_t>(sheetCount));
            }
        }
    }
}

struct GlobalsOutput {
    Bytes bytes;
    std::vector<std::size_t> sheetPositionAt;  // per sheet, in `bytes`
};

void WriteGlobals(const BookModel& book, const std::vector<SheetModel*>& sheets,
                  const std::deque<Format>& formats, GlobalsOutput& output) {
    Bytes& out = output.bytes;
    RecordWriter writer(out);
    for (const GlobalRecord& record : book.globals) {
        switch (record.slot) {
            case GlobalSlot::kRecord:
                // Without the id of the engine that last calculated the book,
                // Excel recalculates every formula on opening: formulas that
                // read a sheet written since then would otherwise show stale
                // results.
                if (record.type != kRecordRecalcId) {
                    WriteRawRecord(out, record.type, record.data);
                }
                break;
            case GlobalSlot::kSheets:
                for (const SheetModel* sheet : sheets) {
                    output.sheetPositionAt.push_back(WriteBoundSheetRecord(writer, *sheet));
                }
                break;
            case GlobalSlot::kSharedStrings:
                WriteSharedStringsRecords(writer, book.strings);
                break;
            case GlobalSlot::kNewFormats:
                for (const Format& format : formats) {
                    writer.Begin(kRecordXf);
                    PutBytes(out, NewXfRecordBody(static_cast<std::uint16_t>(format.numFormat)));
                    writer.End();
                }
                break;
            case GlobalSlot::kTabIds:
                WriteTabIdRecord(writer, sheets);
                break;
        }
    }
}

// A new worksheet: the head up to DIMENSIONS, the cell table, the tail.
void WriteNewSheet(const SheetModel& sheet, bool selected, std::size_t sheetAt,
                   std::deque<Bytes>& buffers, std::vector<ByteSpan>& pieces,
                   std::size_t& streamSize) {
    const CellTable& cells = sheet.cells;
    Bytes& pending = buffers.emplace_back();
    std::vector<std::uint32_t> dbCells = cells.finishedDbCells();
    cells.SerializePending(pending, dbCells);

    Bytes& head = buffers.emplace_back();
    RecordWriter writer(head);
    writer.Begin(kRecordBof);
    PutU16(head, kBiff8Version);
    PutU16(head, kBofWorksheet);
    PutU16(head, 0x0DBB);
    PutU16(head, 0x07CC);
    PutU32(head, 0x000100C1);
    PutU32(head, 0x00000406);
    writer.End();
    writer.Begin(kRecordIndex);
    PutU32(head, 0);
    PutU32(head, cells.empty() ? 0 : static_cast<std::uint32_t>(cells.firstRow()));
    PutU32(head, cells.empty() ? 0 : static_cast<std::uint32_t>(cells.endRow()));
    const std::size_t defColWidthPointerAt = head.size();
    PutU32(head, 0);
    const std::size_t dbCellPointersAt = head.size();
    head.resize(head.size() + 4 * dbCells.size(), 0);
    writer.End();
    WriteU16Record(writer, kRecordCalcMode, 1);
    WriteU16Record(writer, kRecordCalcCount, 100);
    WriteU16Record(writer, kRecordRefMode, 1);
    WriteU16Record(writer, kRecordIteration, 0);
    writer.Begin(kRecordDelta);
    PutF64(head, 0.001);
    writer.End();
    WriteU16Record(writer, kRecordSaveRecalc, 1);
    WriteU16Record(writer, kRecordPrintHeaders, 0);
    WriteU16Record(writer, kRecordPrintGridlines, 0);
    WriteU16Record(writer, kRecordGridSet, 1);
    writer.Begin(kRecordGuts);
    PutU32(head, 0);
    PutU32(head, 0);
    writer.End();
    writer.Begin(kRecordDefaultRowHeight);
    PutU16(head, 0);
    PutU16(head, 0x00FF);
    writer.End();
    WriteU16Record(writer, kRecordWsBool, 0x04C1);
    SetU32(head, defColWidthPointerAt, static_cast<std::uint32_t>(sheetAt + head.size()));
    WriteU16Record(writer, kRecordDefColWidth, 8);
    writer.Begin(kRecordDimensions);
    PutU32(head, cells.empty() ? 0 : static_cast<std::uint32_t>(cells.firstRow()));
    PutU32(head, cells.empty() ? 0 : static_cast<std::uint32_t>(cells.endRow()));
    PutU16(head, cells.empty() ? 0 : static_cast<std::uint16_t>(cells.firstColumn()));
    PutU16(head, cells.empty() ? 0 : static_cast<std::uint16_t>(cells.endColumn()));
    PutU16(head, 0);
    writer.End();
    const std::size_t tableAt = sheetAt + head.size();
    for (std::size_t i = 0; i < dbCells.size(); ++i) {
        SetU32(head, dbCellPointersAt + 4 * i, static_cast<std::uint32_t>(tableAt + dbCells[i]));
    }

    Bytes& tail = buffers.emplace_back();
    RecordWriter tailWriter(tail);
    tailWriter.Begin(kRecordWindow2);
    // Gridlines, headers, zeros, default header colour, outline symbols.
    PutU16(tail,
           static_cast<std::uint16_t>(0x00B6 | (selected ? kWindow2Selected | kWindow2Paged : 0)));
    PutU16(tail, 0);
    PutU16(tail, 0);
    PutU16(tail, 0x40);
    PutU16(tail, 0);
    PutU16(tail, 0);
    PutU16(tail, 0);
    PutU16(tail, 0);
    PutU16(tail, 0);
    tailWriter.End();
    tailWriter.Begin(kRecordEof);
    tailWriter.End();

    for (ByteSpan piece : {ByteSpan(head), cells.finished(), ByteSpan(pending), ByteSpan(tail)}) {
        if (!piece.empty()) {
            pieces.push_back(piece);
            streamSize += piece.size();
        }
    }
}

void SetSelected(std::span<std::uint8_t> bytes, std::size_t window2At, bool selected) {
    std::uint16_t flags = 0;
    if (window2At == LoadedSubstream::kNone || !GetU16(bytes, window2At + 4, flags)) {
        return;
    }
    flags = static_cast<std::uint16_t>(selected ? flags | kWindow2Selected | kWindow2Paged
                                                : flags & ~(kWindow2Selected | kWindow2Paged));
    SetU16(bytes, window2At + 4, flags);
}

// A loaded sheet as read. Its INDEX holds absolute stream positions, which
// move with the sheet; when rows are appended the INDEX goes instead, since
// it can no longer describe the cell table.
void WriteLoadedSheet(const SheetModel& sheet, bool selected, std::size_t sheetAt,
                      std::deque<Bytes>& buffers, std::vector<ByteSpan>& pieces,
                      std::size_t& streamSize) {
    const LoadedSubstream& sub = sheet.substream;
    Bytes& out = buffers.emplace_back();
    if (sheet.cells.empty()) {
        out = sub.bytes;
        std::uint16_t length = 0;
        if (sub.indexAt != LoadedSubstream::kNone && GetU16(out, sub.indexAt + 2, length) &&
            length >= 16) {
            const std::size_t body = sub.indexAt + 4;
            const auto delta = static_cast<std::uint32_t>(sheetAt - sub.originalAt);
            for (std::size_t field = body + 12; field + 4 <= body + length; field += 4) {
                std::uint32_t position = 0;
                (void)GetU32(out, field, position);
                if (position != 0) {
                    SetU32(out, field, position + delta);
                }
            }
        }
        SetSelected(out, sub.window2At, selected);
    } else {
        std::size_t indexLength = 0;
        std::uint16_t length = 0;
        if (sub.indexAt != LoadedSubstream::kNone && GetU16(sub.bytes, sub.indexAt + 2, length)) {
            indexLength = 4u + length;
        }
        const auto moved = [&](std::size_t at) {
            return at == LoadedSubstream::kNone || indexLength == 0 || at < sub.indexAt
                       ? at
                       : at - indexLength;
        };
        const auto source = ByteSpan(sub.bytes);
        if (indexLength > 0) {
            PutBytes(out, source.first(sub.indexAt));
            PutBytes(out, source.subspan(sub.indexAt + indexLength,
                                         sub.cellTableEnd - sub.indexAt - indexLength));
        } else {
            PutBytes(out, source.first(sub.cellTableEnd));
        }
        PutBytes(out, sheet.cells.finished());
        std::vector<std::uint32_t> dbCells;
        sheet.cells.SerializePending(out, dbCells);
        const std::size_t grown = out.size() - moved(sub.cellTableEnd);
        PutBytes(out, source.subspan(sub.cellTableEnd));
        const auto shifted = [&](std::size_t at) {
            const std::size_t m = moved(at);
            return at == LoadedSubstream::kNone || at < sub.cellTableEnd ? m : m + grown;
        };
        std::uint16_t dimensionsLength = 0;
        if (sub.dimensionsAt != LoadedSubstream::kNone &&
            GetU16(out, shifted(sub.dimensionsAt) + 2, dimensionsLength) &&
            dimensionsLength >= kDimensionsLength) {
            // A damaged file may hold a shorter record; patching it would
            // overwrite the headers of the records after it.
            const std::size_t body = shifted(sub.dimensionsAt) + 4;
            std::uint32_t firstRow = 0;
            std::uint32_t endRow = 0;
            std::uint16_t firstColumn = 0;
            std::uint16_t endColumn = 0;
            if (GetU32(out, body, firstRow) && GetU32(out, body + 4, endRow) &&
                GetU16(out, body + 8, firstColumn) && GetU16(out, body + 10, endColumn)) {
                const bool wasEmpty = endRow == 0 || endColumn == 0;
                const auto cellsFirstColumn = static_cast<std::uint16_t>(sheet.cells.firstColumn());
                const auto cellsEndColumn = static_cast<std::uint16_t>(sheet.cells.endColumn());
                SetU32(out, body,
                       wasEmpty ? static_cast<std::uint32_t>(sheet.cells.firstRow())
                                : std::min(firstRow,
                                           static_cast<std::uint32_t>(sheet.cells.firstRow())));
                SetU32(out, body + 4,
                       std::max(endRow, static_cast<std::uint32_t>(sheet.cells.endRow())));
                SetU16(out, body + 8,
                       wasEmpty ? cellsFirstColumn : std::min(firstColumn, cellsFirstColumn));
                SetU16(out, body + 10,
                       wasEmpty ? cellsEndColumn : std::max(endColumn, cellsEndColumn));
            }
        }
        SetSelected(out, shifted(sub.window2At), selected);
    }
    pieces.push_back(out);
    streamSize += out.size();
}

// The offset of the first record of `pieces`, read as one stream, whose
// header or body runs past the end, or kNone when the records chain whole
// to the end.
std::size_t FirstOverrunningRecord(const std::vector<ByteSpan>& pieces) {
    std::size_t piece = 0;
    std::size_t offset = 0;  // in pieces[piece]
    std::size_t at = 0;      // in the stream
    // Moves `count` bytes on; false when the stream ends first.
    const auto skip = [&](std::size_t count) {
        while (count > 0) {
            if (piece == pieces.size()) {
                return false;
            }
            const std::size_t here = std::min(count, pieces[piece].size() - offset);
            offset += here;
            at += here;
            count -= here;
            if (offset == pieces[piece].size()) {
                ++piece;
                offset = 0;
            }
        }
        return true;
    };
    const auto byteAt = [&](std::size_t ahead) -> int {
        std::size_t p = piece;
        std::size_t o = offset + ahead;
        while (p < pieces.size() && o >= pieces[p].size()) {
            o -= pieces[p].size();
            ++p;
        }
        return p < pieces.size() ? pieces[p][o] : -1;
    };
    while (piece < pieces.size()) {
        if (offset == pieces[piece].size()) {
            ++piece;
            offset = 0;
            continue;
        }
        const std::size_t recordAt = at;
        const int low = byteAt(2);
        const int high = byteAt(3);
        if (low < 0 || high < 0 || !skip(4 + static_cast<std::size_t>(low | high << 8))) {
            return recordAt;
        }
    }
    return LoadedSubstream::kNone;
}

}  // namespace

bool BuildWorkbookStream(BookModel& book, const std::vector<SheetModel*>& sheets,
                         const std::deque<Format>& formats, std::deque<Bytes>& buffers,
                         std::vector<ByteSpan>& pieces, std::string& error) {
    PatchGlobals(book, sheets.size());
    GlobalsOutput globals;
    WriteGlobals(book, sheets, formats, globals);
    Bytes& globalsBytes = buffers.emplace_back(std::move(globals.bytes));
    pieces.push_back(globalsBytes);
    std::size_t streamSize = globalsBytes.size();
    const int active =
        std::clamp(book.activeTab, 0, std::max(0, static_cast<int>(sheets.size()) - 1));
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const SheetModel& sheet = *sheets[i];
        if (streamSize > 0xFFFFFFFFu) {
            break;
        }
        SetU32(globalsBytes, globals.sheetPositionAt[i], static_cast<std::uint32_t>(streamSize));
        const bool selected = static_cast<int>(i) == active;
        if (!sheet.loaded) {
            WriteNewSheet(sheet, selected, streamSize, buffers, pieces, streamSize);
        } else if (!sheet.substream.bytes.empty()) {
            WriteLoadedSheet(sheet, selected, streamSize, buffers, pieces, streamSize);
        }
    }
    if (streamSize > 0xFFFFFFFFu) {
        error = "The workbook is too large for the .xls format (more than 4 GiB).";
        return false;
    }
    // A damaged record copied from a loaded file must not turn into a
    // workbook that no reader, this one included, can open again.
    const std::size_t overrun = FirstOverrunningRecord(pieces);
    if (overrun != LoadedSubstream::kNone) {
        error = "The workbook would be written damaged (the record at offset " +
                std::to_string(overrun) + " runs past the end), so it was not saved.";
        return false;
    }
    if (streamSize < kMinimumStreamSize) {
        pieces.push_back(buffers.emplace_back(kMinimumStreamSize - streamSize, 0));
    }
    return true;
}

}  // namespace workbook::xls
