// SPDX-License-Identifier: MIT
// BIFF8 reader, the mirror of the writer: one function per record it has to
// understand; every other record is kept as read. Every length and count is
// checked against the bytes that remain before anything is allocated.
#include "workbook/xls/biff_reader.h"

#include <algorithm>

#include "workbook/xls/biff_records.h"
#include "workbook/xls/xls_text.h"

namespace workbook::xls {
namespace {

// Substreams nest (a chart inside a worksheet); deeper nesting is damage.
constexpr int kMaxSubstreamDepth = 4;
// A sheet's columns need at most one COLINFO record each; more is damage,
// and is not kept in memory.
constexpr std::size_t kMaxColInfos = 512;

struct Record {
    std::uint16_t type = 0;
    ByteSpan body;
    std::size_t at = 0;  // offset of the header in the stream
    std::size_t end = 0;
};

bool Damaged(std::string& error, const std::string& why) {
    error = "The workbook is damaged: " + why + ".";
    return false;
}

// Reads the records of a stream through a window of its bytes, so that a
// big stream is never in memory whole. A record's body stays valid until
// the next read.
class RecordReader {
public:
    explicit RecordReader(const StreamBytes& stream) : stream_(stream) {}

    // The stream's size; at most the largest file loaded, so it fits.
    std::size_t size() const { return static_cast<std::size_t>(stream_.size()); }

    // The record at `at`, which must end by `limit`.
    bool Read(std::size_t at, std::size_t limit, Record& record, std::string& error) {
        std::uint16_t type = 0;
        std::uint16_t length = 0;
        if (at > limit || limit - at < 4 || !Load(at, 4) ||
            !GetU16(window_, at - windowAt_, type) ||
            !GetU16(window_, at - windowAt_ + 2, length)) {
            return ReadFailed(error,
                              "a record header at offset " + std::to_string(at) + " is cut off");
        }
        if (length > limit - at - 4) {
            return Damaged(error, "the record at offset " + std::to_string(at) +
                                      " runs past the end of the stream");
        }
        if (!Load(at, 4u + length)) {
            return ReadFailed(error, "the record at offset " + std::to_string(at) +
                                         " runs past the end of the stream");
        }
        record.type = type;
        record.body = ByteSpan(window_).subspan(at - windowAt_ + 4, length);
        record.at = at;
        record.end = at + 4 + length;
        return true;
    }

private:
    static constexpr std::size_t kWindow = 64 * 1024;

    // A stream that cannot be read is not damaged; one that ends early is.
    bool ReadFailed(std::string& error, const std::string& damage) {
        if (unreadable_) {
            error = "The workbook cannot be read from its file.";
            return false;
        }
        return Damaged(error, damage);
    }

    // Brings [at, at + count) into the window; false when the stream ends first.
    bool Load(std::size_t at, std::size_t count) {
        if (at >= windowAt_ && at + count <= windowAt_ + window_.size()) {
            return true;
        }
        if (at > size() || count > size() - at) {
            return false;
        }
        window_.resize(std::min(size() - at, std::max(kWindow, count)));
        windowAt_ = at;
        if (!stream_.Read(at, window_)) {
            window_.clear();
            unreadable_ = true;
            return false;
        }
        return true;
    }

    const StreamBytes& stream_;
    Bytes window_;
    std::size_t windowAt_ = 0;
    bool unreadable_ = false;
};

bool CheckBof(const Record& record, std::uint16_t& kind, std::string& error) {
    std::uint16_t version = 0;
    if (record.type != kRecordBof || !GetU16(record.body, 0, version) ||
        !GetU16(record.body, 2, kind)) {
        return Damaged(error, "a substream does not start with a BOF record");
    }
    if (version != kBiff8Version) {
        error =
            "The workbook is in a format older than Excel 97 (BIFF5 or earlier), which cannot be "
            "kept faithfully.";
        return false;
    }
    return true;
}

// The SST's pieces (its body and the CONTINUE bodies after it) read as one
// sequence; character arrays that cross a piece boundary restart with a
// flags byte that gives their width from there on.
// The pieces are read from the stream one at a time, as they are reached.
class StringTableReader {
public:
    // Where a piece's record starts, and its body's length.
    struct Piece {
        std::size_t recordAt = 0;
        std::size_t size = 0;
    };

