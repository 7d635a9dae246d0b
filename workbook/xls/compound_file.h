// SPDX-License-Identifier: MIT
// The compound file (OLE2 structured storage) that holds an .xls workbook's
// streams. This code knows storages, streams and sectors, nothing of cells.
//
// Own code rather than libgsf: the reader must survive hostile files with
// exact, testable limits (chain step limits, counts checked before any
// allocation), the writer needs only one fixed layout, and libgsf would pull
// GLib into a library that otherwise depends on the C++ standard library.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "workbook/xls/byte_io.h"

namespace workbook::xls {

// Receives the file's bytes in order; returns false to stop the write.
using ByteSink = std::function<bool(ByteSpan)>;

// A part of a stream: bytes in memory, or `size` bytes that `produce` gives
// the sink while the file is written, for content kept outside memory.
struct StreamPiece {
    ByteSpan bytes;
    std::size_t size = 0;
    std::function<bool(const ByteSink&)> produce;

    explicit StreamPiece(ByteSpan inMemory) : bytes(inMemory), size(inMemory.size()) {}
    StreamPiece(std::size_t length, std::function<bool(const ByteSink&)> producer)
        : size(length), produce(std::move(producer)) {}
};

// One storage or stream. Names are UTF-16 as stored in the directory.
struct CompoundEntry {
    std::u16string name;
    bool isStorage = false;
    std::array<std::uint8_t, 16> clsid{};
    std::uint32_t stateBits = 0;
    std::array<std::uint8_t, 16> times{};  // creation and modification, kept as stored
    // Stream content. When `pieces` is not empty it is written instead of
    // `data`, so a big stream assembled from parts needs no extra copy.
    Bytes data;
    std::vector<StreamPiece> pieces;
    std::vector<CompoundEntry> children;  // storages only

    std::size_t StreamSize() const;
};

// Parses a whole compound file into `root` (the root storage). False with a
// reason in `error` on anything malformed: bad header, sector chains that
// leave the file or loop, sizes beyond their chains, directory cycles.
[[nodiscard]] bool ReadCompoundFile(ByteSpan file, CompoundEntry& root, std::string& error);

// Writes `root` as a version 3 compound file (512-byte sectors); streams
// under 4096 bytes go to the mini stream. False when the sink fails.
[[nodiscard]] bool WriteCompoundFile(const CompoundEntry& root, const ByteSink& sink);

// Whether two entry names are equal, ignoring the case of ASCII letters.
bool SameEntryName(std::u16string_view a, std::u16string_view b);

// Finds a direct child by name, ignoring the case of ASCII letters as the
// directory does. Null when absent.
const CompoundEntry* FindChild(const CompoundEntry& storage, std::u16string_view name);

}  // namespace workbook::xls
