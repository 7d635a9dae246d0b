// SPDX-License-Identifier: MIT
// Property set streams: a header, a table of sets, each set a table of
// property offsets followed by the values. Only the first set (the document
// summary) is rewritten; values move whole, so their alignment holds.
#include "workbook/xls/property_set.h"

#include <algorithm>
#include <array>
#include <vector>

namespace workbook::xls {
namespace {

constexpr std::size_t kHeaderSize = 28;    // byte order to the number of sets
constexpr std::size_t kSetEntrySize = 20;  // FMTID and offset
constexpr std::uint32_t kHeadingPairs = 0x0C;
constexpr std::uint32_t kTitlesOfParts = 0x0D;
// FMTID_DocSummaryInformation, D5CDD502-2E9C-101B-9397-08002B2CF9AE, as stored.
constexpr std::array<std::uint8_t, 16> kDocSummary = {
    0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};

struct Property {
    std::uint32_t id = 0;
    std::uint32_t offset = 0;  // from the start of the set
    std::uint32_t end = 0;
};

}  // namespace

bool DropSheetListProperties(Bytes& stream) {
    const ByteSpan in = stream;
    std::uint16_t byteOrder = 0;
    std::uint32_t sets = 0;
    if (!GetU16(in, 0, byteOrder) || byteOrder != 0xFFFE || !GetU32(in, 24, sets) || sets < 1 ||
        sets > 2 || in.size() < kHeaderSize + sets * kSetEntrySize ||
        !std::equal(kDocSummary.begin(), kDocSummary.end(), in.begin() + kHeaderSize)) {
        return false;
    }
    std::uint32_t setAt = 0;
    std::uint32_t setSize = 0;
    std::uint32_t count = 0;
    if (!GetU32(in, kHeaderSize + 16, setAt) || !GetU32(in, setAt, setSize) ||
        !GetU32(in, std::size_t{setAt} + 4, count) || setSize < 8 || setSize > in.size() - setAt ||
        count > (setSize - 8) / 8) {
        return false;
    }
    std::vector<Property> properties(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        Property& property = properties[i];
        (void)GetU32(in, std::size_t{setAt} + 8 + 8 * i, property.id);
        (void)GetU32(in, std::size_t{setAt} + 12 + 8 * i, property.offset);
        if (property.offset < 8 + 8 * count || property.offset >= setSize) {
            return false;
        }
    }
    // Each value runs to the next one in the set, or to its end.
    std::sort(properties.begin(), properties.end(),
              [](const Property& a, const Property& b) { return a.offset < b.offset; });
    for (std::size_t i = 0; i < properties.size(); ++i) {
        properties[i].end = i + 1 < properties.size() ? properties[i + 1].offset : setSize;
    }
    std::erase_if(properties, [](const Property& property) {
        return property.id == kHeadingPairs || property.id == kTitlesOfParts;
    });
    if (properties.size() == count) {
        return true;  // nothing to drop
    }
    Bytes set;
    PutU32(set, 0);  // size, set below
    PutU32(set, static_cast<std::uint32_t>(properties.size()));
    std::uint32_t valueAt = 8 + 8 * static_cast<std::uint32_t>(properties.size());
    for (const Property& property : properties) {
        PutU32(set, property.id);
        PutU32(set, valueAt);
        valueAt += property.end - property.offset;
    }
    for (const Property& property : properties) {
        PutBytes(set,
                 in.subspan(std::size_t{setAt} + property.offset, property.end - property.offset));
    }
    SetU32(set, 0, static_cast<std::uint32_t>(set.size()));

    Bytes out;
    PutBytes(out, in.first(kHeaderSize + sets * kSetEntrySize));
    SetU32(out, kHeaderSize + 16, static_cast<std::uint32_t>(out.size()));
    PutBytes(out, set);
    if (sets == 2) {
        // The user-defined properties go along as they are.
        std::uint32_t userAt = 0;
        std::uint32_t userSize = 0;
        if (!GetU32(in, kHeaderSize + kSetEntrySize + 16, userAt) ||
            !GetU32(in, userAt, userSize) || userSize > in.size() - userAt) {
            return false;
        }
        SetU32(out, kHeaderSize + kSetEntrySize + 16, static_cast<std::uint32_t>(out.size()));
        PutBytes(out, in.subspan(userAt, userSize));
    }
    // Excel pads the stream to keep it out of the mini stream; keep its size.
    if (out.size() < stream.size()) {
        out.resize(stream.size(), 0);
    }
    stream = std::move(out);
    return true;
}

}  // namespace workbook::xls