    StringTableReader(RecordReader& records, std::vector<Piece> pieces)
        : records_(records), pieces_(std::move(pieces)) {
        for (const Piece& piece : pieces_) {
            left_ += piece.size;
        }
    }

    // Reads the first piece; false when it cannot be read.
    bool Start() { return !pieces_.empty() && Enter(0); }

    std::size_t left() const { return left_; }

    bool Bytes(std::size_t count, workbook::xls::Bytes& out) {
        if (count > left_) {
            return false;
        }
        while (count > 0) {
            if (!NextPieceIfDone()) {
                return false;
            }
            const std::size_t take = std::min(count, current_.size() - at_);
            PutBytes(out, current_.subspan(at_, take));
            Advance(take);
            count -= take;
        }
        return true;
    }

    bool U8(std::uint8_t& value) {
        workbook::xls::Bytes raw;
        if (!Bytes(1, raw)) {
            return false;
        }
        value = raw[0];
        return true;
    }
    bool U16(std::uint16_t& value) {
        workbook::xls::Bytes raw;
        return Bytes(2, raw) && GetU16(raw, 0, value);
    }
    bool U32(std::uint32_t& value) {
        workbook::xls::Bytes raw;
        return Bytes(4, raw) && GetU32(raw, 0, value);
    }

    bool Characters(std::size_t count, bool wide, std::u16string& out) {
        if (count > left_) {
            return false;
        }
        out.clear();
        out.reserve(count);
        while (out.size() < count) {
            if (at_ == current_.size()) {
                std::uint8_t flags = 0;
                if (piece_ + 1 >= pieces_.size() || !Enter(piece_ + 1)) {
                    return false;
                }
                if (!U8(flags)) {
                    return false;
                }
                wide = (flags & 0x01) != 0;
                continue;
            }
            const ByteSpan piece = current_;
            const std::size_t width = wide ? 2 : 1;
            const std::size_t take = std::min(count - out.size(), (piece.size() - at_) / width);
            if (take == 0) {
                return false;  // half a character at the end of a piece
            }
            for (std::size_t i = 0; i < take; ++i) {
                out.push_back(wide ? static_cast<char16_t>(LoadLe16(piece.data() + at_ + 2 * i))
                                   : static_cast<char16_t>(piece[at_ + i]));
            }
            Advance(take * width);
        }
        return true;
    }

private:
    bool Enter(std::size_t piece) {
        Record record;
        std::string error;
        piece_ = piece;
        at_ = 0;
        if (!records_.Read(pieces_[piece].recordAt, records_.size(), record, error)) {
            current_ = {};
            return false;
        }
        current_ = record.body;
        return true;
    }
    bool NextPieceIfDone() {
        while (at_ == current_.size()) {
            if (piece_ + 1 >= pieces_.size() || !Enter(piece_ + 1)) {
                return false;
            }
        }
        return true;
    }
    void Advance(std::size_t count) {
        at_ += count;
        left_ -= count;
    }

