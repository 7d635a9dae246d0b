// SPDX-License-Identifier: MIT
// Row 0 of a loaded sheet, from its cell records, read from the workbook's
// file as the sheet is kept there. The string table is walked once, up to
// the last entry the row uses.
#include "workbook/xls/first_row.h"

#include <algorithm>
#include <functional>
#include <map>
#include <span>

#include "workbook/xls/biff_records.h"
#include "workbook/xls/xls_text.h"

namespace workbook::xls {
namespace {

// Walks a stretch of bytes through windows read on demand, so a sheet or a
// string table of any size is read in bounded memory.
class WindowReader {
public:
    using ReadAt = std::function<bool(std::uint64_t, std::span<std::uint8_t>)>;
    // A string's characters (up to 65,535 UTF-16 units) fit in one window.
    static constexpr std::size_t kWindow = 256 * 1024;

    WindowReader(ReadAt read, std::uint64_t begin, std::uint64_t end)
        : read_(std::move(read)), at_(begin), end_(end) {}

    std::uint64_t left() const { return end_ - at_; }

    // The next `count` bytes (at most kWindow); they stay valid until the
    // next call.
    bool Take(std::size_t count, ByteSpan& out) {
        if (count > kWindow || count > left()) {
            return false;
        }
        if (at_ < windowAt_ || at_ + count > windowAt_ + window_.size()) {
            window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, left())));
            windowAt_ = at_;
            if (!read_(windowAt_, window_)) {
                window_.clear();
                return false;
            }
        }
        out = ByteSpan(window_).subspan(static_cast<std::size_t>(at_ - windowAt_), count);
        at_ += count;
        return true;
    }
    bool Skip(std::uint64_t count) {
        if (count > left()) {
            return false;
        }
        at_ += count;
        return true;
    }
    bool ReadU8(std::uint8_t& value) {
        ByteSpan bytes;
        return Take(1, bytes) && ByteReader(bytes).ReadU8(value);
    }
    bool ReadU16(std::uint16_t& value) {
        ByteSpan bytes;
        return Take(2, bytes) && GetU16(bytes, 0, value);
    }
    bool ReadU32(std::uint32_t& value) {
        ByteSpan bytes;
        return Take(4, bytes) && GetU32(bytes, 0, value);
    }

private:
    ReadAt read_;
    Bytes window_;
    std::uint64_t windowAt_ = 0;
    std::uint64_t at_;
    std::uint64_t end_;
};

// `count` characters after a string's flags byte, one byte each (Latin-1)
// or two (UTF-16LE), as UTF-8.
std::string Characters(ByteSpan bytes, std::uint16_t count, std::uint8_t flags) {
    std::u16string units;
    units.reserve(count);
    const bool wide = (flags & 0x01) != 0;
    for (std::size_t i = 0; i < count; ++i) {
        units.push_back(wide ? static_cast<char16_t>(LoadLe16(bytes.data() + 2 * i))
                             : static_cast<char16_t>(bytes[i]));
    }
    return Utf16ToUtf8(units);
}

std::size_t CharacterBytes(std::uint16_t count, std::uint8_t flags) {
    return static_cast<std::size_t>(count) * ((flags & 0x01) != 0 ? 2 : 1);
}

// XLUnicodeString: a 16-bit count, flags, then the characters.
bool ReadUnicodeString(ByteReader& in, std::string& text) {
    std::uint16_t count = 0;
    std::uint8_t flags = 0;
    ByteSpan bytes;
    if (!in.ReadU16(count) || !in.ReadU8(flags) ||
        !in.ReadSpan(CharacterBytes(count, flags), bytes)) {
        return false;
    }
    text = Characters(bytes, count, flags);
    return true;
}

