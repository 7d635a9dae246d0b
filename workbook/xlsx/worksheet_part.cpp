// SPDX-License-Identifier: MIT
// Worksheet parts. Cells are formatted straight into the deflater's buffer
// and leave memory in 1 MiB chunks, so a sheet of any length needs only a
// few MiB. A loaded sheet that gets new rows is rewritten at save by
// streaming its original XML through: the new rows go in before
// </sheetData>, the dimension is widened, every other byte stays.
#include "workbook/xlsx/worksheet_part.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
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

// Reads a worksheet's head, up to and including the sheetData start tag,
// where it stops: the rows are left to the body scanner below.
class LayoutHandler : public XmlHandler {
public:
    explicit LayoutHandler(WorksheetLayout& layout) : layout_(layout) {}
    void Start(const XmlElement& element) override {
        if (element.depth == 2 && element.local == "dimension") {
            layout_.dimensionOffset = element.offset;
            layout_.dimensionTag = std::string(element.raw);
        } else if (element.depth == 2 && element.local == "cols") {
            layout_.colsOffset = element.offset;
            layout_.colsLength = element.length;
            inCols_ = true;
        } else if (element.depth == 3 && inCols_ && element.local == "col") {
            layout_.columns.push_back(LoadedColumnOf(element));
        } else if (element.depth == 2 && element.local == "sheetData") {
            layout_.sheetDataFound = true;
            layout_.sheetDataOffset = element.offset;
            layout_.sheetDataLength = element.length;
            layout_.prefix = TagPrefix(element.raw);
            layout_.sheetDataEmpty = element.raw.ends_with("/>");
            stop = true;
        }
    }
    void End(const XmlElement& element) override {
        if (element.depth == 2 && inCols_) {
            inCols_ = false;
            if (element.length > 0) {
                layout_.colsLength = element.offset + element.length - layout_.colsOffset;
            }
        }
    }

private:
    static LoadedColumn LoadedColumnOf(const XmlElement& element) {
        LoadedColumn column;
        const auto number = [](std::string_view text) {
            int value = 0;
            const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
            return result.ec == std::errc() && result.ptr == text.data() + text.size() ? value : -1;
        };
        column.min = number(element.Get("min"));
        column.max = number(element.Get("max"));
        const std::string_view width = element.Get("width");
        if (!width.empty()) {
            const auto result =
                std::from_chars(width.data(), width.data() + width.size(), column.width);
            column.hasWidth = result.ec == std::errc();
        }
        // Kept as a self-closing tag; a column element has no content.
        const std::string_view raw = element.raw;
        if (raw.ends_with("/>")) {
            column.tag = std::string(raw);
        } else if (raw.ends_with(">")) {
            column.tag = std::string(raw.substr(0, raw.size() - 1)) + "/>";
        }
        return column;
    }

    WorksheetLayout& layout_;
    bool inCols_ = false;
};

// Finds the row elements and the end tag of a sheetData body without an XML
// parser, since a sheet's rows are nearly all of its bytes and expat would
// spend several times as long on them as inflating does. The body is not
// checked for well-formedness: it is copied as it is when rows are appended.
// A raw '<' outside comments, CDATA sections and processing instructions
// always starts markup (XML allows none in text or attribute values), so
// only the names after each '<' need a look, and the attributes of rows.
// Rows are not told apart by depth: the schema lets them stand only here.
class SheetBodyScanner {
public:
    explicit SheetBodyScanner(std::string_view prefix)
        : rowName_(std::string(prefix) + "row"),
          endName_(std::string(prefix) + "sheetData"),
          lookahead_(endName_.size() + 3) {}

