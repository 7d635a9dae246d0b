// SPDX-License-Identifier: MIT
// Writes a zip archive entry by entry into a seekable file. Entry data is
// always handed in already compressed (deflate) or stored, which is what both
// raw copies of loaded entries and our streamed sheet data need.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/files.h"

namespace workbook::xlsx {

// Compression methods used in the package.
inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;

struct ZipEntryInfo {
    std::string name;
    std::uint16_t method = kMethodDeflated;
    std::uint16_t flags = 0;  // general-purpose bits to keep (bit 11: UTF-8 name)
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0x21;  // 1 January 1980
    std::uint32_t crc = 0;
    std::uint64_t packedSize = 0;
    std::uint64_t rawSize = 0;
};

class ZipWriter {
public:
    // `file` is open, empty and seekable; the writer does not own it.
    explicit ZipWriter(platform::File& file) : file_(file) {}

    // Starts an entry. `large` reserves room for 64-bit sizes in its local
    // header: pass true when the entry may reach 4 GiB.
    [[nodiscard]] bool BeginEntry(const ZipEntryInfo& info, bool large, std::string& error);
    // Appends compressed data to the open entry.
    [[nodiscard]] bool WriteData(std::span<const char> bytes, std::string& error);
    // Closes the open entry, writing its final sizes and checksum.
    [[nodiscard]] bool EndEntry(std::uint32_t crc, std::uint64_t packedSize, std::uint64_t rawSize,
                                std::string& error);
    // Writes the central directory; the archive is complete afterwards.
    [[nodiscard]] bool Finish(std::string& error);
    // The system's words for a failed write to the file, empty while none
    // failed: a save names its own file with them.
    const std::string& writeError() const { return writeError_; }

private:
    struct Written {
        ZipEntryInfo info;
        std::uint64_t headerOffset = 0;
        bool large = false;
    };
    bool Put(const std::vector<char>& bytes, std::string& error);

    platform::File& file_;
    std::string writeError_;
    std::uint64_t offset_ = 0;
    std::vector<Written> entries_;
    bool open_ = false;
};

// Today's date and time in the zip's MS-DOS form.
void CurrentDosTime(std::uint16_t& time, std::uint16_t& date);

}  // namespace workbook::xlsx
