// SPDX-License-Identifier: MIT
// Worksheet parts. Cells are formatted straight into the deflater's buffer
// and leave memory in 1 MiB chunks, so a sheet of any length needs only a
// few MiB. A loaded sheet that gets new rows is rewritten at save by
// streaming its original XML through: the new rows go in before
// </sheetData>, the dimension is widened, every other byte stays.
#include "workbook/xlsx/worksheet_part.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <vector>

#include "workbook/limits.h"
#include "workbook/xlsx/package_parts.h"
#include "workbook/xlsx/xml_reader.h"
#include "workbook/xlsx/xml_writer.h"
#include "workbook/xlsx/zip_reader.h"
#include "workbook/xlsx/zip_writer.h"

namespace workbook::xlsx {
namespace {

// Worker threads per compressed stream; the machine we aim at has two cores.
int CompressionThreads() {
    return 2;
}

// Estimated bytes beyond which an entry needs 64-bit sizes from the start.
constexpr std::uint64_t kLargeEntryThreshold = 0xF0000000u;

void AppendNumber(std::string& out, long long value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, static_cast<std::size_t>(result.ptr - digits));
}

void AppendColumn(std::string& out, int column) {
    char letters[4];
    int length = 0;
    for (int value = column + 1; value > 0; value = (value - 1) / 26) {
        letters[length++] = static_cast<char>('A' + (value - 1) % 26);
    }
    while (length > 0) {
        out += letters[--length];
    }
}

// Collects one zip entry's deflate pieces and their combined checksum.
class EntryAssembler : public ByteSink {
public:
    explicit EntryAssembler(ZipWriter& zip) : zip_(zip) {}
    bool Write(std::span<const char> bytes, std::string& error) override {
        return zip_.WriteData(bytes, error);
    }
    void Add(const DeflateTotals& piece) {
        totals_.crc = static_cast<std::uint32_t>(
            crc32_combine(totals_.crc, piece.crc, static_cast<z_off_t>(piece.rawSize)));
        totals_.rawSize += piece.rawSize;
        totals_.packedSize += piece.packedSize;
    }
    bool AddText(std::string_view text, std::string& error) {
        DeflateTotals piece;
        if (!DeflateWhole(text, *this, piece, error)) {
            return false;
        }
        Add(piece);
        return true;
    }
    // Copies compressed rows from a scratch file.
    bool AddScratch(platform::File& scratch, const DeflateTotals& piece, std::string& error) {
        std::vector<char> buffer(std::size_t{1} << 20);
        std::uint64_t done = 0;
        while (done < piece.packedSize) {
            const std::size_t take = static_cast<std::size_t>(
                std::min<std::uint64_t>(buffer.size(), piece.packedSize - done));
            if (!scratch.ReadAt(done, std::span<char>(buffer).first(take))) {
                error = "Cannot read temporary sheet data: " + scratch.ErrorText();
                return false;
            }
            if (!zip_.WriteData(std::span<const char>(buffer).first(take), error)) {
                return false;
            }
            done += take;
        }
        Add(piece);
        return true;
    }
    bool Finish(std::string& error) {
        if (!zip_.WriteData(kFinalEmptyBlock, error)) {
            return false;
        }
        totals_.packedSize += sizeof kFinalEmptyBlock;
        return zip_.EndEntry(totals_.crc, totals_.packedSize, totals_.rawSize, error);
    }

private:
    ZipWriter& zip_;
    DeflateTotals totals_;
};

int ParseRowNumber(std::string_view text) {
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() ? value : -1;
}

class LayoutHandler : public XmlHandler {
public:
    explicit LayoutHandler(WorksheetLayout& layout) : layout_(layout) {}
    void Start(const XmlElement& element) override {
        if (element.depth == 2 && element.local == "dimension") {
            layout_.dimensionOffset = element.offset;
            layout_.dimensionTag = std::string(element.raw);
        } else if (element.depth == 2 && element.local == "sheetData") {
            layout_.sheetDataFound = true;
            layout_.sheetDataOffset = element.offset;
            layout_.sheetDataLength = element.length;
            layout_.prefix = TagPrefix(element.raw);
            inSheetData_ = true;
        } else if (element.depth == 3 && inSheetData_ && element.local == "row") {
            const std::string_view r = element.Get("r");
            const int number = r.empty() ? lastRow_ + 1 : ParseRowNumber(r);
            lastRow_ = number > 0 ? number : lastRow_ + 1;
            maxRow_ = std::max(maxRow_, lastRow_);
        }
    }
    void End(const XmlElement& element) override {
        if (element.depth == 2 && element.local == "sheetData") {
            layout_.sheetDataEmpty = element.length == 0;
            layout_.sheetDataEnd = element.offset;
            layout_.nextRow = maxRow_;
            stop = true;
        }
    }

private:
    WorksheetLayout& layout_;
    bool inSheetData_ = false;
    int lastRow_ = 0;
    int maxRow_ = 0;
};

// Splits a reference such as "B3" into zero-based row and column; false when malformed.
bool ParseCellReference(std::string_view text, int& row, int& column) {
    std::size_t i = 0;
    long long columnNumber = 0;
    while (i < text.size() && text[i] >= 'A' && text[i] <= 'Z' && columnNumber <= kXlsxMaxColumns) {
        columnNumber = columnNumber * 26 + (text[i] - 'A' + 1);
        ++i;
    }
    const int rowNumber = ParseRowNumber(text.substr(i));
    if (i == 0 || rowNumber <= 0 || columnNumber > kXlsxMaxColumns) {
        return false;
    }
    row = rowNumber - 1;
    column = static_cast<int>(columnNumber - 1);
    return true;
}

// Runs a write; memory or thread exhaustion becomes a failed write, never an exception.
template <typename Write>
bool Guarded(std::string& error, BookStatus& status, Write write) {
    try {
        return write();
    } catch (const std::exception&) {
        error = "Out of memory or threads while writing a cell.";
        status = BookStatus::kOutOfMemory;
        return false;
    }
}

}  // namespace

