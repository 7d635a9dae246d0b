// SPDX-License-Identifier: MIT
// Little-endian reads and writes over byte spans for the compound-file and
// BIFF code. Every read is bounds-checked: a short input gives false, never a
// read past the end.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace workbook::xls {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

// Reads fixed-width little-endian values at an absolute offset of a span.
inline bool GetU8(ByteSpan in, std::size_t at, std::uint8_t& value) {
    if (at >= in.size()) {
        return false;
    }
    value = in[at];
    return true;
}

inline bool GetU16(ByteSpan in, std::size_t at, std::uint16_t& value) {
    if (at > in.size() || in.size() - at < 2) {
        return false;
    }
    value = static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
    return true;
}

inline bool GetU32(ByteSpan in, std::size_t at, std::uint32_t& value) {
    if (at > in.size() || in.size() - at < 4) {
        return false;
    }
    value = static_cast<std::uint32_t>(in[at]) | (static_cast<std::uint32_t>(in[at + 1]) << 8) |
            (static_cast<std::uint32_t>(in[at + 2]) << 16) |
            (static_cast<std::uint32_t>(in[at + 3]) << 24);
    return true;
}

// Sequential reader: each Read* advances on success and leaves the position
// alone on failure.
class ByteReader {
public:
    explicit ByteReader(ByteSpan in) : in_(in) {}

    std::size_t position() const { return pos_; }
    std::size_t left() const { return in_.size() - pos_; }

    bool ReadU8(std::uint8_t& value) { return Advance(GetU8(in_, pos_, value), 1); }
    bool ReadU16(std::uint16_t& value) { return Advance(GetU16(in_, pos_, value), 2); }
    bool ReadU32(std::uint32_t& value) { return Advance(GetU32(in_, pos_, value), 4); }
    bool Skip(std::size_t count) { return Advance(count <= left(), count); }
    // A view of the next `count` bytes.
    bool ReadSpan(std::size_t count, ByteSpan& out) {
        if (count > left()) {
            return false;
        }
        out = in_.subspan(pos_, count);
        pos_ += count;
        return true;
    }

private:
    bool Advance(bool ok, std::size_t count) {
        if (ok) {
            pos_ += count;
        }
        return ok;
    }

    ByteSpan in_;
    std::size_t pos_ = 0;
};

// Room for `count` more bytes at the end of `out`: one size check for a
// whole value rather than one per byte.
inline std::uint8_t* Extend(Bytes& out, std::size_t count) {
    out.resize(out.size() + count);
    return out.data() + out.size() - count;
}

inline void PutU8(Bytes& out, std::uint8_t value) {
    out.push_back(value);
}

inline void PutU16(Bytes& out, std::uint16_t value) {
    std::uint8_t* at = Extend(out, 2);
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(Bytes& out, std::uint32_t value) {
    std::uint8_t* at = Extend(out, 4);
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

inline void PutF64(Bytes& out, double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    std::uint8_t* at = Extend(out, 8);
    for (int i = 0; i < 8; ++i) {
        at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

inline void PutBytes(Bytes& out, ByteSpan bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// Overwrites a value already in the buffer; the caller guarantees the room.
inline void SetU16(std::span<std::uint8_t> out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void SetU32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

}  // namespace workbook::xls