    // Scans the body's next bytes; `position` is the offset of their first
    // byte in the part. False when the body is malformed (`failure` says how).
    bool Feed(std::span<const char> piece, std::uint64_t position, std::string& failure) {
        std::string_view text(piece.data(), piece.size());
        if (!carry_.empty()) {
            // An unfinished construct from the previous piece: read it whole.
            held_.swap(carry_);
            carry_.clear();
            held_.append(text);
            text = held_;
            position = carryPosition_;
        }
        std::size_t i = 0;
        if (section_ != nullptr && !CloseSection(text, position, i)) {
            return true;
        }
        for (;;) {
            const std::size_t at = FindMarkup(text, i);
            if (at == std::string_view::npos) {
                return true;
            }
            const std::string_view rest = text.substr(at);
            if (rest.size() < lookahead_) {
                return Hold(rest, position + at, failure);
            }
            if (rest[1] == '!') {
                if (rest.starts_with("<!--")) {
                    section_ = "-->";
                    i = at + 4;
                } else if (rest.starts_with("<![CDATA[")) {
                    section_ = "]]>";
                    i = at + 9;
                } else {
                    failure = "a declaration inside the cell data";
                    return false;
                }
                if (!CloseSection(text, position, i)) {
                    return true;
                }
            } else if (rest[1] == '?') {
                section_ = "?>";
                i = at + 2;
                if (!CloseSection(text, position, i)) {
                    return true;
                }
            } else if (rest[1] == '/') {
                if (NameStarts(rest.substr(2), endName_)) {
                    end_ = position + at;
                    done_ = true;
                    return true;
                }
                i = at + 2;
            } else if (NameStarts(rest.substr(1), rowName_)) {
                std::string_view number;
                const std::size_t close = RowTagEnd(rest, number);
                if (close == kMalformed) {
                    failure = "a malformed row element";
                    return false;
                }
                if (close == std::string_view::npos) {
                    return Hold(rest, position + at, failure);
                }
                CountRow(number);
                i = at + close + 1;
            } else {
                i = at + 1;
            }
        }
    }

