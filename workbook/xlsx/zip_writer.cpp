// SPDX-License-Identifier: MIT
// Zip writer. The container is hand-written rather than taken from libzip or
// minizip: the package needs raw copies of loaded entries, entries assembled
// from several pre-compressed deflate pieces (header, streamed rows, footer)
// with a combined CRC, and, on the reading side, hard caps on every size,
// count and offset that a hostile file can claim. The format subset needed
// (stored/deflated entries, zip64 sizes and offsets) is small enough to own.
#include "workbook/xlsx/zip_writer.h"

#include <ctime>

#include "platform/clock.h"
#include "workbook/le_bytes.h"
#include "workbook/xlsx/zip_format.h"

namespace workbook::xlsx {
namespace {

constexpr std::uint16_t kVersionDefault = 20;
constexpr std::uint16_t kVersionZip64 = 45;

void PutLe(std::vector<char>& out, std::uint64_t value, std::size_t width) {
    out.resize(out.size() + width);
    StoreLe(out.data() + out.size() - width, value, width);
}
void Put16(std::vector<char>& out, std::uint32_t value) {
    PutLe(out, value, 2);
}
void Put32(std::vector<char>& out, std::uint32_t value) {
    PutLe(out, value, 4);
}
void Put64(std::vector<char>& out, std::uint64_t value) {
    PutLe(out, value, 8);
}

}  // namespace

void CurrentDosTime(std::uint16_t& time, std::uint16_t& date) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!platform::LocalTime(now, &local) || local.tm_year < 80) {
        time = 0;
        date = 0x21;
        return;
    }
    time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) |
                                      (local.tm_sec / 2));
    date = static_cast<std::uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                      local.tm_mday);
}

bool ZipWriter::Put(const std::vector<char>& bytes, std::string& error) {
    return WriteData(bytes, error);
}

bool ZipWriter::BeginEntry(const ZipEntryInfo& info, bool large, std::string& error) {
    Written entry{info, offset_, large};
    std::vector<char> header;
    Put32(header, kLocalHeaderSignature);
    Put16(header, large ? kVersionZip64 : kVersionDefault);
    Put16(header, info.flags);
    Put16(header, info.method);
    Put16(header, info.dosTime);
    Put16(header, info.dosDate);
    Put32(header, 0);  // CRC and sizes are filled in by EndEntry.
    Put32(header, large ? kMax32 : 0);
    Put32(header, large ? kMax32 : 0);
    Put16(header, static_cast<std::uint32_t>(info.name.size()));
    Put16(header, large ? 20 : 0);
    header.insert(header.end(), info.name.begin(), info.name.end());
    if (large) {
        Put16(header, kZip64ExtraId);
        Put16(header, 16);
        Put64(header, 0);
        Put64(header, 0);
    }
    entries_.push_back(std::move(entry));
    open_ = true;
    return Put(header, error);
}

bool ZipWriter::WriteData(std::span<const char> bytes, std::string& error) {
    if (!file_.WriteAll(bytes)) {
        writeError_ = file_.ErrorText();
        error = "Cannot write the workbook: " + writeError_;
        return false;
    }
    offset_ += bytes.size();
    return true;
}

bool ZipWriter::EndEntry(std::uint32_t crc, std::uint64_t packedSize, std::uint64_t rawSize,
                         std::string& error) {
    Written& entry = entries_.back();
    open_ = false;
    entry.info.crc = crc;
    entry.info.packedSize = packedSize;
    entry.info.rawSize = rawSize;
    if (!entry.large && (packedSize >= kMax32 || rawSize >= kMax32)) {
        error = "A workbook part grew beyond 4 GiB.";
        return false;
    }
    std::vector<char> patch;
    Put32(patch, crc);
    if (entry.large) {
        Put32(patch, kMax32);
        Put32(patch, kMax32);
    } else {
        Put32(patch, static_cast<std::uint32_t>(packedSize));
        Put32(patch, static_cast<std::uint32_t>(rawSize));
    }
    if (!file_.WriteAt(entry.headerOffset + 14, patch)) {
        writeError_ = file_.ErrorText();
        error = "Cannot write the workbook: " + writeError_;
        return false;
    }
    if (entry.large) {
        std::vector<char> sizes;
        Put64(sizes, rawSize);
        Put64(sizes, packedSize);
        const std::uint64_t extraAt = entry.headerOffset + 30 + entry.info.name.size() + 4;
        if (!file_.WriteAt(extraAt, sizes)) {
            writeError_ = file_.ErrorText();
            error = "Cannot write the workbook: " + writeError_;
            return false;
        }
    }
    return true;
}

