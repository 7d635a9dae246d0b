// SPDX-License-Identifier: MIT
// Assembles the Workbook stream: the globals (kept records, then the
// generated sheet list, string table and formats in their slots) and one
// substream per sheet. New sheets get the records Excel writes; loaded sheets
// go out as read, with only their stream positions, selection, appended
// rows and the widths of the columns those fill changed.
#include <algorithm>
#include <cmath>
#include <memory>

#include "workbook/column_widths.h"
#include "workbook/limits.h"
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
constexpr std::uint16_t kRecordHeader = 0x0014;
constexpr std::uint16_t kRecordFooter = 0x0015;
constexpr std::uint16_t kRecordHCenter = 0x0083;
constexpr std::uint16_t kRecordVCenter = 0x0084;
constexpr std::uint16_t kRecordSetup = 0x00A1;
// SETUP flags: portrait, and no printer settings (fNoPls, fNoOrient), so
// readers take their own defaults for paper, scale and orientation.
constexpr std::uint16_t kSetupFlags = 0x0046;
// WINDOW2 flags of a sheet whose panes are frozen (fFrozen), without a
// split that the user may drag (fFrozenNoSplit).
constexpr std::uint16_t kWindow2Frozen = 0x0108;
// The pane below a frozen row split, where the cursor goes.
constexpr std::uint8_t kPaneBottomLeft = 2;
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

// Records written in chunks to a sink rather than whole into memory, for the
// string table, which can be far larger than anything else in the globals.
class ChunkedRecords {
public:
    explicit ChunkedRecords(const ByteSink& sink) : sink_(sink) {}

    Bytes& out() { return out_; }
    void Begin(std::uint16_t type) {
        start_ = out_.size();
        PutU16(out_, type);
        PutU16(out_, 0);
    }
    std::size_t Room() const {
        const std::size_t body = out_.size() - start_ - 4;
        return body >= kMaxRecordBody ? 0 : kMaxRecordBody - body;
    }
    void Put(ByteSpan bytes) { PutBytes(out_, bytes); }
    void PutByte(std::uint8_t byte) { PutU8(out_, byte); }
    // Bytes written so far, and into the open record.
    std::uint64_t Position() const { return passed_ + out_.size(); }
    std::size_t InRecord() const { return out_.size() - start_; }
    void Continue() {
        End();
        if (out_.size() >= kChunk) {
            Pass();
        }
        Begin(kRecordContinue);
    }
    bool Finish() {
        End();
        Pass();
        return ok_;
    }

private:
    static constexpr std::size_t kChunk = 64 * 1024;
    void End() { SetU16(out_, start_ + 2, static_cast<std::uint16_t>(out_.size() - start_ - 4)); }
    void Pass() {
        ok_ = ok_ && sink_(out_);
        passed_ += out_.size();
        out_.clear();
        start_ = 0;
    }

    const ByteSink& sink_;
    Bytes out_;
    std::size_t start_ = 0;
    std::uint64_t passed_ = 0;
    bool ok_ = true;
};

// The strings in each EXTSST bucket, as the format fixes it: one more than
// count / 128 (rounded down), and at least 8.
std::uint32_t StringsPerBucket(std::uint32_t count) {
    return std::max<std::uint32_t>(8, count / 128 + 1);
}

// The size of the entry that starts `header` (at least its first nine
// bytes, or as many as the entry has): count, flags, the optional run
// count and extension size, then characters, runs and extension.
std::uint64_t SharedStringEntrySize(ByteSpan header) {
    std::uint16_t chars = 0;
    std::uint8_t flags = 0;
    std::uint16_t runs = 0;
    std::uint32_t extension = 0;
    (void)GetU16(header, 0, chars);
    (void)GetU8(header, 2, flags);
    std::uint64_t size = 3;
    if ((flags & 0x08) != 0) {
        (void)GetU16(header, 3, runs);
        size += 2;
    }
    if ((flags & 0x04) != 0) {
        (void)GetU32(header, static_cast<std::size_t>(size), extension);
        size += 4;
    }
    return size + std::uint64_t{chars} * ((flags & 0x01) != 0 ? 2 : 1) + std::uint64_t{runs} * 4 +
           extension;
}

