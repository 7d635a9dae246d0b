// SPDX-License-Identifier: MIT
// Zip reader: finds the end record, walks the central directory, checks every
// local header against it and inflates with bounded output. Each entry's
// data range must lie inside the archive before its central directory.
#include "workbook/xlsx/zip_reader.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/ascii.h"
#include "workbook/book.h"
#include "workbook/le_bytes.h"
#include "workbook/xlsx/deflate_codec.h"
#include "workbook/xlsx/zip_format.h"

namespace workbook::xlsx {
namespace {

constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kMaxCommentSize = 0xFFFF;
constexpr std::size_t kPieceSize = 256 * 1024;

// Little-endian reads over a byte span, bounds-checked: a read past the end
// gives zeros (an empty span for Take) and leaves the reader at the end, so
// a caller that forgot Has() reads nothing that is not there.
class ByteReader {
public:
    explicit ByteReader(std::span<const char> bytes) : bytes_(bytes) {}
    bool Has(std::size_t count) const { return bytes_.size() - position_ >= count; }
    std::uint64_t Get(std::size_t width) {
        if (!Has(width)) {
            position_ = bytes_.size();
            return 0;
        }
        const std::uint64_t value = LoadLe(bytes_.data() + position_, width);
        position_ += width;
        return value;
    }
    std::uint16_t Get16() { return static_cast<std::uint16_t>(Get(2)); }
    std::uint32_t Get32() { return static_cast<std::uint32_t>(Get(4)); }
    std::uint64_t Get64() { return Get(8); }
    std::span<const char> Take(std::size_t count) {
        if (!Has(count)) {
            position_ = bytes_.size();
            return {};
        }
        auto part = bytes_.subspan(position_, count);
        position_ += count;
        return part;
    }
    std::size_t position() const { return position_; }

private:
    std::span<const char> bytes_;
    std::size_t position_ = 0;
};

}  // namespace

BookStatus ZipReader::OpenFile(const std::string& path, std::string& error) {
    const platform::FileStatus opened = platform::OpenFileForReading(path, file_, error);
    if (opened != platform::FileStatus::kOk) {
        return LoadStatusOf(opened);
    }
    if (!file_.Size(&size_)) {
        error = "Cannot read " + path + ": " + file_.ErrorText();
        return BookStatus::kCannotRead;
    }
    if (!ReadDirectory(error)) {
        error = path + " is not a valid .xlsx workbook: " + error;
        return directoryStatus_;
    }
    return BookStatus::kOk;
}

bool ZipReader::OpenMemory(std::span<const char> bytes, std::string& error) {
    memory_ = bytes;
    size_ = bytes.size();
    if (!ReadDirectory(error)) {
        error = "Not a valid .xlsx workbook: " + error;
        return false;
    }
    return true;
}

bool ZipReader::ReadBytes(std::uint64_t offset, std::span<char> out) const {
    if (offset > size_ || out.size() > size_ - offset) {
        return false;
    }
    if (file_.IsOpen()) {
        return file_.ReadAt(offset, out);
    }
    std::memcpy(out.data(), memory_.data() + offset, out.size());
    return true;
}

bool ZipReader::ReadDirectory(std::string& error) {
    if (size_ < kEndRecordSize) {
        error = "the file is too short to be a zip archive.";
        directoryStatus_ = BookStatus::kNotThisKind;
        return false;
    }
    // The end record sits in the last 22 bytes plus an optional comment.
    const std::uint64_t tailSize = std::min<std::uint64_t>(size_, kEndRecordSize + kMaxCommentSize);
    std::vector<char> tail(static_cast<std::size_t>(tailSize));  // at most 64 KiB
    if (!ReadBytes(size_ - tailSize, tail)) {
        error = "cannot read the end of the file.";
        return false;
    }
    std::size_t endAt = tail.size();
    for (std::size_t i = tail.size() - kEndRecordSize + 1; i-- > 0;) {
        ByteReader probe(std::span<const char>(tail).subspan(i));
        if (probe.Get32() == kEndSignature) {
            endAt = i;
            break;
        }
    }
    if (endAt == tail.size()) {
        error = "no zip end record (truncated or not a zip file).";
        directoryStatus_ = BookStatus::kNotThisKind;
        return false;
    }
    ByteReader end(std::span<const char>(tail).subspan(endAt));
    end.Get32();
    const std::uint16_t disk = end.Get16();
    const std::uint16_t directoryDisk = end.Get16();
    end.Get16();
    std::uint64_t count = end.Get16();
    std::uint64_t directorySize = end.Get32();
    std::uint64_t directoryOffset = end.Get32();
    if (disk != 0 || directoryDisk != 0) {
        error = "split archives are not supported.";
        directoryStatus_ = BookStatus::kUnsupported;
        return false;
    }
    const std::uint64_t endOffset = size_ - tailSize + endAt;
    if (count == 0xFFFF || directorySize == kMax32 || directoryOffset == kMax32) {
        // Zip64: the locator sits just before the end record.
        char locatorBytes[20];
        if (endOffset < sizeof locatorBytes ||
            !ReadBytes(endOffset - sizeof locatorBytes, locatorBytes)) {
            error = "damaged zip64 locator.";
            return false;
        }
        ByteReader locator(locatorBytes);
        if (locator.Get32() == kZip64LocatorSignature) {
            locator.Get32();
            const std::uint64_t zip64EndOffset = locator.Get64();
            char recordBytes[56];
            if (!ReadBytes(zip64EndOffset, recordBytes)) {
                error = "damaged zip64 end record.";
                return false;
            }
            ByteReader record(recordBytes);
            if (record.Get32() != kZip64EndSignature) {
                error = "damaged zip64 end record.";
                return false;
            }
            record.Get64();
            record.Get32();
            record.Get32();
            record.Get32();
            count = record.Get64();
            record.Get64();
            directorySize = record.Get64();
            directoryOffset = record.Get64();
        }
    }
    if (count > kMaxZipEntries) {
        error = "too many entries.";
        return false;
    }
    if (directoryOffset > endOffset || directorySize > endOffset - directoryOffset) {
        error = "the central directory lies outside the file.";
        return false;
    }
    // A 32-bit process cannot hold a directory past its address space.
    if (directorySize > static_cast<std::uint64_t>(PTRDIFF_MAX)) {
        error = "the central directory is too large.";
        return false;
    }
    std::vector<char> directory(static_cast<std::size_t>(directorySize));
    if (!ReadBytes(directoryOffset, directory)) {
        error = "cannot read the central directory.";
        return false;
    }
    return ReadEntries(directory, count, directoryOffset, error);
}

bool ZipReader::ReadEntries(std::span<const char> directory, std::uint64_t count,
                            std::uint64_t directoryOffset, std::string& error) {
    ByteReader reader(directory);
    index_.clear();
    entries_.clear();
    entries_.reserve(static_cast<std::size_t>(count));  // at most kMaxZipEntries
    for (std::uint64_t i = 0; i < count; ++i) {
        if (!reader.Has(46) || reader.Get32() != kCentralHeaderSignature) {
            error = "damaged central directory.";
            return false;
        }
        ZipEntry entry;
        reader.Get16();
        reader.Get16();
        entry.flags = reader.Get16();
        entry.method = reader.Get16();
        entry.dosTime = reader.Get16();
        entry.dosDate = reader.Get16();
        entry.crc = reader.Get32();
        entry.packedSize = reader.Get32();
        entry.rawSize = reader.Get32();
        const std::uint16_t nameLength = reader.Get16();
        const std::uint16_t extraLength = reader.Get16();
        const std::uint16_t commentLength = reader.Get16();
        reader.Get16();
        reader.Get16();
        reader.Get32();
        std::uint64_t headerOffset = reader.Get32();
        if (!reader.Has(std::size_t{nameLength} + extraLength + commentLength)) {
            error = "damaged central directory.";
            return false;
        }
        auto name = reader.Take(nameLength);
        entry.name.assign(name.data(), name.size());
        ByteReader extra(reader.Take(extraLength));
        reader.Take(commentLength);
        while (extra.Has(4)) {
            const std::uint16_t id = extra.Get16();
            const std::uint16_t length = extra.Get16();
            if (!extra.Has(length)) {
                break;
            }
            ByteReader field(extra.Take(length));
            if (id == 0x0001) {
                if (entry.rawSize == kMax32 && field.Has(8)) {
                    entry.rawSize = field.Get64();
                }
                if (entry.packedSize == kMax32 && field.Has(8)) {
                    entry.packedSize = field.Get64();
                }
                if (headerOffset == kMax32 && field.Has(8)) {
                    headerOffset = field.Get64();
                }
            }
        }
        if ((entry.flags & 0x0001) != 0) {
            error = "the workbook is encrypted.";
            directoryStatus_ = BookStatus::kUnsupported;
            return false;
        }
        if (entry.method != 0 && entry.method != 8) {
            error = "entry " + entry.name + " uses an unsupported compression method.";
            directoryStatus_ = BookStatus::kUnsupported;
            return false;
        }
        if (entry.name.empty() ||
            !index_.emplace(platform::AsciiLowered(entry.name), static_cast<int>(entries_.size()))
                 .second) {
            error = "empty or repeated entry name.";
            return false;
        }
        // The local header repeats the name; its extra field may differ.
        char local[30];
        if (headerOffset >= directoryOffset || !ReadBytes(headerOffset, local)) {
            error = "entry " + entry.name + " lies outside the file.";
            return false;
        }
        ByteReader header(local);
        if (header.Get32() != kLocalHeaderSignature) {
            error = "entry " + entry.name + " has no local header.";
            return false;
        }
        header.Take(22);
        const std::uint16_t localNameLength = header.Get16();
        const std::uint16_t localExtraLength = header.Get16();
        if (localNameLength != nameLength) {
            error = "entry " + entry.name + " disagrees with the central directory.";
            return false;
        }
        entry.dataOffset = headerOffset + 30 + localNameLength + localExtraLength;
        if (entry.dataOffset > directoryOffset ||
            entry.packedSize > directoryOffset - entry.dataOffset) {
            error = "entry " + entry.name + " runs past its end.";
            return false;
        }
        if (entry.method == 0 && entry.packedSize != entry.rawSize) {
            error = "stored entry " + entry.name + " has inconsistent sizes.";
            return false;
        }
        if (entry.rawSize > kMaxEntryRawSize ||
            (entry.rawSize > kRatioCheckFloor &&
             entry.rawSize / kMaxInflateRatio > entry.packedSize)) {
            error = "entry " + entry.name + " inflates too far (a zip bomb?).";
            return false;
        }
        entries_.push_back(std::move(entry));
    }
    return true;
}

int ZipReader::Find(std::string_view name) const {
    const auto found = index_.find(platform::AsciiLowered(name));
    return found != index_.end() ? found->second : -1;
}

bool ZipReader::ReadRaw(const ZipEntry& entry,
                        const std::function<bool(std::span<const char>)>& sink,
                        std::string& error) const {
    std::vector<char> piece(
        static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, entry.packedSize)));
    std::uint64_t done = 0;
    while (done < entry.packedSize) {
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(piece.size(), entry.packedSize - done));
        if (!ReadBytes(entry.dataOffset + done, std::span<char>(piece).first(want))) {
            error =
                "Cannot read entry " + entry.name + " of the loaded workbook: " + file_.ErrorText();
            return false;
        }
        if (!sink(std::span<const char>(piece).first(want))) {
            return false;
        }
        done += want;
    }
    return true;
}