    RecordReader& records_;
    std::vector<Piece> pieces_;
    ByteSpan current_;  // the body of pieces_[piece_], in the reader's window
    std::size_t piece_ = 0;
    std::size_t at_ = 0;
    std::size_t left_ = 0;
};

// Entries go to the table's spill file as they are read, so a big table
// takes no more memory than a small one.
bool ReadSharedStringsRecord(RecordReader& records, std::vector<StringTableReader::Piece> pieces,
                             SharedStrings& strings, std::string& error) {
    StringTableReader reader(records, std::move(pieces));
    std::uint32_t references = 0;
    std::uint32_t count = 0;
    if (!reader.Start() || !reader.U32(references) || !reader.U32(count)) {
        return Damaged(error, "the shared string table is cut off");
    }
    // Every entry takes at least three bytes.
    if (count > reader.left() / 3) {
        return Damaged(error, "the shared string table claims more strings than it holds");
    }
    std::u16string text;
    Bytes out;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t chars = 0;
        std::uint8_t flags = 0;
        std::uint16_t runs = 0;
        std::uint32_t extension = 0;
        bool ok = reader.U16(chars) && reader.U8(flags);
        if (ok && (flags & 0x08) != 0) {
            ok = reader.U16(runs);
        }
        if (ok && (flags & 0x04) != 0) {
            ok = reader.U32(extension);
        }
        ok = ok && reader.Characters(chars, (flags & 0x01) != 0, text);
        Bytes tail;
        ok = ok && reader.Bytes(std::size_t{runs} * 4, tail) && reader.Bytes(extension, tail);
        if (!ok) {
            return Damaged(error, "string " + std::to_string(i + 1) +
                                      " of the shared string table is cut off");
        }
        const bool wide =
            std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
        out.clear();
        PutU16(out, chars);
        PutU8(out, static_cast<std::uint8_t>((flags & 0x0C) | (wide ? 1 : 0)));
        if ((flags & 0x08) != 0) {
            PutU16(out, runs);
        }
        if ((flags & 0x04) != 0) {
            PutU32(out, extension);
        }
        for (char16_t c : text) {
            if (wide) {
                PutU16(out, c);
            } else {
                PutU8(out, static_cast<std::uint8_t>(c));
            }
        }
        PutBytes(out, tail);
        strings.layout.Add(out);
        (void)strings.spill.Append(out);
    }
    if (strings.spill.failed()) {
        error = "The shared strings cannot be kept: " + strings.spill.error() + ".";
        return false;
    }
    strings.count = count;
    strings.references = references;
    return true;
}

bool ReadBoundSheetRecord(const Record& record, SheetModel& sheet, std::uint32_t& position,
                          std::string& error) {
    ByteReader in(record.body);
    std::uint8_t length = 0;
    std::uint8_t flags = 0;
    if (!in.ReadU32(position) || !in.ReadU8(sheet.hiddenState) || !in.ReadU8(sheet.sheetType) ||
        !in.ReadU8(length) || !in.ReadU8(flags)) {
        return Damaged(error, "a sheet record is cut off");
    }
    const bool wide = (flags & 0x01) != 0;
    ByteSpan chars;
    if (!in.ReadSpan(std::size_t{length} * (wide ? 2 : 1), chars)) {
        return Damaged(error, "a sheet name is cut off");
    }
    for (std::size_t i = 0; i < length; ++i) {
        sheet.name.push_back(wide ? static_cast<char16_t>(LoadLe16(chars.data() + 2 * i))
                                  : static_cast<char16_t>(chars[i]));
    }
    sheet.nameUtf8 = Utf16ToUtf8(sheet.name);
    sheet.loaded = true;
    return true;
}

bool IsCellTableRecord(std::uint16_t type) {
    return IsCellRecord(type) || type == kRecordRow || type == kRecordDbCell ||
           type == kRecordString || type == kRecordArray || type == kRecordSharedFormula ||
           type == kRecordTable;
}

// A record whole, header included, as the writer patches it.
Bytes RecordBytes(const Record& record) {
    Bytes bytes;
    // Reserving first also keeps g++ 12 at -O3 from a false array-bounds
    // warning on the copy below.
    bytes.reserve(4 + record.body.size());
    PutU16(bytes, record.type);
    PutU16(bytes, static_cast<std::uint16_t>(record.body.size()));
    PutBytes(bytes, record.body);
    return bytes;
}

// One sheet substream from its BOF to the EOF at the same depth, within
// `limit`. Only the places the writer patches are noted and copied; the
// substream's bytes stay in the stream.
bool ReadSubstream(RecordReader& stream, std::size_t start, std::size_t limit, LoadedSubstream& sub,
                   std::size_t& end, std::string& error) {
    if (start >= limit) {
        return Damaged(error, "a sheet's stream position lies beyond the end of the stream");
    }
    std::size_t at = start;
    int depth = 0;
    bool inCellTable = false;
    std::size_t afterDimensions = LoadedSubstream::kNone;
    std::size_t lastEof = start;
    do {
        Record record;
        if (!stream.Read(at, limit, record, error)) {
            return false;
        }
        const std::size_t offset = at - start;
        if (record.type == kRecordBof) {
            std::uint16_t kind = 0;
            if (!CheckBof(record, kind, error)) {
                return false;
            }
            if (++depth > kMaxSubstreamDepth) {
                return Damaged(error, "substreams nest too deep");
            }
        } else if (depth == 0) {
            return Damaged(error, "a sheet does not start with a BOF record");
        } else if (record.type == kRecordFilePass) {
            error = "The workbook is encrypted (password to open), which is not supported.";
            return false;
        } else if (depth == 1) {
            if (IsCellTableRecord(record.type)) {
                inCellTable = true;
                sub.cellTableEnd = record.end - start;
                std::uint16_t row = 0;
                if (IsCellRecord(record.type) && GetU16(record.body, 0, row)) {
                    sub.endRow = std::max(sub.endRow, row + 1);
                }
                if (record.type == kRecordRow && GetU16(record.body, 0, row)) {
                    sub.rowRecords.push_back(row);
                }
                if (record.type == kRecordDbCell) {
                    sub.dbCells.push_back(offset);
                }
            } else if (record.type == kRecordContinue && inCellTable) {
                sub.cellTableEnd = record.end - start;
            } else {
                inCellTable = false;
                if (record.type == kRecordIndex && sub.indexAt == LoadedSubstream::kNone) {
                    sub.indexAt = offset;
                    sub.index = RecordBytes(record);
                } else if (record.type == kRecordDimensions &&
                           sub.dimensionsAt == LoadedSubstream::kNone) {
                    sub.dimensionsAt = offset;
                    sub.dimensions = RecordBytes(record);
                    afterDimensions = record.end - start;
                } else if (record.type == kRecordDefColWidth &&
                           sub.defColWidthAt == LoadedSubstream::kNone) {
                    sub.defColWidthAt = offset;
                    sub.colInfosAt = record.end - start;
                    (void)GetU16(record.body, 0, sub.defColWidth);
                } else if (record.type == kRecordStandardWidth) {
                    (void)GetU16(record.body, 0, sub.standardWidth);
                } else if (record.type == kRecordColInfo && sub.colInfosKept) {
                    if (sub.colInfos.size() < kMaxColInfos) {
                        sub.colInfos.push_back({offset, RecordBytes(record)});
                    } else {
                        sub.colInfos.clear();
                        sub.colInfosKept = false;
                    }
                } else if (record.type == kRecordWindow2 &&
                           sub.window2At == LoadedSubstream::kNone) {
                    sub.window2At = offset;
                    sub.window2 = RecordBytes(record);
                }
            }
        }
        if (record.type == kRecordEof) {
            --depth;
            lastEof = offset;
        }
        at = record.end;
    } while (depth > 0);
    if (sub.cellTableEnd == 0) {
        // No cells: new rows go after DIMENSIONS, or else before WINDOW2 or EOF.
        sub.cellTableEnd =
            afterDimensions != LoadedSubstream::kNone
                ? afterDimensions
                : (sub.window2At != LoadedSubstream::kNone ? sub.window2At : lastEof);
    }
    if (sub.indexAt != LoadedSubstream::kNone && sub.indexAt > sub.cellTableEnd) {
        sub.indexAt = LoadedSubstream::kNone;  // not where it belongs: leave it alone
        sub.index.clear();
    }
    // New cells go below the last row with cells, so only ROW records
    // there matter; those above would only take memory as the sheet grows.
    std::erase_if(sub.rowRecords, [&sub](std::uint16_t row) { return row < sub.endRow; });
    std::sort(sub.rowRecords.begin(), sub.rowRecords.end());
    sub.rowRecords.erase(std::unique(sub.rowRecords.begin(), sub.rowRecords.end()),
                         sub.rowRecords.end());
    sub.originalAt = start;
    sub.size = at - start;
    end = at;
    return true;
}

GlobalRecord Kept(const Record& record) {
    GlobalRecord kept;
    kept.type = record.type;
    kept.data.assign(record.body.begin(), record.body.end());
    return kept;
}

GlobalRecord SlotRecord(GlobalSlot slot) {
    GlobalRecord record;
    record.slot = slot;
    return record;
}

// The workbook globals from the stream's first record to their EOF: the
// records kept as read, the slots the writer fills, and each sheet's
// stream position in `positions`. `at` ends just past the globals' EOF.
bool ReadGlobals(RecordReader& stream, LoadedWorkbook& workbook,
                 std::vector<std::uint32_t>& positions, std::size_t& at, std::string& error) {
    BookModel& book = workbook.book;
    std::vector<SheetModel>& sheets = workbook.sheets;
    const std::size_t streamSize = stream.size();
    Record record;
    if (!stream.Read(0, streamSize, record, error)) {
        return false;
    }
    std::uint16_t kind = 0;
    if (!CheckBof(record, kind, error)) {
        return false;
    }
    if (kind != kBofGlobals) {
        return Damaged(error, "the workbook globals are missing");
    }
    book.globals.push_back(Kept(record));
    at = record.end;
    std::size_t tabIdAt = LoadedSubstream::kNone;
    std::size_t lastXfAt = LoadedSubstream::kNone;
    // Counted wide: a hostile file may hold any number of XF records.
    std::size_t xfCount = 0;
    std::uint32_t xfChecksum = 0;
    std::size_t xfCrcAt = LoadedSubstream::kNone;
    bool haveStrings = false;
    bool haveSheets = false;
    bool haveWindow = false;
    for (;;) {
        if (!stream.Read(at, streamSize, record, error)) {
            return false;
        }
        at = record.end;
        switch (record.type) {
            case kRecordFilePass:
                error = "The workbook is encrypted (password to open), which is not supported.";
                return false;
            case kRecordBof:
                return Damaged(error, "the workbook globals have no EOF record");
            case kRecordBoundSheet: {
                SheetModel& sheet = sheets.emplace_back();
                std::uint32_t position = 0;
                if (!ReadBoundSheetRecord(record, sheet, position, error)) {
                    return false;
                }
                positions.push_back(position);
                if (!haveSheets) {
                    book.globals.push_back(SlotRecord(GlobalSlot::kSheets));
                    haveSheets = true;
                }
                continue;
            }
            case kRecordSst: {
                if (haveStrings) {
                    return Damaged(error, "there are two shared string tables");
                }
                std::vector<StringTableReader::Piece> pieces{{record.at, record.body.size()}};
                Record next;
                std::string ignored;  // the loop above reports a damaged record
                while (stream.Read(at, streamSize, next, ignored) && next.type == kRecordContinue) {
                    pieces.push_back({next.at, next.body.size()});
                    at = next.end;
                }
                if (!ReadSharedStringsRecord(stream, std::move(pieces), book.strings, error)) {
                    return false;
                }
                book.globals.push_back(SlotRecord(GlobalSlot::kSharedStrings));
                haveStrings = true;
                continue;
            }
            case kRecordExtSst:
                continue;  // rebuilt with the string table
            case kRecordDateMode: {
                std::uint16_t mode = 0;
                if (!GetU16(record.body, 0, mode)) {
                    return Damaged(error, "the date system record is cut off");
                }
                workbook.date1904 = mode == 1;
                break;
            }
            case kRecordXf:
                if (++xfCount > kMaxXfRecords) {
                    return Damaged(error, "it has more than " + std::to_string(kMaxXfRecords) +
                                              " cell formats (XF records), the most an .xls "
                                              "workbook holds");
                }
                xfChecksum = XfChecksum(xfChecksum, record.body);
                lastXfAt = book.globals.size();
                break;
            case kRecordXfCrc: {
                // Kept for the writer to renew only when it matched the XFs
                // read; a stale one stays stale, so Excel goes on ignoring
                // the XFEXT records it guards.
                std::uint16_t count = 0;
                std::uint32_t crc = 0;
                if (xfCrcAt == LoadedSubstream::kNone && GetU16(record.body, 14, count) &&
                    GetU32(record.body, 16, crc) && count == xfCount && crc == xfChecksum) {
                    xfCrcAt = book.globals.size();
                }
                break;
            }
            case kRecordTabId:
                tabIdAt = book.globals.size();
                break;
            case kRecordWindow1: {
                std::uint16_t active = 0;
                if (!haveWindow && GetU16(record.body, 10, active)) {
                    book.activeTab = active;
                    haveWindow = true;
                }
                break;
            }
            default:
                break;
        }
        book.globals.push_back(Kept(record));
        if (record.type == kRecordEof) {
            break;
        }
    }
    if (!haveStrings) {
        book.globals.insert(book.globals.end() - 1, SlotRecord(GlobalSlot::kSharedStrings));
    }
    if (!haveSheets) {
        return Damaged(error, "the workbook lists no sheets");
    }
    if (xfCount < 16 || lastXfAt == LoadedSubstream::kNone) {
        return Damaged(error, "the workbook has fewer cell formats than every workbook holds");
    }
    if (tabIdAt != LoadedSubstream::kNone) {
        const Bytes& ids = book.globals[tabIdAt].data;
        if (ids.size() == 2 * sheets.size()) {
            for (std::size_t i = 0; i < sheets.size(); ++i) {
                (void)GetU16(ids, 2 * i, sheets[i].tabId);
            }
            book.globals[tabIdAt] = SlotRecord(GlobalSlot::kTabIds);
        }
    }
    if (xfCrcAt != LoadedSubstream::kNone) {
        book.globals[xfCrcAt].slot = GlobalSlot::kXfChecksum;
    }
    book.globals.insert(book.globals.begin() + static_cast<std::ptrdiff_t>(lastXfAt + 1),
                        SlotRecord(GlobalSlot::kNewFormats));
    book.firstNewXf = static_cast<std::uint16_t>(xfCount);
    book.defaultXf = 15;
    book.activeTab = std::min<int>(book.activeTab, static_cast<int>(sheets.size()) - 1);
    return true;
}

// Each sheet's substream, at the positions the globals gave; `at` is where
// the globals end.
bool ReadSheetSubstreams(RecordReader& stream, const std::shared_ptr<const StreamBytes>& source,
                         std::vector<SheetModel>& sheets,
                         const std::vector<std::uint32_t>& positions, std::size_t at,
                         std::string& error) {
    const std::size_t streamSize = stream.size();
    // Each sheet's substream lies after the globals and apart from the
    // others; this also bounds what the copies below take to the stream size.
    // The starts are checked first, in order: each sheet may run only up to
    // the next sheet's start, so a hostile file whose entries all point at
    // one large block is refused at once rather than read once per entry,
    // and the reading below stays bounded by the stream's size.
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (sheets[i].sheetType != kSheetVbModule) {
            starts.push_back(positions[i]);
        }
    }
    std::sort(starts.begin(), starts.end());
    if (std::adjacent_find(starts.begin(), starts.end()) != starts.end()) {
        return Damaged(error, "two sheets share bytes of the stream");
    }
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        SheetModel& sheet = sheets[i];
        if (sheet.sheetType == kSheetVbModule) {
            continue;  // a VBA module has no substream
        }
        if (positions[i] < at) {
            return Damaged(error, "a sheet's stream position lies inside the workbook globals");
        }
        const auto next = std::upper_bound(starts.begin(), starts.end(), positions[i]);
        // A later sheet's start may lie past the stream's end (a damaged
        // file); the stream's end bounds every sheet all the same.
        const std::size_t limit =
            next == starts.end() ? streamSize : std::min<std::size_t>(*next, streamSize);
        std::size_t end = 0;
        if (!ReadSubstream(stream, positions[i], limit, sheet.substream, end, error)) {
            if (limit < streamSize) {
                return Damaged(error, "two sheets share bytes of the stream");
            }
            return false;
        }
        ranges.emplace_back(positions[i], end);
        sheet.cells.Configure(true, std::move(sheet.substream.rowRecords));
    }
    std::sort(ranges.begin(), ranges.end());
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second) {
            return Damaged(error, "two sheets share bytes of the stream");
        }
    }
    for (SheetModel& sheet : sheets) {
        if (sheet.sheetType != kSheetVbModule) {
            sheet.substream.source = source;
        }
    }
    return true;
}

}  // namespace

bool ReadWorkbookStream(const std::shared_ptr<const StreamBytes>& source, LoadedWorkbook& workbook,
                        std::string& error) {
    std::vector<std::uint32_t> positions;
    RecordReader stream(*source);
    std::size_t at = 0;
    return ReadGlobals(stream, workbook, positions, at, error) &&
           ReadSheetSubstreams(stream, source, workbook.sheets, positions, at, error);
}

}  // namespace workbook::xls
