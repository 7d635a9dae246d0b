// SPDX-License-Identifier: MIT
// Row 0 of a loaded sheet, from its cell records. The string table is
// walked once, up to the last entry the row uses.
#include "workbook/xls/first_row.h"

#include <map>

#include "workbook/xls/biff_records.h"
#include "workbook/xls/xls_text.h"

namespace workbook::xls {
namespace {

// An unformatted string's characters: `count` of them after the flags byte,
// one byte each (Latin-1) or two (UTF-16LE). Advances past them.
bool ReadCharacters(ByteReader& in, std::uint16_t count, std::uint8_t flags, std::string& text) {
    std::u16string units;
    units.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        if ((flags & 0x01) != 0) {
            std::uint16_t unit = 0;
            if (!in.ReadU16(unit)) {
                return false;
            }
            units.push_back(static_cast<char16_t>(unit));
        } else {
            std::uint8_t byte = 0;
            if (!in.ReadU8(byte)) {
                return false;
            }
            units.push_back(static_cast<char16_t>(byte));
        }
    }
    text = Utf16ToUtf8(units);
    return true;
}

// XLUnicodeString: a 16-bit count, flags, then the characters.
bool ReadUnicodeString(ByteReader& in, std::string& text) {
    std::uint16_t count = 0;
    std::uint8_t flags = 0;
    return in.ReadU16(count) && in.ReadU8(flags) && ReadCharacters(in, count, flags, text);
}

// Fills the texts of the string-table entries that `wanted` names. Each
// entry is one XLUnicodeRichExtendedString: count, flags, a run count when
// rich, an extension size when extended, the characters, then the runs
// and the extension.
bool ReadSharedEntries(const SharedStrings& strings, std::map<std::uint32_t, std::string>& wanted) {
    if (wanted.empty()) {
        return true;
    }
    if (wanted.rbegin()->first >= strings.loaded) {
        return false;
    }
    ByteReader in(strings.entries);
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
            if (!ReadCharacters(in, count, flags, found->second)) {
                return false;
            }
        } else if (!in.Skip(static_cast<std::size_t>(count) * ((flags & 0x01) != 0 ? 2 : 1))) {
            return false;
        }
        if (!in.Skip(4 * static_cast<std::size_t>(runs)) || !in.Skip(extension)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadFirstRowTexts(const LoadedSubstream& substream, const SharedStrings& strings,
                       std::vector<std::string>& texts) {
    texts.clear();
    std::map<std::uint32_t, std::string> wanted;
    std::map<std::uint16_t, std::uint32_t> sharedAt;  // column: string-table index
    std::map<std::uint16_t, std::string> own;         // column: the record's own text
    ByteReader records(substream.bytes);
    // Charts embedded in the sheet are substreams of their own, whose data
    // cache holds cell records that are not the sheet's.
    int depth = 0;
    while (records.left() > 0) {
        std::uint16_t type = 0;
        std::uint16_t length = 0;
        ByteSpan body;
        if (!records.ReadU16(type) || !records.ReadU16(length) || !records.ReadSpan(length, body)) {
            return false;
        }
        if (type == kRecordBof || type == kRecordEof) {
            depth += type == kRecordBof ? 1 : -1;
            continue;
        }
        if (depth != 1) {
            continue;
        }
        std::uint16_t row = 0;
        std::uint16_t column = 0;
        if (!GetU16(body, 0, row) || !GetU16(body, 2, column) || row != 0) {
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