bool WriteTextEntry(ZipWriter& zip, const std::string& name, std::string_view text,
                    std::string& error) {
    ZipEntryInfo info;
    info.name = name;
    CurrentDosTime(info.dosTime, info.dosDate);
    if (!zip.BeginEntry(info, false, error)) {
        return false;
    }
    EntryAssembler entry(zip);
    return entry.AddText(text, error) && entry.Finish(error);
}

std::string ColumnLetters(int column) {
    std::string out;
    AppendColumn(out, column);
    return out;
}

void XlsxSheet::SetLoaded(const ZipReader& archive, int entryIndex, std::string partName) {
    archive_ = &archive;
    entryIndex_ = entryIndex;
    partName_ = std::move(partName);
}

bool XlsxSheet::Scan(std::string& error) const {
    if (scanned_) {
        error = scanError_;
        return scanError_.empty();
    }
    scanned_ = true;
    try {
        return ScanPart(error);
    } catch (const std::exception&) {
        scanError_ = "Out of memory while reading the sheet " + name_ + ".";
        error = scanError_;
        return false;
    }
}

bool XlsxSheet::ScanPart(std::string& error) const {
    LayoutHandler handler(layout_);
    XmlParser parser(handler);
    const ZipEntry& entry = archive_->entries()[static_cast<std::size_t>(entryIndex_)];
    std::string failure;
    const bool read = archive_->Inflate(
        entry,
        [&](std::span<const char> piece) {
            return parser.Feed(piece, false, entry.name, failure) && !parser.stopped();
        },
        failure);
    if (failure.empty() && read && !parser.stopped()) {
        (void)parser.Feed({}, true, entry.name, failure);
    }
    if (failure.empty() && !read) {
        failure = "Cannot read the sheet " + name_ + ".";
    }
    if (failure.empty() && !layout_.sheetDataFound) {
        failure = "The sheet " + name_ + " has no cell data element.";
    }
    if (failure.empty() && !layout_.sheetDataEmpty && layout_.sheetDataEnd == 0) {
        failure = "The sheet " + name_ + " is damaged.";
    }
    scanError_ = failure;
    error = failure;
    return failure.empty();
}

int XlsxSheet::LastRow() const {
    if (kind_ != SheetKind::kWorksheet) {
        return 0;
    }
    int next = 0;
    if (loaded()) {
        std::string ignored;
        if (Scan(ignored)) {
            next = layout_.nextRow;
        }
    }
    if (row_ >= 0) {
        next = std::max(next, row_ + 1);
    }
    return next;
}

