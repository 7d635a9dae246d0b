// SPDX-License-Identifier: MIT
// Reads a zip archive from a file or from memory, trusting nothing it says:
// counts, sizes, offsets and the ratio of inflated to stored bytes are all
// checked against the archive's real size and against fixed caps.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/files.h"
#include "workbook/workbook.h"

namespace workbook::xlsx {

// Caps on what one loaded archive may hold.
inline constexpr std::size_t kMaxZipEntries = 20000;
// Inflated bytes of one entry: far beyond any real sheet part.
inline constexpr std::uint64_t kMaxEntryRawSize = std::uint64_t{4} << 30;
// Inflated bytes of an entry that is read into memory whole (workbook, styles, ...).
inline constexpr std::uint64_t kMaxSmallPartSize = std::uint64_t{64} << 20;
// An entry over 16 MiB that inflates more than 400-fold is taken for a zip
// bomb: spreadsheet XML rarely passes 100-fold, deflate's ceiling is ~1030.
inline constexpr std::uint64_t kMaxInflateRatio = 400;
inline constexpr std::uint64_t kRatioCheckFloor = std::uint64_t{16} << 20;

struct ZipEntry {
    std::string name;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc = 0;
    std::uint64_t packedSize = 0;
    std::uint64_t rawSize = 0;
    std::uint64_t dataOffset = 0;  // where the compressed bytes start
};

class ZipReader {
public:
    // Opens the archive at `path`; the file stays open for later reads.
    // kOk, or why not: the file cannot be read, is no zip archive, is a
    // damaged one, or uses what we do not read (encryption, split archives).
    [[nodiscard]] BookStatus OpenFile(const std::string& path, std::string& error);
    // Reads an archive held in memory; `bytes` must outlive the reader.
    [[nodiscard]] bool OpenMemory(std::span<const char> bytes, std::string& error);

    const std::vector<ZipEntry>& entries() const { return entries_; }
    // The index of the entry with this name (ASCII case ignored), or -1.
    int Find(std::string_view name) const;

    // Passes the stored (compressed) bytes of an entry to `sink` in pieces.
    [[nodiscard]] bool ReadRaw(const ZipEntry& entry,
                               const std::function<bool(std::span<const char>)>& sink,
                               std::string& error) const;
    // Passes the inflated bytes in pieces; checks size, ratio and CRC. `sink`
    // returns false to stop early (then the result is true and nothing is checked).
    [[nodiscard]] bool Inflate(const ZipEntry& entry,
                               const std::function<bool(std::span<const char>)>& sink,
                               std::string& error) const;
    // Inflates a small entry whole into `text` (at most kMaxSmallPartSize).
    [[nodiscard]] bool ReadSmall(const ZipEntry& entry, std::string& text,
                                 std::string& error) const;

private:
    bool ReadBytes(std::uint64_t offset, std::span<char> out) const;
    bool ReadDirectory(std::string& error);
    // The `count` central directory entries in `directory`, each checked
    // against its local header, which must lie before `directoryOffset`.
    bool ReadEntries(std::span<const char> directory, std::uint64_t count,
                     std::uint64_t directoryOffset, std::string& error);
    // Why ReadDirectory failed: a damaged archive unless it said otherwise.
    BookStatus directoryStatus_ = BookStatus::kDamaged;

    mutable platform::File file_;  // reading moves no shared position
    std::span<const char> memory_;
    std::uint64_t size_ = 0;
    std::vector<ZipEntry> entries_;
    // Entry indexes by lower-case name: a book of thousands of sheets looks
    // up each sheet's part.
    std::unordered_map<std::string, int> index_;
};

}  // namespace workbook::xlsx