// Calls `visit` with each shared string entry in index order, read back
// from the spill file through a window.
bool ForEachSharedString(SharedStrings& strings, const std::function<void(ByteSpan)>& visit) {
    constexpr std::size_t kWindow = 256 * 1024;
    constexpr std::size_t kLongestHeader = 9;
    Bytes window;
    std::uint64_t windowAt = 0;
    std::uint64_t offset = 0;
    const std::uint64_t end = strings.spill.size();
    const auto have = [&](std::uint64_t from, std::uint64_t count) {
        if (from >= windowAt && from + count <= windowAt + window.size()) {
            return true;
        }
        if (from > end || count > end - from) {
            return false;
        }
        window.resize(static_cast<std::size_t>(
            std::min<std::uint64_t>(end - from, std::max<std::uint64_t>(kWindow, count))));
        windowAt = from;
        return strings.spill.ReadAt(from, window);
    };
    for (std::uint32_t index = 0; index < strings.count; ++index) {
        if (!have(offset, std::min<std::uint64_t>(kLongestHeader, end - std::min(offset, end)))) {
            return false;
        }
        const auto local = static_cast<std::size_t>(offset - windowAt);
        const std::uint64_t size = SharedStringEntrySize(ByteSpan(window).subspan(local));
        if (!have(offset, size)) {
            return false;
        }
        visit(ByteSpan(window).subspan(static_cast<std::size_t>(offset - windowAt),
                                       static_cast<std::size_t>(size)));
        offset += size;
    }
    return true;
}

struct SstBucket {
    std::uint32_t streamAt;
    std::uint16_t inRecord;
};

// Lays one string table entry after those before it, through `records`
// (Room, Continue, Put, PutByte), calling `starting` where its first byte
// goes. A string's header never splits from its first character;
// characters that run into a CONTINUE record get a fresh flags byte there;
// formatting runs move whole; the extension data splits anywhere. The
// writer and SstLayout both lay entries here, so the size promised before
// the save is the size written.
template <typename Records, typename Starting>
void LayEntry(ByteSpan entry, Records& records, const Starting& starting) {
    std::uint16_t chars = 0;
    std::uint8_t flags = 0;
    std::uint16_t runs = 0;
    std::uint32_t extension = 0;
    (void)GetU16(entry, 0, chars);
    (void)GetU8(entry, 2, flags);
    std::size_t headerSize = 3;
    if ((flags & 0x08) != 0) {
        (void)GetU16(entry, headerSize, runs);
        headerSize += 2;
    }
    if ((flags & 0x04) != 0) {
        (void)GetU32(entry, headerSize, extension);
        headerSize += 4;
    }
    const unsigned wide = flags & 0x01;  // characters of two bytes
    const std::size_t width = std::size_t{1} << wide;
    if (records.Room() < headerSize + (chars > 0 ? width : 0)) {
        records.Continue();
    }
    starting();
    records.Put(entry.first(headerSize));
    std::size_t at = headerSize;
    std::size_t left = chars;
    while (left > 0) {
        std::size_t take = std::min(left, records.Room() >> wide);
        if (wide != 0 && take > 0 && take < left) {
            // Readers decode each record's piece on its own, so a
            // surrogate pair never straddles two records.
            std::uint16_t last = 0;
            (void)GetU16(entry, at + (take - 1) * 2, last);
            if (last >= 0xD800 && last <= 0xDBFF) {
                --take;
            }
        }
        if (take == 0) {
            records.Continue();
            records.PutByte(static_cast<std::uint8_t>(wide));
            continue;
        }
        records.Put(entry.subspan(at, take * width));
        at += take * width;
        left -= take;
    }
    for (std::uint16_t run = 0; run < runs; ++run) {
        if (records.Room() < 4) {
            records.Continue();
        }
        records.Put(entry.subspan(at, 4));
        at += 4;
    }
    std::size_t extensionLeft = extension;
    while (extensionLeft > 0) {
        if (records.Room() == 0) {
            records.Continue();
        }
        const std::size_t take = std::min(extensionLeft, records.Room());
        records.Put(entry.subspan(at, take));
        at += take;
        extensionLeft -= take;
    }
}

// SST with its CONTINUE records, passed to `sink`; `buckets` gets the
// EXTSST entries for a table starting at `streamAt`.
bool WriteSharedStringsRecords(SharedStrings& strings, std::uint64_t streamAt, const ByteSink& sink,
                               std::vector<SstBucket>& buckets) {
    ChunkedRecords writer(sink);
    Bytes& out = writer.out();
    const std::uint32_t perBucket = StringsPerBucket(strings.count);
    buckets.clear();
    writer.Begin(kRecordSst);
    PutU32(out, std::max(strings.references, strings.count));
    PutU32(out, strings.count);
    // Counted down rather than taken modulo: a division for every entry
    // cost a fifth of this loop.
    std::uint32_t untilBucket = 0;
    const bool read = ForEachSharedString(strings, [&](ByteSpan entry) {
        LayEntry(entry, writer, [&] {
            if (untilBucket == 0) {
                buckets.push_back({static_cast<std::uint32_t>(streamAt + writer.Position()),
                                   static_cast<std::uint16_t>(writer.InRecord())});
                untilBucket = perBucket;
            }
            --untilBucket;
        });
    });
    return writer.Finish() && read;
}

// The size of the EXTSST record, header included, for `count` strings.
std::size_t ExtSstRecordSize(std::uint32_t count) {
    const std::uint32_t perBucket = StringsPerBucket(count);
    return 4 + 2 + 8 * std::size_t{(count + perBucket - 1) / perBucket};
}