bool XlsxSheet::BeginCell(int row, int column, const Format* format, std::string& error) {
    if (kind_ != SheetKind::kWorksheet) {
        error = "The sheet \"" + name_ + "\" is a chart sheet; cells cannot be written to it.";
        owner().lastStatus() = BookStatus::kCellRefused;
        return false;
    }
    if (row < 0 || column < 0) {
        error = "Row and column numbers start at 0.";
        owner().lastStatus() = BookStatus::kOutsideSheet;
        return false;
    }
    if (row >= kXlsxMaxRows) {
        error = "Row " + std::to_string(static_cast<long long>(row) + 1) +
                " is beyond the last row of an .xlsx sheet (" + std::to_string(kXlsxMaxRows) + ").";
        owner().lastStatus() = BookStatus::kOutsideSheet;
        return false;
    }
    if (column >= kXlsxMaxColumns) {
        error = "Column " + std::to_string(column + 1) +
                " is beyond the last column of an .xlsx sheet (" + std::to_string(kXlsxMaxColumns) +
                ", XFD).";
        owner().lastStatus() = BookStatus::kOutsideSheet;
        return false;
    }
    if (row < row_ || (row == row_ && (column <= column_ || !rowOpen_))) {
        error = "Cell " + ColumnLetters(column) + std::to_string(row + 1) +
                " comes after cells already written further on; rows and columns must increase.";
        owner().lastStatus() = BookStatus::kCellRefused;
        return false;
    }
    if (format != nullptr) {
        const auto& formats = owner().formats();
        if (format->index < 0 || static_cast<std::size_t>(format->index) >= formats.size() ||
            &formats[static_cast<std::size_t>(format->index)] != format) {
            error = "The format belongs to another book.";
            owner().lastStatus() = BookStatus::kCellRefused;
            return false;
        }
    }
    if (body_ == nullptr) {
        if (loaded()) {
            if (!Scan(error)) {
                owner().lastStatus() = BookStatus::kDamaged;
                return false;
            }
            if (!layout_.prefix.empty()) {
                error = "Rows cannot be added to the sheet " + name_ +
                        ": its XML uses a namespace prefix.";
                owner().lastStatus() = BookStatus::kUnsupported;
                return false;
            }
        }
        if (platform::OpenScratchFile(scratch_, error) != platform::FileStatus::kOk) {
            owner().lastStatus() = BookStatus::kCannotWrite;
            return false;
        }
        sink_ = std::make_unique<FileSink>(scratch_);
        body_ =
            std::make_unique<ChunkDeflater>(*sink_, DefaultDeflateCodec(), CompressionThreads());
        body_->buffer().reserve(ChunkDeflater::kChunkSize + 64 * 1024);
    }
    if (loaded() && row < layout_.nextRow) {
        error = "Row " + std::to_string(row + 1) + " lies among the existing rows of the sheet " +
                name_ + " (they end at row " + std::to_string(layout_.nextRow) +
                "); new rows go below them.";
        owner().lastStatus() = BookStatus::kCellRefused;
        return false;
    }
    std::string& out = body_->buffer();
    if (row != row_) {
        if (rowOpen_) {
            out += "</row>";
        }
        rowNumber_.clear();
        AppendNumber(rowNumber_, static_cast<long long>(row) + 1);
        out += "<row r=\"";
        out += rowNumber_;
        out += "\">";
        row_ = row;
        rowOpen_ = true;
        if (firstRow_ < 0) {
            firstRow_ = row;
        }
    }
    column_ = column;
    firstColumn_ = std::min(firstColumn_, column);
    lastColumn_ = std::max(lastColumn_, column);
    out += "<c r=\"";
    AppendColumn(out, column);
    out += rowNumber_;
    out += '"';
    if (format != nullptr) {
        out += " s=\"";
        AppendNumber(out, static_cast<long long>(styleBase_) + format->index);
        out += '"';
    }
    return true;
}

bool XlsxSheet::EndCell(std::string& error) {
    if (body_->buffer().size() >= ChunkDeflater::kChunkSize) {
        if (!body_->Flush(error)) {
            body_->buffer().clear();
            owner().lastStatus() = BookStatus::kCannotWrite;
            return false;
        }
    }
    return true;
}

bool XlsxSheet::WriteText(int row, int column, std::string_view text, const Format* format,
                          std::string& error) {
    return Guarded(error, owner().lastStatus(),
                   [&] { return WriteTextCell(row, column, text, format, error); });
}

bool XlsxSheet::WriteNumber(int row, int column, double value, const Format* format,
                            std::string& error) {
    return Guarded(error, owner().lastStatus(),
                   [&] { return WriteNumberCell(row, column, value, format, error); });
}

bool XlsxSheet::WriteBool(int row, int column, bool value, const Format* format,
                          std::string& error) {
    return Guarded(error, owner().lastStatus(),
                   [&] { return WriteBoolCell(row, column, value, format, error); });
}