bool ZipReader::Inflate(const ZipEntry& entry,
                        const std::function<bool(std::span<const char>)>& sink,
                        std::string& error) const {
    const std::string damaged = "The workbook's part " + entry.name + " is damaged.";
    std::uint64_t produced = 0;
    std::uint32_t crc = 0;
    bool stopped = false;
    if (entry.method == 0) {
        std::string readError;
        const bool ok = ReadRaw(
            entry,
            [&](std::span<const char> piece) {
                crc = libdeflate_crc32(crc, piece.data(), piece.size());
                produced += piece.size();
                if (!sink(piece)) {
                    stopped = true;
                    return false;
                }
                return true;
            },
            readError);
        if (stopped) {
            return true;
        }
        if (!ok) {
            error = readError;
            return false;
        }
    } else {
        const std::unique_ptr<StreamInflater> inflater = MakeStreamInflater();
        if (inflater == nullptr) {
            error = "Out of memory while reading the workbook.";
            return false;
        }
        std::vector<char> output(kPieceSize);
        bool finished = false;
        std::string readError;
        // Decodes what `input` holds; with an empty `input`, what the inflater kept.
        const auto decode = [&](std::span<const char> input) {
            for (;;) {
                const std::size_t before = input.size();
                std::size_t got = 0;
                const InflateStep step = inflater->Inflate(input, output, got);
                if (step == InflateStep::kDamaged) {
                    readError = damaged;
                    return false;
                }
                produced += got;
                if (produced > entry.rawSize) {
                    readError = damaged + " It inflates beyond its stated size.";
                    return false;
                }
                crc = libdeflate_crc32(crc, output.data(), got);
                if (got > 0 && !sink(std::span<const char>(output).first(got))) {
                    stopped = true;
                    return false;
                }
                finished = step == InflateStep::kEnd;
                // A full output may hide more decoded bytes; else more input is needed.
                if (finished || (input.empty() && got < output.size())) {
                    return true;
                }
                if (got == 0 && input.size() == before) {
                    readError = damaged;  // neither took input nor gave output
                    return false;
                }
            }
        };
        const bool ok = ReadRaw(
            entry, [&](std::span<const char> piece) { return finished || decode(piece); },
            readError);
        if (stopped) {
            return true;
        }
        if (!ok) {
            error = readError.empty() ? damaged : readError;
            return false;
        }
        if (!finished) {
            error = damaged;
            return false;
        }
    }
    if (produced != entry.rawSize || crc != entry.crc) {
        error = damaged + " Its size or checksum does not match.";
        return false;
    }
    return true;
}

bool ZipReader::ReadSmall(const ZipEntry& entry, std::string& text, std::string& error) const {
    text.clear();
    if (entry.rawSize > kMaxSmallPartSize) {
        error = "The workbook's part " + entry.name + " is too large.";
        return false;
    }
    text.reserve(static_cast<std::size_t>(entry.rawSize));  // at most kMaxSmallPartSize
    return Inflate(
        entry,
        [&](std::span<const char> piece) {
            text.append(piece.data(), piece.size());
            return true;
        },
        error);
}

}  // namespace workbook::xlsx