    bool done() const { return done_; }
    std::uint64_t end() const { return end_; }  // offset of the end tag
    int nextRow() const { return maxRow_; }

private:
    static constexpr std::size_t kMalformed = std::string_view::npos - 1;
    // A row's start tag longer than this is taken for a damaged part.
    static constexpr std::size_t kMaxRowTag = std::size_t{1} << 20;

    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    // The next '<' from `from`, eight bytes a time: markup lies a dozen bytes
    // apart in sheet XML, too close for a library search to pay off.
    static std::size_t FindMarkup(std::string_view text, std::size_t from) {
        constexpr std::uint64_t kOnes = 0x0101010101010101u;
        constexpr std::uint64_t kHighs = 0x8080808080808080u;
        constexpr std::uint64_t kLess = kOnes * static_cast<unsigned char>('<');
        std::size_t i = from;
        // The lowest zero byte sets its high bit; bytes above it may err, so
        // only the lowest counts, and that is the first byte on little-endian
        // machines only (big-endian ones take the plain loop below).
        for (; std::endian::native == std::endian::little && i + 8 <= text.size(); i += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + i, 8);
            word ^= kLess;
            const std::uint64_t zero = (word - kOnes) & ~word & kHighs;
            if (zero != 0) {
                return i + static_cast<std::size_t>(std::countr_zero(zero) / 8);
            }
        }
        for (; i < text.size(); ++i) {
            if (text[i] == '<') {
                return i;
            }
        }
        return std::string_view::npos;
    }

    static bool NameStarts(std::string_view text, std::string_view name) {
        if (text.size() <= name.size() || text[0] != name[0] || !text.starts_with(name)) {
            return false;
        }
        const char next = text[name.size()];
        return IsSpace(next) || next == '>' || next == '/';
    }

    // Where the row start tag at the front of `tag` ends (its '>'), with its
    // unprefixed r attribute's value; npos when the tag runs past the text.
    std::size_t RowTagEnd(std::string_view tag, std::string_view& number) const {
        std::size_t j = 1 + rowName_.size();
        for (;;) {
            while (j < tag.size() && IsSpace(tag[j])) {
                ++j;
            }
            if (j >= tag.size()) {
                return std::string_view::npos;
            }
            if (tag[j] == '>') {
                return j;
            }
            if (tag[j] == '/') {
                if (j + 1 >= tag.size()) {
                    return std::string_view::npos;
                }
                return tag[j + 1] == '>' ? j + 1 : kMalformed;
            }
            const std::size_t nameStart = j;
            while (j < tag.size() && tag[j] != '=' && !IsSpace(tag[j]) && tag[j] != '>') {
                ++j;
            }
            const std::string_view name = tag.substr(nameStart, j - nameStart);
            while (j < tag.size() && IsSpace(tag[j])) {
                ++j;
            }
            if (j >= tag.size()) {
                return std::string_view::npos;
            }
            if (tag[j] != '=') {
                return kMalformed;
            }
            ++j;
            while (j < tag.size() && IsSpace(tag[j])) {
                ++j;
            }
            if (j >= tag.size()) {
                return std::string_view::npos;
            }
            const char quote = tag[j];
            if (quote != '"' && quote != '\'') {
                return kMalformed;
            }
            const std::size_t close = tag.find(quote, j + 1);
            if (close == std::string_view::npos) {
                return std::string_view::npos;
            }
            if (name == "r") {
                number = tag.substr(j + 1, close - j - 1);
            }
            j = close + 1;
        }
    }

    void CountRow(std::string_view r) {
        const int number = r.empty() ? lastRow_ + 1 : ParseRowNumber(r);
        lastRow_ = number > 0 ? number : lastRow_ + 1;
        maxRow_ = std::max(maxRow_, lastRow_);
    }

    // Skips to the end of the open comment, CDATA section or instruction;
    // false when it lies beyond `text`, whose tail is then held back.
    bool CloseSection(std::string_view text, std::uint64_t position, std::size_t& i) {
        const std::string_view close = section_;
        const std::size_t found = text.find(close, i);
        if (found == std::string_view::npos) {
            // The closing mark may start in these bytes and end in the next.
            const std::size_t keep =
                std::max(i, text.size() - std::min(text.size(), close.size() - 1));
            carry_.assign(text.substr(keep));
            carryPosition_ = position + keep;
            return false;
        }
        i = found + close.size();
        section_ = nullptr;
        return true;
    }

    bool Hold(std::string_view rest, std::uint64_t position, std::string& failure) {
        if (rest.size() > kMaxRowTag) {
            failure = "a row element too long";
            return false;
        }
        carry_.assign(rest);
        carryPosition_ = position;
        return true;
    }

    const std::string rowName_;
    const std::string endName_;
    const std::size_t lookahead_;    // bytes from a '<' that tell what it starts
    const char* section_ = nullptr;  // closing mark of the open section, if any
    std::string carry_;
    std::uint64_t carryPosition_ = 0;
    std::string held_;
    int lastRow_ = 0;
    int maxRow_ = 0;
    bool done_ = false;
    std::uint64_t end_ = 0;
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
    std::unique_ptr<SheetBodyScanner> body;
    const ZipEntry& entry = archive_->entries()[static_cast<std::size_t>(entryIndex_)];
    std::string failure;
    std::uint64_t position = 0;  // offset of the next piece in the part
    std::string previous;        // the piece before, while expat reads the head
    const auto scanBody = [&](std::span<const char> bytes, std::uint64_t at) {
        std::string problem;
        if (!body->Feed(bytes, at, problem)) {
            failure = "The sheet " + name_ + " is damaged: " + problem + ".";
            return false;
        }
        return !body->done();
    };
    const bool read = archive_->Inflate(
        entry,
        [&](std::span<const char> piece) {
            const std::uint64_t at = position;
            position += piece.size();
            if (body != nullptr) {
                return scanBody(piece, at);
            }
            if (!parser.Feed(piece, false, entry.name, failure)) {
                return false;
            }
            if (!parser.stopped()) {
                previous.assign(piece.data(), piece.size());
                return true;
            }
            if (layout_.sheetDataEmpty) {
                return false;
            }
            body = std::make_unique<SheetBodyScanner>(layout_.prefix);
            const std::uint64_t start = layout_.sheetDataOffset + layout_.sheetDataLength;
            if (start < at) {
                // The start tag ended in the piece before.
                const std::uint64_t back = at - start;
                if (back > previous.size()) {
                    failure = "The sheet " + name_ + " is damaged.";
                    return false;
                }
                const std::size_t from = previous.size() - static_cast<std::size_t>(back);
                if (!scanBody(std::span<const char>(previous).subspan(from), start)) {
                    return false;
                }
                return scanBody(piece, at);
            }
            const std::size_t skip =
                static_cast<std::size_t>(std::min<std::uint64_t>(start - at, piece.size()));
            return scanBody(piece.subspan(skip), at + skip);
        },
        failure);
    if (failure.empty() && read && body == nullptr && !parser.stopped()) {
        (void)parser.Feed({}, true, entry.name, failure);
    }
    if (failure.empty() && !read) {
        failure = "Cannot read the sheet " + name_ + ".";
    }
    if (failure.empty() && !layout_.sheetDataFound) {
        failure = "The sheet " + name_ + " has no cell data element.";
    }
    if (failure.empty() && !layout_.sheetDataEmpty && (body == nullptr || !body->done())) {
        failure = "The sheet " + name_ + " is damaged.";
    }
    if (failure.empty() && body != nullptr) {
        layout_.sheetDataEnd = body->end();
        layout_.nextRow = body->nextRow();
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
    const SheetLayout& asked = layout();
    if (asked.frozenRows > 0) {
        header += "workbookViewId=\"0\">" + FrozenPaneContent(asked.frozenRows) + "</sheetView>";
    } else {
        header += "workbookViewId=\"0\"/>";
    }
    header += "</sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>";
    if (asked.autoFit) {
        header += FittedColsElement(asked.characters);
    }
    header += "<sheetData>";
    std::string footer = "</sheetData>";
    if (const std::string range = FilterRange(asked, false); !range.empty()) {
        footer += "<autoFilter ref=\"" + range + "\"/>";
    }
    footer +=
        "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
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

// The splices, in order: the dimension, then the rows at the end of sheetData.
struct XlsxSheet::Edit {
    std::uint64_t offset;
    std::uint64_t length;
    std::string before;  // text in place of the removed bytes
    bool rows;           // the new rows follow `before`
    std::string after;
};

std::vector<XlsxSheet::Edit> XlsxSheet::AppendedEdits() {
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
    // Fitted widths widen the loaded columns; the frozen pane and filter
    // buttons are only asked of sheets the run writes whole.
    if (layout().autoFit) {
        std::string cols;
        if (layout_.colsLength > 0) {
            if (MergedColsElement(layout_.columns, layout().characters, cols)) {
                edits.push_back({layout_.colsOffset, layout_.colsLength, cols, false, {}});
            }
        } else if (cols = FittedColsElement(layout().characters); !cols.empty()) {
            // cols stands directly before sheetData in a worksheet.
            edits.push_back({layout_.sheetDataOffset, 0, cols, false, {}});
        }
    }
    if (layout_.sheetDataEmpty) {
        edits.push_back({layout_.sheetDataOffset, layout_.sheetDataLength, "<sheetData>", true,
                         "</sheetData>"});
    } else {
        edits.push_back({layout_.sheetDataEnd, 0, {}, true, {}});
    }

    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.offset < b.offset; });
    return edits;
}

bool XlsxSheet::WriteAppendedEntry(ZipWriter& zip, const std::string& entryName,
                                   std::string& error) {
    const ZipEntry& source = archive_->entries()[static_cast<std::size_t>(entryIndex_)];
    if (body_ == nullptr) {
        error = "internal: an unchanged sheet is rewritten.";
        return false;
    }
    const std::vector<Edit> edits = AppendedEdits();

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