bool XlsxSheet::WriteTextCell(int row, int column, std::string_view text, const Format* format,
                              std::string& error) {
    if (text.size() > static_cast<std::size_t>(kMaxCellCharacters) &&
        Utf16Length(text) > static_cast<std::size_t>(kMaxCellCharacters)) {
        error = "A text of " + std::to_string(Utf16Length(text)) +
                " characters is longer than a cell holds (" + std::to_string(kMaxCellCharacters) +
                ").";
        owner().lastStatus() = BookStatus::kCellTooLong;
        return false;
    }
    if (!BeginCell(row, column, format, error)) {
        return false;
    }
    std::string& out = body_->buffer();
    out += NeedsSpacePreserve(text) ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">"
                                    : " t=\"inlineStr\"><is><t>";
    AppendCellText(out, text);
    out += "</t></is></c>";
    return EndCell(error);
}

bool XlsxSheet::WriteNumberCell(int row, int column, double value, const Format* format,
                                std::string& error) {
    if (!std::isfinite(value)) {
        error = "A cell cannot hold an infinite or undefined number.";
        owner().lastStatus() = BookStatus::kCellRefused;
        return false;
    }
    if (!BeginCell(row, column, format, error)) {
        return false;
    }
    std::string& out = body_->buffer();
    out += "><v>";
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, static_cast<std::size_t>(result.ptr - digits));
    out += "</v></c>";
    return EndCell(error);
}

bool XlsxSheet::WriteBoolCell(int row, int column, bool value, const Format* format,
                              std::string& error) {
    if (!BeginCell(row, column, format, error)) {
        return false;
    }
    body_->buffer() += value ? " t=\"b\"><v>1</v></c>" : " t=\"b\"><v>0</v></c>";
    return EndCell(error);
}

bool XlsxSheet::FinishRows(std::string& error) {
    if (body_ == nullptr) {
        return true;
    }
    if (rowOpen_) {
        body_->buffer() += "</row>";
        rowOpen_ = false;
    }
    return body_->Finish(error);
}

std::string XlsxSheet::DimensionRef(int firstRow, int firstColumn) const {
    std::string ref;
    AppendColumn(ref, firstColumn);
    AppendNumber(ref, static_cast<long long>(firstRow) + 1);
    const int lastRow = std::max(row_, firstRow);
    const int lastColumn = std::max(lastColumn_, firstColumn);
    if (lastRow != firstRow || lastColumn != firstColumn) {
        ref += ':';
        AppendColumn(ref, lastColumn);
        AppendNumber(ref, static_cast<long long>(lastRow) + 1);
    }
    return ref;
}

bool XlsxSheet::WriteEntry(ZipWriter& zip, const std::string& entryName, bool selected,
                           std::string& error) {
    if (loaded()) {
        return WriteAppendedEntry(zip, entryName, error);
    }
    return WriteNewEntry(zip, entryName, selected, error);
}

bool XlsxSheet::WriteNewEntry(ZipWriter& zip, const std::string& entryName, bool selected,
                              std::string& error) {
    std::string header =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<dimension ref=\"";
    header += body_ != nullptr ? DimensionRef(firstRow_, firstColumn_) : std::string("A1");
    header += "\"/><sheetViews><sheetView ";
    header += selected ? "tabSelected=\"1\" " : "";
    header +=
        "workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/><sheetData>";
    const std::string footer =
        "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
        "header=\"0.3\" footer=\"0.3\"/></worksheet>";

    ZipEntryInfo info;
    info.name = entryName;
    CurrentDosTime(info.dosTime, info.dosDate);
    const std::uint64_t estimate = body_ != nullptr ? body_->totals().rawSize : 0;
    if (!zip.BeginEntry(info, estimate > kLargeEntryThreshold, error)) {
        return false;
    }
    EntryAssembler entry(zip);
    if (!entry.AddText(header, error)) {
        return false;
    }
    if (body_ != nullptr && !entry.AddScratch(scratch_, body_->totals(), error)) {
        return false;
    }
    return entry.AddText(footer, error) && entry.Finish(error);
}