void WriteExtSstRecord(RecordWriter& writer, const SharedStrings& strings,
                       const std::vector<SstBucket>& buckets) {
    Bytes& out = writer.out();
    writer.Begin(kRecordExtSst);
    PutU16(out, static_cast<std::uint16_t>(StringsPerBucket(strings.count)));
    for (const SstBucket& bucket : buckets) {
        PutU32(out, bucket.streamAt);
        PutU16(out, bucket.inRecord);
        PutU16(out, 0);
    }
    writer.End();
}

// The tab shown on opening: the active one, unless that sheet is hidden (a
// sheet replaced or deleted may leave it on one), then the first visible.
int ShownTab(const BookModel& book, const std::vector<SheetModel*>& sheets) {
    const int active =
        std::clamp(book.activeTab, 0, std::max(0, static_cast<int>(sheets.size()) - 1));
    if (sheets.empty() || sheets[static_cast<std::size_t>(active)]->hiddenState == 0) {
        return active;
    }
    const auto visible = std::find_if(sheets.begin(), sheets.end(), [](const SheetModel* sheet) {
        return sheet->hiddenState == 0;
    });
    return visible == sheets.end() ? active : static_cast<int>(visible - sheets.begin());
}

// Sets WINDOW1 to the active tab with one selected tab, and the internal
// SUPBOOK's sheet count to the book's.
void PatchGlobals(BookModel& book, std::size_t sheetCount, int activeTab) {
    const auto active = static_cast<std::uint16_t>(activeTab);
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

// The Workbook stream as it is assembled: buffers in memory and pieces that
// point into them or into the spill files.
class StreamOut {
public:
    StreamOut(std::deque<Bytes>& buffers, std::vector<StreamPiece>& pieces)
        : buffers_(buffers), pieces_(pieces) {}

    // A buffer to fill; it joins the stream at Close().
    Bytes& Open() { return buffers_.emplace_back(); }
    void Close(const Bytes& buffer) {
        if (!buffer.empty()) {
            pieces_.emplace_back(ByteSpan(buffer));
            size_ += buffer.size();
        }
    }
    void Produced(std::uint64_t size, std::function<bool(const ByteSink&)> produce) {
        if (size > 0) {
            pieces_.emplace_back(size, std::move(produce));
            size_ += size;
        }
    }
    void Spilled(SpillFile& spill, const std::vector<SpillExtent>& extents) {
        for (const SpillExtent& extent : extents) {
            Produced(extent.size, [&spill, extent](const ByteSink& sink) {
                return spill.Produce(extent.offset, extent.size, sink);
            });
        }
    }
    // Bytes of a kept stream, read from it while the file is written.
    void Kept(const std::shared_ptr<const StreamBytes>& source, std::uint64_t at,
              std::uint64_t length) {
        Produced(length, [source, at, length](const ByteSink& sink) {
            return source->Produce(at, length, sink);
        });
    }
    // Bytes in the stream so far, counted in 64 bits so that a stream past
    // what BIFF8's 32-bit positions reach is seen on every platform.
    std::uint64_t size() const { return size_; }

private:
    std::deque<Bytes>& buffers_;
    std::vector<StreamPiece>& pieces_;
    std::uint64_t size_ = 0;
};

// Where a BOUNDSHEET's stream position field is.
struct PositionField {
    Bytes* buffer;
    std::size_t at;
};

// The XFCRC checksum over the XF records as they will be written.
std::uint32_t WrittenXfChecksum(const BookModel& book, const std::deque<Format>& formats) {
    std::uint32_t crc = 0;
    for (const GlobalRecord& record : book.globals) {
        if (record.slot == GlobalSlot::kRecord && record.type == kRecordXf) {
            crc = XfChecksum(crc, record.data);
        } else if (record.slot == GlobalSlot::kNewFormats) {
            for (const Format& format : formats) {
                crc =
                    XfChecksum(crc, NewXfRecordBody(static_cast<std::uint16_t>(format.numFormat)));
            }
        }
    }
    return crc;
}

void WriteGlobals(BookModel& book, const std::vector<SheetModel*>& sheets,
                  const std::deque<Format>& formats, StreamOut& stream,
                  std::vector<PositionField>& sheetPositions) {
    Bytes* out = &stream.Open();
    for (const GlobalRecord& record : book.globals) {
        RecordWriter writer(*out);
        switch (record.slot) {
            case GlobalSlot::kXfChecksum: {
                Bytes data = record.data;
                SetU16(data, 14, static_cast<std::uint16_t>(book.firstNewXf + formats.size()));
                SetU32(data, 16, WrittenXfChecksum(book, formats));
                WriteRawRecord(*out, kRecordXfCrc, data);
                break;
            }
            case GlobalSlot::kRecord:
                // Without the id of the engine that last calculated the book,
                // Excel recalculates every formula on opening: formulas that
                // read a sheet written since then would otherwise show stale
                // results.
                if (record.type != kRecordRecalcId) {
                    WriteRawRecord(*out, record.type, record.data);
                }
                break;
            case GlobalSlot::kSheets:
                for (const SheetModel* sheet : sheets) {
                    sheetPositions.push_back({out, WriteBoundSheetRecord(writer, *sheet)});
                }
                break;
            case GlobalSlot::kSharedStrings: {
                // The table goes out once, while the file is written,
                // straight from the spill file: its size is known from the
                // layout its entries were laid into as they came. The
                // EXTSST buckets it passes on the way go into the record
                // after it.
                stream.Close(*out);
                const std::uint64_t sstAt = stream.size();
                SharedStrings& strings = book.strings;
                auto buckets = std::make_shared<std::vector<SstBucket>>();
                stream.Produced(
                    strings.layout.size, [&strings, sstAt, buckets](const ByteSink& sink) {
                        return WriteSharedStringsRecords(strings, sstAt, sink, *buckets);
                    });
                const std::size_t extSstSize = ExtSstRecordSize(strings.count);
                stream.Produced(extSstSize, [&strings, buckets, extSstSize](const ByteSink& sink) {
                    Bytes bytes;
                    RecordWriter extSst(bytes);
                    WriteExtSstRecord(extSst, strings, *buckets);
                    return bytes.size() == extSstSize && sink(bytes);
                });
                out = &stream.Open();
                break;
            }
            case GlobalSlot::kNewFormats:
                for (const Format& format : formats) {
                    writer.Begin(kRecordXf);
                    PutBytes(*out, NewXfRecordBody(static_cast<std::uint16_t>(format.numFormat)));
                    writer.End();
                }
                break;
            case GlobalSlot::kTabIds:
                WriteTabIdRecord(writer, sheets);
                break;
        }
    }
    stream.Close(*out);
}

// The filter buttons a new sheet asks for, over the cells written since;
// false when it asks for none or has no cells to filter. A loaded sheet
// keeps the filter and panes it has: the run only lays out sheets it makes.
bool FilterAreaOf(const SheetModel& sheet, int index, FilterArea& area) {
    const SheetLayout* layout = sheet.layout;
    if (sheet.loaded || layout == nullptr || layout->filterRow < 0 || layout->lastColumn < 0 ||
        layout->filterRow >= kXlsMaxRows) {
        return false;
    }
    area.sheet = index;
    area.firstRow = layout->filterRow;
    area.lastRow = std::clamp(layout->lastRow, layout->filterRow, kXlsMaxRows - 1);
    area.lastColumn = std::min(layout->lastColumn, kXlsMaxColumns - 1);
    return true;
}

// Rows a new sheet keeps in view; 0 for no frozen pane.
int FrozenRowsOf(const SheetModel& sheet) {
    if (sheet.loaded || sheet.layout == nullptr) {
        return 0;
    }
    return std::clamp(sheet.layout->frozenRows, 0, kXlsMaxRows - 1);
}

// PANE and SELECTION of a pane frozen below `rows` rows: the rows below
// scroll, the cursor sits in their first cell.
void WriteFrozenPaneRecords(RecordWriter& writer, int rows) {
    Bytes& out = writer.out();
    const auto row = static_cast<std::uint16_t>(rows);
    writer.Begin(kRecordPane);
    PutU16(out, 0);    // no column split
    PutU16(out, row);  // the row split
    PutU16(out, row);  // first row shown below it
    PutU16(out, 0);    // first column shown right of it
    PutU8(out, kPaneBottomLeft);
    PutU8(out, 0);
    writer.End();
    writer.Begin(kRecordSelection);
    PutU8(out, kPaneBottomLeft);
    PutU16(out, row);  // active cell
    PutU16(out, 0);
    PutU16(out, 0);  // its range among those selected
    PutU16(out, 1);  // one range: the active cell
    PutU16(out, row);
    PutU16(out, row);
    PutU8(out, 0);
    PutU8(out, 0);
    writer.End();
}

// A new worksheet: the head up to DIMENSIONS, the cell table, the tail.
void WriteNewSheet(const SheetModel& sheet, int index, bool selected, std::uint16_t defaultXf,
                   SpillFile& cellSpill, StreamOut& stream) {
    const std::uint64_t sheetAt = stream.size();
    const CellTable& cells = sheet.cells;
    Bytes& head = stream.Open();
    Bytes& pending = stream.Open();
    std::vector<std::uint32_t> dbCells = cells.finishedDbCells();
    cells.SerializePending(pending, dbCells);

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
    // The page setup every worksheet carries: no header or footer (empty
    // records), not centred, default margins for header and footer.
    writer.Begin(kRecordHeader);
    writer.End();
    writer.Begin(kRecordFooter);
    writer.End();
    WriteU16Record(writer, kRecordHCenter, 0);
    WriteU16Record(writer, kRecordVCenter, 0);
    writer.Begin(kRecordSetup);
    PutU16(head, 0);    // paper size (ignored: no printer settings)
    PutU16(head, 100);  // scale in percent
    PutU16(head, 1);    // first page number
    PutU16(head, 1);    // fit to one page wide
    PutU16(head, 1);    // and one page high
    PutU16(head, kSetupFlags);
    PutU16(head, 0);  // horizontal and vertical print resolution
    PutU16(head, 0);
    PutF64(head, 0.5);  // header and footer margins in inches
    PutF64(head, 0.5);
    PutU16(head, 1);  // copies
    writer.End();
    SetU32(head, defColWidthPointerAt, static_cast<std::uint32_t>(sheetAt + head.size()));
    WriteU16Record(writer, kRecordDefColWidth, 8);
    WriteColInfoRecords(writer, WidenColumns({}, FittedWidths(sheet.layout), defaultXf));
    if (FilterArea area; FilterAreaOf(sheet, index, area)) {
        WriteU16Record(writer, kRecordAutoFilterInfo,
                       static_cast<std::uint16_t>(area.lastColumn + 1));
    }
    writer.Begin(kRecordDimensions);
    PutU32(head, cells.empty() ? 0 : static_cast<std::uint32_t>(cells.firstRow()));
    PutU32(head, cells.empty() ? 0 : static_cast<std::uint32_t>(cells.endRow()));
    PutU16(head, cells.empty() ? 0 : static_cast<std::uint16_t>(cells.firstColumn()));
    PutU16(head, cells.empty() ? 0 : static_cast<std::uint16_t>(cells.endColumn()));
    PutU16(head, 0);
    writer.End();
    const std::uint64_t tableAt = sheetAt + head.size();
    for (std::size_t i = 0; i < dbCells.size(); ++i) {
        SetU32(head, dbCellPointersAt + 4 * i, static_cast<std::uint32_t>(tableAt + dbCells[i]));
    }

    stream.Close(head);
    stream.Spilled(cellSpill, cells.finished());
    stream.Close(pending);
    Bytes& tail = stream.Open();
    RecordWriter tailWriter(tail);
    const int frozenRows = FrozenRowsOf(sheet);
    tailWriter.Begin(kRecordWindow2);
    // Gridlines, headers, zeros, default header colour, outline symbols.
    PutU16(tail,
           static_cast<std::uint16_t>(0x00B6 | (selected ? kWindow2Selected | kWindow2Paged : 0) |
                                      (frozenRows > 0 ? kWindow2Frozen : 0)));
    PutU16(tail, 0);
    PutU16(tail, 0);
    PutU16(tail, 0x40);
    PutU16(tail, 0);
    PutU16(tail, 0);
    PutU16(tail, 0);
    PutU16(tail, 0);
    PutU16(tail, 0);
    tailWriter.End();
    if (frozenRows > 0) {
        WriteFrozenPaneRecords(tailWriter, frozenRows);
    }
    tailWriter.Begin(kRecordEof);
    tailWriter.End();
    stream.Close(tail);
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

// A record of a loaded substream replaced on writing: `length` bytes at
// `at` (counted from the substream's start as read) become `bytes`. A
// patch of no length puts `bytes` in before the record at `at`.
struct Patch {
    std::size_t at = 0;
    std::size_t length = 0;
    Bytes bytes;
};

// How far the patches move the record that starts at `at` in the
// substream as read: by the growth of every patch that ends by then.
// `after` also counts patches that put bytes in at `at` itself.
std::int64_t Moved(const std::vector<Patch>& patches, std::size_t at, bool after = true) {
    std::int64_t moved = 0;
    for (const Patch& patch : patches) {
        if (patch.at + patch.length <= at && (after || patch.at < at)) {
            moved += static_cast<std::int64_t>(patch.bytes.size()) -
                     static_cast<std::int64_t>(patch.length);
        }
    }
    return moved;
}

// The INDEX of a loaded sheet that takes new rows, made anew from the
// records the reader found: the row range grown by the new rows, DEFCOLWIDTH
// and every DBCELL, old and new, at their new stream positions (`patches`
// are the sheet's other changes). Empty when the sheet's INDEX cannot
// describe it (too short to be one, or more DBCELLs than a record holds),
// so that it is dropped rather than left wrong.
struct RebuiltIndex {
    Bytes record;
    std::size_t oldLength = 0;  // of the record it replaces, header included
};

RebuiltIndex RebuildIndex(const SheetModel& sheet, const std::vector<std::uint32_t>& newDbCells,
                          std::uint64_t sheetAt, const std::vector<Patch>& patches) {
    const LoadedSubstream& sub = sheet.substream;
    RebuiltIndex index;
    std::uint16_t length = 0;
    if (sub.indexAt == LoadedSubstream::kNone || !GetU16(sub.index, 2, length)) {
        return index;
    }
    index.oldLength = 4u + length;
    const std::size_t pointers = sub.dbCells.size() + newDbCells.size();
    std::uint32_t reserved = 0;
    std::uint32_t firstRow = 0;
    std::uint32_t endRow = 0;
    constexpr std::size_t body = 4;
    if (length < 16 || 16 + 4 * pointers > kMaxRecordBody || !GetU32(sub.index, body, reserved) ||
        !GetU32(sub.index, body + 4, firstRow) || !GetU32(sub.index, body + 8, endRow)) {
        return index;
    }
    const auto newLength = static_cast<std::uint16_t>(16 + 4 * pointers);
    // Offsets in the substream as read, moved to the stream written: the
    // INDEX changes size, the other patches may too, and the new rows go in
    // at the end of the cell table, after what is put in before it.
    const auto placed = [&](std::size_t at, bool after) {
        const std::int64_t grown = at < sub.indexAt ? 0 : newLength - length;
        return static_cast<std::uint32_t>(static_cast<std::int64_t>(sheetAt + at) + grown +
                                          Moved(patches, at, after));
    };
    const auto cellsFirst = static_cast<std::uint32_t>(sheet.cells.firstRow());
    const auto cellsEnd = static_cast<std::uint32_t>(sheet.cells.endRow());
    const bool wasEmpty = endRow <= firstRow;
    Bytes& out = index.record;
    PutU16(out, kRecordIndex);
    PutU16(out, newLength);
    PutU32(out, reserved);
    PutU32(out, wasEmpty ? cellsFirst : std::min(firstRow, cellsFirst));
    PutU32(out, wasEmpty ? cellsEnd : std::max(endRow, cellsEnd));
    PutU32(out, sub.defColWidthAt == LoadedSubstream::kNone ? 0 : placed(sub.defColWidthAt, true));
    for (std::size_t at : sub.dbCells) {
        PutU32(out, placed(at, true));
    }
    for (std::uint32_t at : newDbCells) {
        PutU32(out, placed(sub.cellTableEnd, false) + at);
    }
    return index;
}

// The COLINFO records of a loaded sheet widened to the fitted widths of the
// columns written to: patches that put the merged records where the first
// of the old ones stands (or after DEFCOLWIDTH when there are none) and
// take the rest out. None when nothing widens, or when the old records are
// not apart ranges in column order, which no program writes.
void WidenColumnPatches(const SheetModel& sheet, std::uint16_t defaultXf,
                        std::vector<Patch>& patches) {
    const LoadedSubstream& sub = sheet.substream;
    const std::vector<std::uint16_t> widths = FittedWidths(sheet.layout);
    if (widths.empty() || !sub.colInfosKept) {
        return;
    }
    std::vector<ColumnRange> ranges;
    Bytes before;
    for (const LoadedSubstream::KeptRecord& kept : sub.colInfos) {
        ColumnRange range;
        constexpr std::size_t body = 4;
        if (kept.bytes.size() < body + 6 || !GetU16(kept.bytes, body, range.first) ||
            !GetU16(kept.bytes, body + 2, range.last) ||
            !GetU16(kept.bytes, body + 4, range.width) || range.last < range.first ||
            (!ranges.empty() && range.first <= ranges.back().last)) {
            return;
        }
        range.rest.assign(kept.bytes.begin() + body + 6, kept.bytes.end());
        ranges.push_back(std::move(range));
        before.insert(before.end(), kept.bytes.begin(), kept.bytes.end());
    }
    // The width of the columns without a record, in 1/256 of a character:
    // STANDARDWIDTH's, else DEFCOLWIDTH's with the room Excel adds around
    // it, as much as the default width has beyond its eight characters.
    const std::uint32_t defaultWidth =
        sub.standardWidth > 0 ? sub.standardWidth
                              : static_cast<std::uint32_t>(
                                    std::lround((sub.defColWidth + kDefaultColumnWidth - 8) * 256));
    Bytes after;
    RecordWriter writer(after);
    WriteColInfoRecords(writer, WidenColumns(ranges, widths, defaultXf, defaultWidth));
    if (after == before) {
        return;
    }
    if (sub.colInfos.empty()) {
        const std::size_t at =
            sub.colInfosAt != LoadedSubstream::kNone ? sub.colInfosAt : sub.dimensionsAt;
        if (at != LoadedSubstream::kNone) {
            patches.push_back({at, 0, std::move(after)});
        }
        return;
    }
    patches.push_back(
        {sub.colInfos.front().at, sub.colInfos.front().bytes.size(), std::move(after)});
    for (std::size_t i = 1; i < sub.colInfos.size(); ++i) {
        patches.push_back({sub.colInfos[i].at, sub.colInfos[i].bytes.size(), {}});
    }
}

// Widens a DIMENSIONS record (header at `at` in `bytes`) to take the new cells.
void GrowDimensions(Bytes& bytes, std::size_t at, const CellTable& cells) {
    std::uint16_t dimensionsLength = 0;
    // A damaged file may hold a shorter record; patching it would overwrite
    // the headers of the records after it.
    if (!GetU16(bytes, at + 2, dimensionsLength) || dimensionsLength < kDimensionsLength) {
        return;
    }
    const std::size_t body = at + 4;
    std::uint32_t firstRow = 0;
    std::uint32_t endRow = 0;
    std::uint16_t firstColumn = 0;
    std::uint16_t endColumn = 0;
    if (!GetU32(bytes, body, firstRow) || !GetU32(bytes, body + 4, endRow) ||
        !GetU16(bytes, body + 8, firstColumn) || !GetU16(bytes, body + 10, endColumn)) {
        return;
    }
    const bool wasEmpty = endRow == 0 || endColumn == 0;
    const auto cellsFirstRow = static_cast<std::uint32_t>(cells.firstRow());
    const auto cellsFirstColumn = static_cast<std::uint16_t>(cells.firstColumn());
    const auto cellsEndColumn = static_cast<std::uint16_t>(cells.endColumn());
    SetU32(bytes, body, wasEmpty ? cellsFirstRow : std::min(firstRow, cellsFirstRow));
    SetU32(bytes, body + 4, std::max(endRow, static_cast<std::uint32_t>(cells.endRow())));
    SetU16(bytes, body + 8, wasEmpty ? cellsFirstColumn : std::min(firstColumn, cellsFirstColumn));
    SetU16(bytes, body + 10, wasEmpty ? cellsEndColumn : std::max(endColumn, cellsEndColumn));
}

// A loaded sheet as read, its bytes taken from the stream it was read from
// while the file is written; only the records that change are in memory.
// Its INDEX holds absolute stream positions, which move with the sheet. New
// rows go in at the end of its cell table, in row blocks with their own
// DBCELLs, and the INDEX is made anew to list them. Columns written to with
// fitted widths widen its COLINFO records.
void WriteLoadedSheet(const SheetModel& sheet, bool selected, std::uint16_t defaultXf,
                      SpillFile& cellSpill, StreamOut& stream) {
    const std::uint64_t sheetAt = stream.size();
    const LoadedSubstream& sub = sheet.substream;
    const bool grows = !sheet.cells.empty();
    std::vector<Patch> patches;
    WidenColumnPatches(sheet, defaultXf, patches);
    if (grows && sub.dimensionsAt != LoadedSubstream::kNone) {
        Bytes dimensions = sub.dimensions;
        GrowDimensions(dimensions, 0, sheet.cells);
        patches.push_back({sub.dimensionsAt, dimensions.size(), std::move(dimensions)});
    }
    if (sub.window2At != LoadedSubstream::kNone) {
        Bytes window2 = sub.window2;
        SetSelected(window2, 0, selected);
        patches.push_back({sub.window2At, window2.size(), std::move(window2)});
    }
    Bytes* pending = nullptr;
    if (grows) {
        pending = &stream.Open();
        std::vector<std::uint32_t> dbCells = sheet.cells.finishedDbCells();
        sheet.cells.SerializePending(*pending, dbCells);
        RebuiltIndex index = RebuildIndex(sheet, dbCells, sheetAt, patches);
        if (index.oldLength > 0) {
            patches.push_back({sub.indexAt, index.oldLength, std::move(index.record)});
        }
    } else if (sub.indexAt != LoadedSubstream::kNone) {
        Bytes index = sub.index;
        std::uint16_t length = 0;
        if (GetU16(index, 2, length) && length >= 16) {
            const auto delta = static_cast<std::uint32_t>(sheetAt - sub.originalAt);
            for (std::size_t field = 4 + 12; field + 4 <= 4u + length; field += 4) {
                std::uint32_t position = 0;
                (void)GetU32(index, field, position);
                if (position != 0) {
                    const std::int64_t moved =
                        position >= sub.originalAt ? Moved(patches, position - sub.originalAt) : 0;
                    SetU32(index, field, static_cast<std::uint32_t>(position + delta + moved));
                }
            }
        }
        patches.push_back({sub.indexAt, index.size(), std::move(index)});
    }
    // What is put in before a record goes ahead of a patch of that record.
    std::sort(patches.begin(), patches.end(), [](const Patch& a, const Patch& b) {
        return a.at != b.at ? a.at < b.at : a.length < b.length;
    });
    // Every stretch between patches starts and ends at a record's edge, and
    // so does the end of the cell table, where the new rows go.
    std::size_t at = 0;
    bool cellsPlaced = !grows;
    const auto keepUpTo = [&](std::size_t to) {
        if (!cellsPlaced && sub.cellTableEnd >= at && sub.cellTableEnd <= to) {
            stream.Kept(sub.source, sub.originalAt + at, sub.cellTableEnd - at);
            at = sub.cellTableEnd;
            stream.Spilled(cellSpill, sheet.cells.finished());
            stream.Close(*pending);
            cellsPlaced = true;
        }
        stream.Kept(sub.source, sub.originalAt + at, to - at);
        at = to;
    };
    for (Patch& patch : patches) {
        keepUpTo(patch.at);
        Bytes& out = stream.Open();
        out = std::move(patch.bytes);
        stream.Close(out);
        at = patch.at + patch.length;
    }
    keepUpTo(sub.size);
}

constexpr std::uint64_t kNoOverrun = ~std::uint64_t{0};

// The offset of the first record of `pieces`, read as one stream, whose
// header or body runs past the end, or kNoOverrun when the records chain
// whole to the end.
std::uint64_t FirstOverrunningRecord(const std::vector<StreamPiece>& pieces) {
    std::size_t piece = 0;
    std::uint64_t offset = 0;  // in pieces[piece]
    std::uint64_t at = 0;      // in the stream
    // Moves `count` bytes on; false when the stream ends first.
    const auto skip = [&](std::uint64_t count) {
        while (count > 0) {
            if (piece == pieces.size()) {
                return false;
            }
            const std::uint64_t here = std::min(count, pieces[piece].size - offset);
            offset += here;
            at += here;
            count -= here;
            if (offset == pieces[piece].size) {
                ++piece;
                offset = 0;
            }
        }
        return true;
    };
    // Produced pieces hold whole records and are not read: records of our
    // own making, or stretches of a loaded sheet between records' edges,
    // which the reader walked record by record.
    const auto byteAt = [&](std::uint64_t ahead) -> int {
        std::size_t p = piece;
        std::uint64_t o = offset + ahead;
        while (p < pieces.size() && o >= pieces[p].size) {
            o -= pieces[p].size;
            ++p;
        }
        return p < pieces.size() && !pieces[p].produce
                   ? pieces[p].bytes[static_cast<std::size_t>(o)]
                   : -1;
    };
    while (piece < pieces.size()) {
        if (offset == pieces[piece].size || (offset == 0 && pieces[piece].produce)) {
            at += pieces[piece].size - offset;
            ++piece;
            offset = 0;
            continue;
        }
        const std::uint64_t recordAt = at;
        const int low = byteAt(2);
        const int high = byteAt(3);
        if (low < 0 || high < 0 || !skip(4 + static_cast<std::uint64_t>(low | high << 8))) {
            return recordAt;
        }
    }
    return kNoOverrun;
}

}  // namespace

void SstLayout::Add(ByteSpan entry) {
    LayEntry(entry, *this, [] {});
}

bool BuildWorkbookStream(BookModel& book, const std::vector<SheetModel*>& sheets,
                         const std::deque<Format>& formats, std::deque<Bytes>& buffers,
                         std::vector<StreamPiece>& pieces, std::string& error) {
    // The string table is written ahead of the sheets, so it must hold
    // every text the sheets refer to.
    for (SheetModel* sheet : sheets) {
        sheet->cells.ResolveTexts(book.strings);
    }
    for (const SpillFile* spill : {&book.cellSpill, &book.strings.spill}) {
        if (spill->failed()) {
            error = "the cells could not be kept: " + spill->error() + ".";
            return false;
        }
    }
    std::vector<FilterArea> filters;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (FilterArea area; FilterAreaOf(*sheets[i], static_cast<int>(i), area)) {
            filters.push_back(area);
        }
    }
    if (!SetFilterNames(book, filters, error)) {
        return false;
    }
    const int active = ShownTab(book, sheets);
    PatchGlobals(book, sheets.size(), active);
    StreamOut stream(buffers, pieces);
    std::vector<PositionField> sheetPositions;
    WriteGlobals(book, sheets, formats, stream, sheetPositions);
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const SheetModel& sheet = *sheets[i];
        if (stream.size() > 0xFFFFFFFFu) {
            break;
        }
        SetU32(*sheetPositions[i].buffer, sheetPositions[i].at,
               static_cast<std::uint32_t>(stream.size()));
        const bool selected = static_cast<int>(i) == active;
        if (!sheet.loaded) {
            WriteNewSheet(sheet, static_cast<int>(i), selected, book.defaultXf, book.cellSpill,
                          stream);
        } else if (sheet.substream.source) {
            WriteLoadedSheet(sheet, selected, book.defaultXf, book.cellSpill, stream);
        }
    }
    if (stream.size() > 0xFFFFFFFFu) {
        error = "The workbook is too large for the .xls format (more than 4 GiB).";
        return false;
    }
    // A damaged record copied from a loaded file must not turn into a
    // workbook that no reader, this one included, can open again.
    const std::uint64_t overrun = FirstOverrunningRecord(pieces);
    if (overrun != kNoOverrun) {
        error = "The workbook would be written damaged (the record at offset " +
                std::to_string(overrun) + " runs past the end), so it was not saved.";
        return false;
    }
    if (stream.size() < kMinimumStreamSize) {
        stream.Close(
            buffers.emplace_back(static_cast<std::size_t>(kMinimumStreamSize - stream.size()), 0));
    }
    return true;
}

}  // namespace workbook::xls
