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
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "workbook/le_bytes.h"

namespace workbook::xls {

// Receives the file's bytes in order; returns false to stop the write.
using ByteSink = std::function<bool(ByteSpan)>;

// A part of a stream: bytes in memory, or `size` bytes that `produce` gives
// the sink while the file is written, for content kept outside memory.
// Sizes are 64-bit on every platform, so that a 32-bit build still sees a
// stream grow past what the format holds.
struct StreamPiece {
    ByteSpan bytes;
    std::uint64_t size = 0;
    std::function<bool(const ByteSink&)> produce;

    explicit StreamPiece(ByteSpan inMemory) : bytes(inMemory), size(inMemory.size()) {}
    StreamPiece(std::uint64_t length, std::function<bool(const ByteSink&)> producer)
        : size(length), produce(std::move(producer)) {}
};

// The file a compound file was read from, held open while a book keeps
// streams in it. Release closes it; reads fail after that.
class SourceFile {
public:
    explicit SourceFile(platform::File file) : file_(std::move(file)) {}

    // Reads exactly `out.size()` bytes at `offset` of the file.
    [[nodiscard]] bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out);
    void Release() { (void)file_.Close(); }
    bool released() const { return !file_.IsOpen(); }
    // Whether a read failed, and the system's words for why.
    bool failed() const { return failed_; }
    std::string ErrorText() const { return file_.ErrorText(); }

private:
    platform::File file_;
    bool failed_ = false;
};

// A stretch of a stream that lies in one piece of the source file.
struct StreamRun {
    std::uint64_t fileAt = 0;
    std::uint64_t size = 0;
};

// A stream's bytes where they lie: in memory (`memory`), or in runs of
// sectors of the source file, which are read only when asked for, so that
// a big stream is never held whole.
class StreamBytes {
public:
    StreamBytes() = default;
    explicit StreamBytes(Bytes memory) : memory_(std::move(memory)), size_(memory_.size()) {}
    StreamBytes(std::shared_ptr<SourceFile> source, std::vector<StreamRun> runs);

    std::uint64_t size() const { return size_; }
    // Reads exactly `out.size()` bytes at stream offset `at`.
    [[nodiscard]] bool Read(std::uint64_t at, std::span<std::uint8_t> out) const;
    // Passes `length` bytes from stream offset `at` to `sink` in chunks.
    [[nodiscard]] bool Produce(std::uint64_t at, std::uint64_t length, const ByteSink& sink) const;

private:
    Bytes memory_;
    std::shared_ptr<SourceFile> source_;
    std::vector<StreamRun> runs_;
    std::uint64_t size_ = 0;
};

// One storage or stream. Names are UTF-16 as stored in the directory.
struct CompoundEntry {
    std::u16string name;
    bool isStorage = false;
    std::array<std::uint8_t, 16> clsid{};
    std::uint32_t stateBits = 0;
    std::array<std::uint8_t, 16> times{};  // creation and modification, kept as stored
    // Stream content. When `pieces` is not empty it is written instead of
    // `data`, so a big stream assembled from parts needs no extra copy; when
    // `kept` is set, the stream is still where it was read and `data` is
    // empty.
    Bytes data;
    std::vector<StreamPiece> pieces;
    std::shared_ptr<const StreamBytes> kept;
    std::vector<CompoundEntry> children;  // storages only

    std::uint64_t StreamSize() const;
};

// Parses a whole compound file into `root` (the root storage), copying every
// stream into memory. False with a reason in `error` on anything malformed:
// bad header, sector chains that leave the file or loop, sizes beyond their
// chains, directory cycles.
[[nodiscard]] bool ReadCompoundFile(ByteSpan file, CompoundEntry& root, std::string& error);

// The same checks over an open file of `fileSize` bytes, but streams outside
// the mini stream stay in the file: each gets `kept`, which reads them from
// `source` when asked. Only the tables and the mini stream are read now.
[[nodiscard]] bool ReadCompoundFile(const std::shared_ptr<SourceFile>& source,
                                    std::uint64_t fileSize, CompoundEntry& root,
                                    std::string& error);

// Writes `root` as a version 3 compound file (512-byte sectors); streams
// under 4096 bytes go to the mini stream. False when the sink fails, or
// when a stream is 4 GiB or longer, which a version 3 directory cannot
// record.
[[nodiscard]] bool WriteCompoundFile(const CompoundEntry& root, const ByteSink& sink);

// Whether two entry names are equal, ignoring the case of ASCII letters.
bool SameEntryName(std::u16string_view a, std::u16string_view b);

// Finds a direct child by name, ignoring the case of ASCII letters as the
// directory does. Null when absent.
const CompoundEntry* FindChild(const CompoundEntry& storage, std::u16string_view name);

}  // namespace workbook::xls
