// SPDX-License-Identifier: MIT
// Little-endian reads and writes, the byte order of every binary structure
// the workbook formats hold (compound file, BIFF, zip). The span functions
// are bounds-checked: a short input gives false, never a read past the end.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace workbook {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

// The value of the `width` bytes at `at`, lowest first; the caller checks
// that they are there. Takes char and std::uint8_t bytes alike.
template <typename Byte>
constexpr std::uint64_t LoadLe(const Byte* at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= std::uint64_t{static_cast<std::uint8_t>(at[i])} << (8 * i);
    }
    return value;
}

template <typename Byte>
constexpr std::uint16_t LoadLe16(const Byte* at) {
    return static_cast<std::uint16_t>(LoadLe(at, 2));
}

// Writes the low `width` bytes of `value` at `at`, lowest first.
template <typename Byte>
constexpr void StoreLe(Byte* at, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        at[i] = static_cast<Byte>(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

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
    value = LoadLe16(in.data() + at);
    return true;
}

inline bool GetU32(ByteSpan in, std::size_t at, std::uint32_t& value) {
    if (at > in.size() || in.size() - at < 4) {
        return false;
    }
    value = static_cast<std::uint32_t>(LoadLe(in.data() + at, 4));
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
    StoreLe(Extend(out, 2), value, 2);
}

inline void PutU32(Bytes& out, std::uint32_t value) {
    StoreLe(Extend(out, 4), value, 4);
}

inline void PutF64(Bytes& out, double value) {
    StoreLe(Extend(out, 8), std::bit_cast<std::uint64_t>(value), 8);
}

inline void PutBytes(Bytes& out, ByteSpan bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// Overwrites a value already in the buffer; the caller guarantees the room.
inline void SetU16(std::span<std::uint8_t> out, std::size_t at, std::uint16_t value) {
    StoreLe(out.data() + at, value, 2);
}

inline void SetU32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t value) {
    StoreLe(out.data() + at, value, 4);
}

// The compound-file and BIFF code, which these helpers served first, names
// them as its own.
namespace xls {
using workbook::ByteReader;
using workbook::Bytes;
using workbook::ByteSpan;
using workbook::Extend;
using workbook::GetU16;
using workbook::GetU32;
using workbook::GetU8;
using workbook::PutBytes;
using workbook::PutF64;
using workbook::PutU16;
using workbook::PutU32;
using workbook::PutU8;
using workbook::SetU16;
using workbook::SetU32;
}  // namespace xls

}  // namespace workbook