bool XlsxSheet::WriteAppendedEntry(ZipWriter& zip, const std::string& entryName,
                                   std::string& error) {
    const ZipEntry& source = archive_->entries()[static_cast<std::size_t>(entryIndex_)];
    if (body_ == nullptr) {
        error = "internal: an unchanged sheet is rewritten.";
        return false;
    }
    // The splices, in order: the dimension, then the rows at the end of sheetData.
    struct Edit {
        std::uint64_t offset;
        std::uint64_t length;
        std::string before;  // text in place of the removed bytes
        bool rows;           // the new rows follow `before`
        std::string after;
    };
    std::vector<Edit> edits;
    if (!layout_.dimensionTag.empty()) {
        std::string tag = layout_.dimensionTag;
        int firstRow = firstRow_;
        int firstColumn = firstColumn_;
        // Keep the existing range's top-left corner when it lies above or left.
        std::string ref;
        const std::size_t at = tag.find("ref=\"");
        if (at != std::string::npos) {
            const std::size_t end = tag.find('"', at + 5);
            ref = tag.substr(at + 5, end == std::string::npos ? 0 : end - at - 5);
        }
        int refRow = 0;
        int refColumn = 0;
        const std::string corner = ref.substr(0, ref.find(':'));
        if (ParseCellReference(corner, refRow, refColumn)) {
            firstRow = std::min(firstRow, refRow);
            firstColumn = std::min(firstColumn, refColumn);
            const std::size_t colon = ref.find(':');
            int endRow = 0;
            int endColumn = 0;
            if (colon != std::string::npos &&
                ParseCellReference(ref.substr(colon + 1), endRow, endColumn)) {
                lastColumn_ = std::max(lastColumn_, endColumn);
            } else {
                lastColumn_ = std::max(lastColumn_, refColumn);
            }
        }
        if (SetAttributeInTag(tag, "ref", DimensionRef(firstRow, firstColumn))) {
            edits.push_back({layout_.dimensionOffset, layout_.dimensionTag.size(), tag, false, {}});
        }
    }
    if (layout_.sheetDataEmpty) {
        edits.push_back({layout_.sheetDataOffset, layout_.sheetDataLength, "<sheetData>", true,
                         "</sheetData>"});
    } else {
        edits.push_back({layout_.sheetDataEnd, 0, {}, true, {}});
    }

    ZipEntryInfo info;
    info.name = entryName;
    info.flags = source.flags & 0x0800;
    CurrentDosTime(info.dosTime, info.dosDate);
    const std::uint64_t estimate = source.rawSize + body_->totals().rawSize;
    if (!zip.BeginEntry(info, estimate > kLargeEntryThreshold, error)) {
        return false;
    }
    EntryAssembler entry(zip);
    auto text = std::make_unique<ChunkDeflater>(entry, DefaultDeflateCodec(), CompressionThreads());
    std::size_t next = 0;        // next edit
    std::uint64_t position = 0;  // offset of the piece's first byte in the original
    std::uint64_t skip = 0;      // original bytes still to drop
    std::string failure;
    const auto closeText = [&]() {
        if (!text->Finish(failure)) {
            return false;
        }
        entry.Add(text->totals());
        text = std::make_unique<ChunkDeflater>(entry, DefaultDeflateCodec(), CompressionThreads());
        return true;
    };
    const auto applyEdit = [&](const Edit& edit) {
        text->buffer() += edit.before;
        if (edit.rows) {
            if (!closeText() || !entry.AddScratch(scratch_, body_->totals(), failure)) {
                return false;
            }
        }
        text->buffer() += edit.after;
        skip = edit.length;
        return true;
    };
    const bool read = archive_->Inflate(
        source,
        [&](std::span<const char> piece) {
            std::size_t at = 0;
            while (at < piece.size()) {
                if (skip > 0) {
                    const std::size_t dropped =
                        static_cast<std::size_t>(std::min<std::uint64_t>(skip, piece.size() - at));
                    skip -= dropped;
                    at += dropped;
                    continue;
                }
                const std::uint64_t here = position + at;
                if (next < edits.size() && edits[next].offset == here) {
                    if (!applyEdit(edits[next++])) {
                        return false;
                    }
                    continue;
                }
                std::size_t take = piece.size() - at;
                if (next < edits.size()) {
                    take = static_cast<std::size_t>(
                        std::min<std::uint64_t>(take, edits[next].offset - here));
                }
                text->buffer().append(piece.data() + at, take);
                at += take;
                if (text->buffer().size() >= ChunkDeflater::kChunkSize && !text->Flush(failure)) {
                    return false;
                }
            }
            position += piece.size();
            return true;
        },
        failure);
    if (!read || !failure.empty()) {
        error = failure.empty() ? "Cannot read the sheet " + name_ + "." : failure;
        return false;
    }
    if (next < edits.size()) {
        error = "The sheet " + name_ + " changed while the workbook was open.";
        return false;
    }
    if (!text->Finish(error)) {
        return false;
    }
    entry.Add(text->totals());
    return entry.Finish(error);
}

}  // namespace workbook::xlsx