bool ZipWriter::Finish(std::string& error) {
    const std::uint64_t directoryOffset = offset_;
    std::vector<char> directory;
    for (const Written& entry : entries_) {
        const ZipEntryInfo& info = entry.info;
        const bool bigSizes = info.packedSize >= kMax32 || info.rawSize >= kMax32;
        const bool bigOffset = entry.headerOffset >= kMax32;
        std::vector<char> extra;
        if (bigSizes || bigOffset) {
            Put16(extra, kZip64ExtraId);
            Put16(extra, (bigSizes ? 16u : 0u) + (bigOffset ? 8u : 0u));
            if (bigSizes) {
                Put64(extra, info.rawSize);
                Put64(extra, info.packedSize);
            }
            if (bigOffset) {
                Put64(extra, entry.headerOffset);
            }
        }
        const std::uint16_t version =
            (bigSizes || bigOffset || entry.large) ? kVersionZip64 : kVersionDefault;
        Put32(directory, kCentralHeaderSignature);
        Put16(directory, version);
        Put16(directory, version);
        Put16(directory, info.flags);
        Put16(directory, info.method);
        Put16(directory, info.dosTime);
        Put16(directory, info.dosDate);
        Put32(directory, info.crc);
        Put32(directory, bigSizes ? kMax32 : static_cast<std::uint32_t>(info.packedSize));
        Put32(directory, bigSizes ? kMax32 : static_cast<std::uint32_t>(info.rawSize));
        Put16(directory, static_cast<std::uint32_t>(info.name.size()));
        Put16(directory, static_cast<std::uint32_t>(extra.size()));
        Put16(directory, 0);  // comment length
        Put16(directory, 0);  // disk number
        Put16(directory, 0);  // internal attributes
        Put32(directory, 0);  // external attributes
        Put32(directory, bigOffset ? kMax32 : static_cast<std::uint32_t>(entry.headerOffset));
        directory.insert(directory.end(), info.name.begin(), info.name.end());
        directory.insert(directory.end(), extra.begin(), extra.end());
    }
    const std::uint64_t directorySize = directory.size();
    const std::uint64_t count = entries_.size();
    const bool zip64 = count >= 0xFFFF || directoryOffset >= kMax32 || directorySize >= kMax32;
    if (zip64) {
        const std::uint64_t zip64EndOffset = directoryOffset + directorySize;
        Put32(directory, kZip64EndSignature);
        Put64(directory, 44);
        Put16(directory, kVersionZip64);
        Put16(directory, kVersionZip64);
        Put32(directory, 0);
        Put32(directory, 0);
        Put64(directory, count);
        Put64(directory, count);
        Put64(directory, directorySize);
        Put64(directory, directoryOffset);
        Put32(directory, kZip64LocatorSignature);
        Put32(directory, 0);
        Put64(directory, zip64EndOffset);
        Put32(directory, 1);
    }
    Put32(directory, kEndSignature);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, zip64 ? 0xFFFF : static_cast<std::uint32_t>(count));
    Put16(directory, zip64 ? 0xFFFF : static_cast<std::uint32_t>(count));
    Put32(directory, zip64 ? kMax32 : static_cast<std::uint32_t>(directorySize));
    Put32(directory, zip64 ? kMax32 : static_cast<std::uint32_t>(directoryOffset));
    Put16(directory, 0);
    return Put(directory, error);
}

}  // namespace workbook::xlsx