// Fills the texts of the string-table entries that `wanted` names. Each
// entry is one XLUnicodeRichExtendedString, in index order in the table's
// spill file: count, flags, a run count when rich, an extension size when
// extended, the characters, then the runs and the extension.
bool ReadSharedEntries(SharedStrings& strings, std::map<std::uint32_t, std::string>& wanted) {
    if (wanted.empty()) {
        return true;
    }
    if (wanted.rbegin()->first >= strings.count) {
        return false;
    }
    WindowReader in(
        [&strings](std::uint64_t at, std::span<std::uint8_t> out) {
            return strings.spill.ReadAt(at, out);
        },
        0, strings.spill.size());
    for (std::uint32_t index = 0; index <= wanted.rbegin()->first; ++index) {
        std::uint16_t count = 0;
        std::uint8_t flags = 0;
        std::uint16_t runs = 0;
        std::uint32_t extension = 0;
        if (!in.ReadU16(count) || !in.ReadU8(flags) || ((flags & 0x08) != 0 && !in.ReadU16(runs)) ||
            ((flags & 0x04) != 0 && !in.ReadU32(extension))) {
            return false;
        }
        const auto found = wanted.find(index);
        if (found != wanted.end()) {
            ByteSpan bytes;
            if (!in.Take(CharacterBytes(count, flags), bytes)) {
                return false;
            }
            found->second = Characters(bytes, count, flags);
        } else if (!in.Skip(CharacterBytes(count, flags))) {
            return false;
        }
        if (!in.Skip(4 * std::uint64_t{runs}) || !in.Skip(extension)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadFirstRowTexts(const LoadedSubstream& substream, SharedStrings& strings,
                       std::vector<std::string>& texts) {
    texts.clear();
    std::map<std::uint32_t, std::string> wanted;
    std::map<std::uint16_t, std::uint32_t> sharedAt;  // column: string-table index
    std::map<std::uint16_t, std::string> own;         // column: the record's own text
    if (!substream.source) {
        return false;
    }
    const StreamBytes& stream = *substream.source;
    WindowReader records(
        [&stream](std::uint64_t at, std::span<std::uint8_t> out) { return stream.Read(at, out); },
        substream.originalAt, std::uint64_t{substream.originalAt} + substream.size);
    // Charts embedded in the sheet are substreams of their own, whose data
    // cache holds cell records that are not the sheet's.
    int depth = 0;
    bool cellsSeen = false;
    while (records.left() > 0) {
        std::uint16_t type = 0;
        std::uint16_t length = 0;
        ByteSpan body;
        if (!records.ReadU16(type) || !records.ReadU16(length) || !records.Take(length, body)) {
            return false;
        }
        if (type == kRecordBof || type == kRecordEof) {
            depth += type == kRecordBof ? 1 : -1;
            continue;
        }
        if (depth != 1) {
            continue;
        }
        // A row block's cells come before its DBCELL, and row 0 is in the
        // first block: the rest of a big sheet need not be read.
        if (type == kRecordDbCell && cellsSeen) {
            break;
        }
        std::uint16_t row = 0;
        std::uint16_t column = 0;
        if (!GetU16(body, 0, row) || !GetU16(body, 2, column)) {
            continue;
        }
        cellsSeen = cellsSeen || IsCellRecord(type);
        if (row != 0) {
            continue;
        }
        switch (type) {
            case kRecordLabelSst: {
                std::uint32_t index = 0;
                if (!GetU32(body, 6, index)) {
                    return false;
                }
                sharedAt[column] = index;
                wanted.emplace(index, std::string());
                break;
            }
            case kRecordLabel:
            case kRecordRString: {
                ByteReader in(body);
                if (!in.Skip(6) || !ReadUnicodeString(in, own[column])) {
                    return false;
                }
                break;
            }
            // Only texts can be titles.
            case kRecordNumber:
            case kRecordRk:
            case kRecordMulRk:
            case kRecordBoolErr:
            case kRecordFormula:
                return false;
            default:
                break;  // blanks, and records that are not cells
        }
    }
    if (!ReadSharedEntries(strings, wanted)) {
        return false;
    }
    for (const auto& [column, index] : sharedAt) {
        own[column] = wanted[index];
    }
    if (!own.empty()) {
        texts.resize(static_cast<std::size_t>(own.rbegin()->first) + 1);
    }
    for (auto& [column, text] : own) {
        texts[column] = std::move(text);
    }
    return true;
}

}  // namespace workbook::xls
