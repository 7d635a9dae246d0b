// SPDX-License-Identifier: MIT
// Compound file reader and writer. The reader loads the FAT, directory and
// mini stream and copies every stream out; every chain walk is bounded by the
// table it walks, so a loop or a pointer out of the file ends in an error.
// The writer lays sectors out in one pass: big streams, the mini stream, the
// mini FAT, the directory, then the FAT and DIFAT sectors that map them.
#include "workbook/xls/compound_file.h"

#include <algorithm>

#include "platform/ascii.h"

namespace workbook::xls {
namespace {

// Adds `size` bytes at `offset` of the file to a stream's runs, joining them
// to the last run where they follow it, as most files lay streams out.
void AppendRun(std::vector<StreamRun>& runs, std::uint64_t offset, std::uint64_t size) {
    if (!runs.empty() && runs.back().fileAt + runs.back().size == offset) {
        runs.back().size += size;
    } else {
        runs.push_back({offset, size});
    }
}

constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kEntrySize = 128;
constexpr std::size_t kMiniSectorSize = 64;
// Streams shorter than this live in the mini stream.
constexpr std::size_t kMiniStreamCutoff = 4096;
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::size_t kWriteSectorSize = 512;
constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
// Storages nested deeper than this are taken as damage.
constexpr int kMaxStorageDepth = 64;

constexpr std::uint8_t kTypeStorage = 1;
constexpr std::uint8_t kTypeStream = 2;
constexpr std::uint8_t kTypeRoot = 5;

bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return platform::AsciiUpper(x) == platform::AsciiUpper(y);
           });
}

// Directory order: shorter names first, then by upper-cased code units.
bool NameLess(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char16_t x = platform::AsciiUpper(a[i]);
        const char16_t y = platform::AsciiUpper(b[i]);
        if (x != y) {
            return x < y;
        }
    }
    return false;
}

struct RawEntry {
    std::u16string name;
    std::uint8_t type = 0;
    std::uint32_t left = kNoEntry;
    std::uint32_t right = kNoEntry;
    std::uint32_t child = kNoEntry;
    std::array<std::uint8_t, 16> clsid{};
    std::uint32_t stateBits = 0;
    std::array<std::uint8_t, 16> times{};
    std::uint32_t start = kEndOfChain;
    std::uint64_t size = 0;
};

// Reads a compound file through `read`: the header and tables at once, the
// streams either copied out or, with a `keep` file, left where they are.
class Reader {
public:
    using ReadFunction = std::function<bool(std::uint64_t, std::span<std::uint8_t>)>;

    Reader(ReadFunction read, std::uint64_t fileSize, std::shared_ptr<SourceFile> keep,
           std::string& error)
        : read_(std::move(read)), fileSize_(fileSize), keep_(std::move(keep)), error_(error) {}

    bool Read(CompoundEntry& root) {
        if (!ReadHeader() || !ReadFat() || !ReadDirectory() || !ReadMiniStream()) {
            return false;
        }
        const RawEntry& rootEntry = entries_[0];
        root = CompoundEntry{};
        root.isStorage = true;
        root.name = rootEntry.name;
        root.clsid = rootEntry.clsid;
        root.stateBits = rootEntry.stateBits;
        root.times = rootEntry.times;
        used_.assign(entries_.size(), false);
        used_[0] = true;
        return AddChildren(rootEntry.child, root, 0);
    }

private:
    bool Fail(const char* why) {
        error_ = "Not a valid compound file: ";
        error_ += why;
        error_ += '.';
        return false;
    }

    bool ReadFile(std::uint64_t offset, std::span<std::uint8_t> out) {
        if (!read_(offset, out)) {
            error_ = "Cannot read the file.";
            return false;
        }
        return true;
    }

    bool ReadHeader() {
        Bytes header(kHeaderSize);
        if (fileSize_ < kHeaderSize || !read_(0, header) ||
            !std::equal(std::begin(kSignature), std::end(kSignature), header.begin())) {
            return Fail("the file does not start with the compound file signature");
        }
        std::uint16_t major = 0;
        std::uint16_t byteOrder = 0;
        std::uint16_t sectorShift = 0;
        std::uint16_t miniShift = 0;
        bool ok = GetU16(header, 26, major) && GetU16(header, 28, byteOrder) &&
                  GetU16(header, 30, sectorShift) && GetU16(header, 32, miniShift) &&
                  GetU32(header, 44, fatSectorCount_) &&
                  GetU32(header, 48, firstDirectorySector_) &&
                  GetU32(header, 60, firstMiniFatSector_) &&
                  GetU32(header, 68, firstDifatSector_) && GetU32(header, 72, difatSectorCount_);
        if (!ok || byteOrder != 0xFFFE) {
            return Fail("bad header");
        }
        if (!((major == 3 && sectorShift == 9) || (major == 4 && sectorShift == 12)) ||
            miniShift != 6) {
            return Fail("unsupported version or sector size");
        }
        sectorSize_ = std::size_t{1} << sectorShift;
        const std::uint64_t sectorsInFile = fileSize_ / sectorSize_ + 1;
        if (fatSectorCount_ > sectorsInFile || difatSectorCount_ > sectorsInFile) {
            return Fail("more FAT sectors than the file holds");
        }
        headerDifat_.resize(kHeaderDifatEntries);
        for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
            (void)GetU32(header, 76 + 4 * i, headerDifat_[i]);
        }
        return true;
    }

    // Sector `id`'s bytes; the last sector of a file may be cut short.
    bool Sector(std::uint32_t id, Bytes& out) {
        const std::uint64_t offset = (std::uint64_t{id} + 1) * sectorSize_;
        if (id > 0xFFFFFFF9u || offset >= fileSize_) {
            return Fail("a sector lies beyond the end of the file");
        }
        out.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(sectorSize_, fileSize_ - offset)));
        return ReadFile(offset, out);
    }

    bool ReadFat() {
        std::vector<std::uint32_t> fatSectors;
        fatSectors.reserve(fatSectorCount_);
        for (std::size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < fatSectorCount_;
             ++i) {
            fatSectors.push_back(headerDifat_[i]);
        }
        std::uint32_t next = firstDifatSector_;
        const std::size_t perSector = sectorSize_ / 4;
        std::vector<std::uint32_t> difatSectors;
        Bytes sector;
        for (std::uint32_t steps = 0; fatSectors.size() < fatSectorCount_; ++steps) {
            difatSectors.push_back(next);
            if (steps >= difatSectorCount_ || !Sector(next, sector) ||
                sector.size() < sectorSize_) {
                return Fail("the DIFAT chain is broken");
            }
            for (std::size_t i = 0; i + 1 < perSector && fatSectors.size() < fatSectorCount_; ++i) {
                std::uint32_t id = 0;
                (void)GetU32(sector, 4 * i, id);
                fatSectors.push_back(id);
            }
            (void)GetU32(sector, sectorSize_ - 4, next);
        }
        fat_.reserve(fatSectors.size() * perSector);
        for (std::uint32_t id : fatSectors) {
            if (!Sector(id, sector) || sector.size() < sectorSize_) {
                return Fail("a FAT sector lies beyond the end of the file");
            }
            for (std::size_t i = 0; i < perSector; ++i) {
                std::uint32_t entry = 0;
                (void)GetU32(sector, 4 * i, entry);
                fat_.push_back(entry);
            }
        }
        owned_.assign(fat_.size(), false);
        return Claim(owned_, fatSectors) && Claim(owned_, difatSectors);
    }

    // The sector ids of a chain. At most table.size() steps: a longer walk
    // must have met a loop.
    bool Chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
               std::vector<std::uint32_t>& chain, const char* loopWhy) {
        // Sectors must also exist: the FAT may describe more sectors than the
        // file holds, and the mini FAT more than the mini stream.
        const bool mini = &table == &miniFat_;
        const std::uint64_t present =
            mini ? (miniStream_.size() + kMiniSectorSize - 1) / kMiniSectorSize
                 : (fileSize_ - kHeaderSize + sectorSize_ - 1) / sectorSize_;
        chain.clear();
        for (std::uint32_t id = start; id != kEndOfChain; id = table[id]) {
            if (id >= table.size() || id >= present) {
                return Fail("a sector chain points outside its table");
            }
            if (chain.size() >= table.size()) {
                return Fail(loopWhy);
            }
            chain.push_back(id);
        }
        return true;
    }

    // Marks the chain's sectors as taken; a sector that two chains share
    // means the file is damaged, and copying both would hide that.
    bool Claim(std::vector<bool>& owned, const std::vector<std::uint32_t>& chain) {
        for (std::uint32_t id : chain) {
            if (id < owned.size()) {
                if (owned[id]) {
                    return Fail("a sector belongs to two streams");
                }
                owned[id] = true;
            }
        }
        return true;
    }

    // Where the first `size` bytes of the chain lie in the file, sectors
    // that follow each other joined into one run.
    bool Runs(const std::vector<std::uint32_t>& chain, std::uint64_t size,
              std::vector<StreamRun>& runs) {
        if (size > std::uint64_t{chain.size()} * sectorSize_) {
            return Fail("a stream is longer than its sector chain");
        }
        runs.clear();
        std::uint64_t done = 0;
        for (std::uint32_t id : chain) {
            if (done == size) {
                break;
            }
            const std::uint64_t offset = (std::uint64_t{id} + 1) * sectorSize_;
            if (id > 0xFFFFFFF9u || offset >= fileSize_) {
                return Fail("a sector lies beyond the end of the file");
            }
            const std::uint64_t take = std::min<std::uint64_t>(sectorSize_, size - done);
            if (fileSize_ - offset < take) {
                return Fail("the file is truncated");
            }
            AppendRun(runs, offset, take);
            done += take;
        }
        return true;
    }

    // Leaves a big stream in the file: walks its chain with the checks of
    // Chain, Claim and Runs, keeping only the runs, not a list of sectors
    // as long as the stream.
    bool KeepChain(const RawEntry& raw, CompoundEntry& entry) {
        const std::uint64_t present = (fileSize_ - kHeaderSize + sectorSize_ - 1) / sectorSize_;
        // A first walk finds loops, as Chain does, before sectors are claimed.
        std::uint64_t steps = 0;
        for (std::uint32_t id = raw.start; id != kEndOfChain; id = fat_[id]) {
            if (id >= fat_.size() || id >= present) {
                return Fail("a sector chain points outside its table");
            }
            if (steps++ >= fat_.size()) {
                return Fail("a stream's sector chain loops");
            }
        }
        std::vector<StreamRun> runs;
        std::uint64_t done = 0;
        for (std::uint32_t id = raw.start; id != kEndOfChain; id = fat_[id]) {
            if (owned_[id]) {
                return Fail("a sector belongs to two streams");
            }
            owned_[id] = true;
            if (done == raw.size) {
                continue;
            }
            const std::uint64_t offset = (std::uint64_t{id} + 1) * sectorSize_;
            if (offset >= fileSize_) {
                return Fail("a sector lies beyond the end of the file");
            }
            const std::uint64_t take = std::min<std::uint64_t>(sectorSize_, raw.size - done);
            if (fileSize_ - offset < take) {
                return Fail("the file is truncated");
            }
            AppendRun(runs, offset, take);
            done += take;
        }
        if (done < raw.size) {
            return Fail("a stream is longer than its sector chain");
        }
        entry.kept = std::make_shared<const StreamBytes>(keep_, std::move(runs));
        return true;
    }

    // Copies `size` bytes that the chain's sectors hold in order.
    bool CopyChain(const std::vector<std::uint32_t>& chain, std::uint64_t size, Bytes& out) {
        std::vector<StreamRun> runs;
        if (!Runs(chain, size, runs)) {
            return false;
        }
        out.resize(static_cast<std::size_t>(size));
        std::size_t at = 0;
        for (const StreamRun& run : runs) {
            if (!ReadFile(run.fileAt, std::span<std::uint8_t>(out).subspan(
                                          at, static_cast<std::size_t>(run.size)))) {
                return false;
            }
            at += static_cast<std::size_t>(run.size);
        }
        return true;
    }

    bool ReadDirectory() {
        std::vector<std::uint32_t> chain;
        Bytes bytes;
        if (!Chain(fat_, firstDirectorySector_, chain, "the directory chain loops") ||
            !Claim(owned_, chain) ||
            !CopyChain(chain, std::uint64_t{chain.size()} * sectorSize_, bytes)) {
            return false;
        }
        const std::size_t count = bytes.size() / kEntrySize;
        if (count == 0) {
            return Fail("the directory is empty");
        }
        entries_.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const ByteSpan raw = ByteSpan(bytes).subspan(i * kEntrySize, kEntrySize);
            RawEntry& entry = entries_[i];
            std::uint16_t nameBytes = 0;
            std::uint32_t sizeLow = 0;
            std::uint32_t sizeHigh = 0;
            (void)GetU16(raw, 64, nameBytes);
            entry.type = raw[66];
            (void)GetU32(raw, 68, entry.left);
            (void)GetU32(raw, 72, entry.right);
            (void)GetU32(raw, 76, entry.child);
            std::copy_n(raw.begin() + 80, 16, entry.clsid.begin());
            (void)GetU32(raw, 96, entry.stateBits);
            std::copy_n(raw.begin() + 100, 16, entry.times.begin());
            (void)GetU32(raw, 116, entry.start);
            (void)GetU32(raw, 120, sizeLow);
            (void)GetU32(raw, 124, sizeHigh);
            // Version 3 files may leave garbage in the high half of the size.
            entry.size = sectorSize_ == 512 ? sizeLow : (std::uint64_t{sizeHigh} << 32 | sizeLow);
            if (entry.type == 0) {
                continue;
            }
            if (nameBytes > 64 || nameBytes % 2 != 0) {
                return Fail("a directory entry has a bad name length");
            }
            for (std::size_t c = 0; c + 1 < nameBytes / 2u; ++c) {
                std::uint16_t unit = 0;
                (void)GetU16(raw, 2 * c, unit);
                entry.name.push_back(static_cast<char16_t>(unit));
            }
        }
        if (entries_[0].type != kTypeRoot) {
            return Fail("the first directory entry is not the root");
        }
        return true;
    }

    bool ReadMiniStream() {
        std::vector<std::uint32_t> chain;
        Bytes bytes;
        if (!Chain(fat_, firstMiniFatSector_, chain, "the mini FAT chain loops") ||
            !Claim(owned_, chain) ||
            !CopyChain(chain, std::uint64_t{chain.size()} * sectorSize_, bytes)) {
            return false;
        }
        miniFat_.resize(bytes.size() / 4);
        for (std::size_t i = 0; i < miniFat_.size(); ++i) {
            (void)GetU32(bytes, 4 * i, miniFat_[i]);
        }
        const RawEntry& root = entries_[0];
        if (!Chain(fat_, root.start, chain, "the mini stream chain loops") ||
            !Claim(owned_, chain)) {
            return false;
        }
        miniOwned_.assign(miniFat_.size(), false);
        // Some writers leave the root's size short or long; the chain decides.
        const std::uint64_t size =
            std::min<std::uint64_t>(root.size, std::uint64_t{chain.size()} * sectorSize_);
        return CopyChain(chain, size, miniStream_);
    }

    bool StreamData(const RawEntry& raw, CompoundEntry& entry) {
        std::vector<std::uint32_t> chain;
        if (raw.size >= kMiniStreamCutoff && keep_) {
            return KeepChain(raw, entry);
        }
        if (raw.size >= kMiniStreamCutoff) {
            if (!Chain(fat_, raw.start, chain, "a stream's sector chain loops") ||
                !Claim(owned_, chain)) {
                return false;
            }
            return CopyChain(chain, raw.size, entry.data);
        }
        if (!Chain(miniFat_, raw.start, chain, "a stream's mini sector chain loops") ||
            !Claim(miniOwned_, chain)) {
            return false;
        }
        if (raw.size > chain.size() * kMiniSectorSize) {
            return Fail("a stream is longer than its mini sector chain");
        }
        Bytes& out = entry.data;
        out.clear();
        out.reserve(static_cast<std::size_t>(raw.size));
        for (std::uint32_t id : chain) {
            const std::size_t take =
                std::min(kMiniSectorSize, static_cast<std::size_t>(raw.size) - out.size());
            if (take == 0) {
                break;
            }
            const std::uint64_t offset = std::uint64_t{id} * kMiniSectorSize;
            if (offset + take > miniStream_.size()) {
                return Fail("a mini sector lies beyond the mini stream");
            }
            out.insert(out.end(), miniStream_.begin() + static_cast<std::ptrdiff_t>(offset),
                       miniStream_.begin() + static_cast<std::ptrdiff_t>(offset + take));
        }
        return true;
    }

    // Adds the entries of one sibling tree under `parent`. The tree is walked
    // with an explicit stack, so a degenerate tree cannot exhaust the call
    // stack; each entry may be met once only.
    bool AddChildren(std::uint32_t first, CompoundEntry& parent, int depth) {
        if (depth > kMaxStorageDepth) {
            return Fail("storages nest too deep");
        }
        std::vector<std::uint32_t> pending{first};
        while (!pending.empty()) {
            const std::uint32_t id = pending.back();
            pending.pop_back();
            if (id == kNoEntry) {
                continue;
            }
            if (id >= entries_.size() || used_[id]) {
                return Fail("the directory tree is broken or cyclic");
            }
            used_[id] = true;
            const RawEntry& raw = entries_[id];
            pending.push_back(raw.left);
            pending.push_back(raw.right);
            if (raw.type != kTypeStorage && raw.type != kTypeStream) {
                continue;
            }
            CompoundEntry entry;
            entry.name = raw.name;
            entry.isStorage = raw.type == kTypeStorage;
            entry.clsid = raw.clsid;
            entry.stateBits = raw.stateBits;
            entry.times = raw.times;
            if (entry.isStorage ? !AddChildren(raw.child, entry, depth + 1)
                                : !StreamData(raw, entry)) {
                return false;
            }
            parent.children.push_back(std::move(entry));
        }
        return true;
    }

    ReadFunction read_;
    std::uint64_t fileSize_ = 0;
    std::shared_ptr<SourceFile> keep_;
    std::string& error_;
    std::size_t sectorSize_ = 512;
    std::uint32_t fatSectorCount_ = 0;
    std::uint32_t firstDirectorySector_ = kEndOfChain;
    std::uint32_t firstMiniFatSector_ = kEndOfChain;
    std::uint32_t firstDifatSector_ = kEndOfChain;
    std::uint32_t difatSectorCount_ = 0;
    std::vector<std::uint32_t> headerDifat_;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    std::vector<RawEntry> entries_;
    std::vector<bool> used_;
    std::vector<bool> owned_;      // regular sectors already in a chain
    std::vector<bool> miniOwned_;  // mini sectors already in a chain
    Bytes miniStream_;
};

// ---- writer ----

struct FlatEntry {
    const CompoundEntry* entry = nullptr;
    std::uint8_t type = kTypeStream;
    std::uint32_t left = kNoEntry;
    std::uint32_t right = kNoEntry;
    std::uint32_t child = kNoEntry;
    std::uint32_t start = kEndOfChain;
    std::uint64_t size = 0;
    bool inMiniStream = false;
};

std::uint64_t SectorsFor(std::uint64_t bytes, std::uint64_t sectorSize) {
    return (bytes + sectorSize - 1) / sectorSize;
}

// Sectors the FAT describes alike, from `start` on: a chain when `mark` is
// kEndOfChain, else sectors that each hold `mark` (FAT and DIFAT sectors).
struct FatRun {
    std::uint64_t start = 0;
    std::uint64_t count = 0;
    std::uint32_t mark = kEndOfChain;
};

// The FAT goes to the sink in pieces of this size.
constexpr std::size_t kFatChunk = 64 * 1024;

class Layout {
public:
    explicit Layout(const CompoundEntry& root) {
        FlatEntry rootEntry;
        rootEntry.entry = &root;
        rootEntry.type = kTypeRoot;
        flat_.push_back(rootEntry);
        AddStorage(root, 0);
    }

    std::vector<FlatEntry>& flat() { return flat_; }

private:
    void AddStorage(const CompoundEntry& storage, std::size_t index) {
        std::vector<const CompoundEntry*> sorted;
        for (const CompoundEntry& child : storage.children) {
            sorted.push_back(&child);
        }
        std::sort(sorted.begin(), sorted.end(), [](const CompoundEntry* a, const CompoundEntry* b) {
            return NameLess(a->name, b->name);
        });
        const std::size_t base = flat_.size();
        for (const CompoundEntry* child : sorted) {
            FlatEntry entry;
            entry.entry = child;
            entry.type = child->isStorage ? kTypeStorage : kTypeStream;
            flat_.push_back(entry);
        }
        flat_[index].child = BuildTree(base, base, base + sorted.size());
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            if (sorted[i]->isStorage) {
                AddStorage(*sorted[i], base + i);
            }
        }
    }

    // A balanced binary tree over flat_[lo, hi); all nodes are black, which
    // readers accept for a tree this balanced.
    std::uint32_t BuildTree(std::size_t base, std::size_t lo, std::size_t hi) {
        if (lo >= hi) {
            return kNoEntry;
        }
        const std::size_t mid = lo + (hi - lo) / 2;
        flat_[mid].left = BuildTree(base, lo, mid);
        flat_[mid].right = BuildTree(base, mid + 1, hi);
        return static_cast<std::uint32_t>(mid);
    }

    std::vector<FlatEntry> flat_;
};

// Collects small writes into whole buffers before they reach the sink.
class SectorWriter {
public:
    explicit SectorWriter(const ByteSink& sink) : sink_(sink) {}

    bool Write(ByteSpan bytes) {
        if (bytes.size() >= kChunk) {
            return Flush() && sink_(bytes);
        }
        if (buffer_.size() + bytes.size() > kChunk && !Flush()) {
            return false;
        }
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
        return true;
    }
    bool Zeros(std::size_t count) {
        const Bytes zeros(count, 0);
        return Write(zeros);
    }
    bool Flush() {
        const bool ok = buffer_.empty() || sink_(buffer_);
        buffer_.clear();
        return ok;
    }

private:
    static constexpr std::size_t kChunk = 1 << 16;
    const ByteSink& sink_;
    Bytes buffer_;
};

bool WriteStreamData(SectorWriter& out, const CompoundEntry& entry) {
    if (entry.pieces.empty()) {
        if (entry.kept) {
            return entry.kept->Produce(0, entry.kept->size(),
                                       [&out](ByteSpan bytes) { return out.Write(bytes); });
        }
        return out.Write(entry.data);
    }
    for (const StreamPiece& piece : entry.pieces) {
        if (piece.produce) {
            std::uint64_t given = 0;
            const bool produced = piece.produce([&](ByteSpan bytes) {
                given += bytes.size();
                return given <= piece.size && out.Write(bytes);
            });
            // A producer that gives other than it promised would shift every
            // sector after it.
            if (!produced || given != piece.size) {
                return false;
            }
        } else if (!out.Write(piece.bytes)) {
            return false;
        }
    }
    return true;
}

void PutDirectoryEntry(Bytes& out, const FlatEntry& flat) {
    const std::size_t begin = out.size();
    out.resize(begin + kEntrySize, 0);
    const std::span<std::uint8_t> raw = std::span<std::uint8_t>(out).subspan(begin, kEntrySize);
    std::u16string_view name =
        flat.type == kTypeRoot ? std::u16string_view(u"Root Entry") : flat.entry->name;
    name = name.substr(0, 31);
    for (std::size_t i = 0; i < name.size(); ++i) {
        SetU16(raw, 2 * i, name[i]);
    }
    SetU16(raw, 64, static_cast<std::uint16_t>((name.size() + 1) * 2));
    raw[66] = flat.type;
    raw[67] = 1;  // black
    SetU32(raw, 68, flat.left);
    SetU32(raw, 72, flat.right);
    SetU32(raw, 76, flat.child);
    std::copy(flat.entry->clsid.begin(), flat.entry->clsid.end(), raw.begin() + 80);
    SetU32(raw, 96, flat.entry->stateBits);
    std::copy(flat.entry->times.begin(), flat.entry->times.end(), raw.begin() + 100);
    SetU32(raw, 116, flat.start);
    SetU32(raw, 120, static_cast<std::uint32_t>(flat.size));
}

void PutEmptyDirectoryEntry(Bytes& out) {
    const std::size_t begin = out.size();
    out.resize(begin + kEntrySize, 0);
    const std::span<std::uint8_t> raw = std::span<std::uint8_t>(out).subspan(begin, kEntrySize);
    SetU32(raw, 68, kNoEntry);
    SetU32(raw, 72, kNoEntry);
    SetU32(raw, 76, kNoEntry);
}

// Places the streams: small ones in mini sectors, the rest in regular
// sectors, counting both from where `nextSector` and `miniSectors` stand.
// False when a stream is too long for its directory entry.
bool PlaceStreams(std::vector<FlatEntry>& flat, std::uint64_t& nextSector,
                  std::uint64_t& miniSectors) {
    constexpr std::size_t ss = kWriteSectorSize;
    for (FlatEntry& entry : flat) {
        if (entry.type != kTypeStream) {
            continue;
        }
        entry.size = entry.entry->StreamSize();
        // A version 3 directory entry holds a stream's size in 32 bits.
        if (entry.size > 0xFFFFFFFFu) {
            return false;
        }
        if (entry.size == 0) {
            continue;
        }
        if (entry.size < kMiniStreamCutoff) {
            entry.inMiniStream = true;
            entry.start = static_cast<std::uint32_t>(miniSectors);
            miniSectors += SectorsFor(entry.size, kMiniSectorSize);
        } else {
            entry.start = static_cast<std::uint32_t>(nextSector);
            nextSector += SectorsFor(entry.size, ss);
        }
    }
    return true;
}

// The streams' data in file order: the large streams, each padded to whole
// sectors, then the streams in the mini stream, each padded to whole mini
// sectors.
bool WriteStreams(SectorWriter& out, const std::vector<FlatEntry>& flat) {
    constexpr std::size_t ss = kWriteSectorSize;
    for (const FlatEntry& entry : flat) {
        if (entry.type == kTypeStream && entry.size > 0 && !entry.inMiniStream) {
            if (!WriteStreamData(out, *entry.entry) ||
                !out.Zeros(
                    static_cast<std::size_t>(SectorsFor(entry.size, ss) * ss - entry.size))) {
                return false;
            }
        }
    }
    for (const FlatEntry& entry : flat) {
        if (entry.type == kTypeStream && entry.size > 0 && entry.inMiniStream) {
            // Streams in the mini stream are shorter than 4096 bytes.
            const auto padding = static_cast<std::size_t>(
                SectorsFor(entry.size, kMiniSectorSize) * kMiniSectorSize - entry.size);
            if (!WriteStreamData(out, *entry.entry) || !out.Zeros(padding)) {
                return false;
            }
        }
    }
    return true;
}

// The FAT from its runs, then the DIFAT sectors that list the FAT sectors
// past the header's 109, and flushes the file.
bool WriteFatAndDifat(SectorWriter& out, std::vector<FatRun>& fat, std::uint64_t fatStart,
                      std::uint64_t fatSectors, std::uint64_t difatStart,
                      std::uint64_t difatSectors) {
    constexpr std::size_t perSector = kWriteSectorSize / 4;
    Bytes table;
    std::sort(fat.begin(), fat.end(),
              [](const FatRun& a, const FatRun& b) { return a.start < b.start; });
    std::uint64_t sector = 0;
    bool written = true;
    const auto put = [&](std::uint32_t entry) {
        PutU32(table, entry);
        if (table.size() >= kFatChunk) {
            written = written && out.Write(table);
            table.clear();
        }
        ++sector;
    };
    for (const FatRun& run : fat) {
        while (sector < run.start) {
            put(kFreeSector);
        }
        for (std::uint64_t i = 0; i < run.count; ++i) {
            put(run.mark != kEndOfChain ? run.mark
                : i + 1 == run.count    ? kEndOfChain
                                        : static_cast<std::uint32_t>(run.start + i + 1));
        }
    }
    while (sector < fatSectors * perSector) {
        put(kFreeSector);
    }
    if (!written) {
        return false;
    }
    for (std::uint64_t d = 0; d < difatSectors; ++d) {
        for (std::size_t i = 0; i + 1 < perSector; ++i) {
            const std::uint64_t fatIndex = kHeaderDifatEntries + d * (perSector - 1) + i;
            PutU32(table, fatIndex < fatSectors ? static_cast<std::uint32_t>(fatStart + fatIndex)
                                                : kFreeSector);
        }
        PutU32(table,
               d + 1 < difatSectors ? static_cast<std::uint32_t>(difatStart + d + 1) : kEndOfChain);
    }
    return out.Write(table) && out.Flush();
}

}  // namespace

std::uint64_t CompoundEntry::StreamSize() const {
    if (pieces.empty()) {
        return kept ? kept->size() : data.size();
    }
    std::uint64_t size = 0;
    for (const StreamPiece& piece : pieces) {
        size += piece.size;
    }
    return size;
}

bool SameEntryName(std::u16string_view a, std::u16string_view b) {
    return SameName(a, b);
}

const CompoundEntry* FindChild(const CompoundEntry& storage, std::u16string_view name) {
    for (const CompoundEntry& child : storage.children) {
        if (SameName(child.name, name)) {
            return &child;
        }
    }
    return nullptr;
}

bool SourceFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    const std::span<char> chars(reinterpret_cast<char*>(out.data()), out.size());
    if (!file_.IsOpen() || !file_.ReadAt(offset, chars)) {
        failed_ = true;
        return false;
    }
    return true;
}

StreamBytes::StreamBytes(std::shared_ptr<SourceFile> source, std::vector<StreamRun> runs)
    : source_(std::move(source)), runs_(std::move(runs)) {
    for (const StreamRun& run : runs_) {
        size_ += run.size;
    }
}

bool StreamBytes::Read(std::uint64_t at, std::span<std::uint8_t> out) const {
    if (at > size_ || size_ - at < out.size()) {
        return false;
    }
    if (!source_) {
        std::copy_n(memory_.begin() + static_cast<std::ptrdiff_t>(at), out.size(), out.begin());
        return true;
    }
    // Runs are few (most files keep a stream's sectors together), so a walk
    // finds the first one as fast as a search would.
    std::uint64_t runAt = 0;
    for (const StreamRun& run : runs_) {
        if (out.empty()) {
            break;
        }
        if (at < runAt + run.size) {
            const std::uint64_t into = at - runAt;
            const auto take =
                static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), run.size - into));
            if (!source_->ReadAt(run.fileAt + into, out.first(take))) {
                return false;
            }
            out = out.subspan(take);
            at += take;
        }
        runAt += run.size;
    }
    return out.empty();
}

bool StreamBytes::Produce(std::uint64_t at, std::uint64_t length, const ByteSink& sink) const {
    constexpr std::size_t kChunk = 256 * 1024;
    if (!source_) {
        return at <= size_ && size_ - at >= length &&
               sink(ByteSpan(memory_).subspan(static_cast<std::size_t>(at),
                                              static_cast<std::size_t>(length)));
    }
    Bytes chunk;
    while (length > 0) {
        chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk)));
        if (!Read(at, chunk) || !sink(chunk)) {
            return false;
        }
        at += chunk.size();
        length -= chunk.size();
    }
    return true;
}

bool ReadCompoundFile(ByteSpan file, CompoundEntry& root, std::string& error) {
    Reader reader(
        [file](std::uint64_t offset, std::span<std::uint8_t> out) {
            if (offset > file.size() || file.size() - offset < out.size()) {
                return false;
            }
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(offset), out.size(),
                        out.begin());
            return true;
        },
        file.size(), nullptr, error);
    return reader.Read(root);
}

bool ReadCompoundFile(const std::shared_ptr<SourceFile>& source, std::uint64_t fileSize,
                      CompoundEntry& root, std::string& error) {
    Reader reader([&source](std::uint64_t offset,
                            std::span<std::uint8_t> out) { return source->ReadAt(offset, out); },
                  fileSize, source, error);
    return reader.Read(root);
}

bool WriteCompoundFile(const CompoundEntry& root, const ByteSink& sink) {
    Layout layout(root);
    std::vector<FlatEntry>& flat = layout.flat();
    constexpr std::size_t ss = kWriteSectorSize;
    constexpr std::size_t perSector = ss / 4;

    // Place streams: small ones in mini sectors, the rest in regular sectors.
    std::uint64_t nextSector = 0;
    std::uint64_t miniSectors = 0;
    if (!PlaceStreams(flat, nextSector, miniSectors)) {
        return false;
    }
    // Counted in 64 bits and checked before any table is made, so that a
    // 32-bit build refuses a file too large for its sector numbers too.
    const std::uint64_t miniStreamBytes = miniSectors * kMiniSectorSize;
    const std::uint64_t miniStreamStart = nextSector;
    const std::uint64_t miniStreamSectors = SectorsFor(miniStreamBytes, ss);
    const std::uint64_t miniFatStart = miniStreamStart + miniStreamSectors;
    const std::uint64_t miniFatSectors = SectorsFor(miniSectors * 4, ss);
    const std::uint64_t directoryStart = miniFatStart + miniFatSectors;
    const std::uint64_t directorySectors = SectorsFor(flat.size() * kEntrySize, ss);
    const std::uint64_t fatStart = directoryStart + directorySectors;
    std::uint64_t fatSectors = 1;
    std::uint64_t difatSectors = 0;
    for (;;) {
        difatSectors = fatSectors > kHeaderDifatEntries
                           ? SectorsFor(fatSectors - kHeaderDifatEntries, perSector - 1)
                           : 0;
        if (fatStart + fatSectors + difatSectors <= fatSectors * perSector) {
            break;
        }
        ++fatSectors;
    }
    const std::uint64_t difatStart = fatStart + fatSectors;
    if (difatStart + difatSectors >= 0xFFFFFFF0u) {
        return false;
    }

    // The FAT as runs of sectors in file order, written out entry by entry
    // at the end: a table as long as the file is never held.
    std::vector<FatRun> fat;
    auto chain = [&fat](std::uint64_t start, std::uint64_t count) {
        if (count > 0) {
            fat.push_back({start, count, kEndOfChain});
        }
    };
    std::vector<std::uint32_t> miniFat(static_cast<std::size_t>(miniSectors), kFreeSector);
    for (const FlatEntry& entry : flat) {
        if (entry.type != kTypeStream || entry.size == 0) {
            continue;
        }
        if (entry.inMiniStream) {
            const std::uint64_t count = SectorsFor(entry.size, kMiniSectorSize);
            for (std::uint64_t i = 0; i < count; ++i) {
                miniFat[static_cast<std::size_t>(entry.start + i)] =
                    i + 1 == count ? kEndOfChain : static_cast<std::uint32_t>(entry.start + i + 1);
            }
        } else {
            chain(entry.start, SectorsFor(entry.size, ss));
        }
    }
    chain(miniStreamStart, miniStreamSectors);
    chain(miniFatStart, miniFatSectors);
    chain(directoryStart, directorySectors);
    fat.push_back({fatStart, fatSectors, kFatSector});
    if (difatSectors > 0) {
        fat.push_back({difatStart, difatSectors, kDifatSector});
    }
    flat[0].start =
        miniStreamSectors > 0 ? static_cast<std::uint32_t>(miniStreamStart) : kEndOfChain;
    flat[0].size = miniStreamBytes;

    Bytes header;
    header.reserve(kHeaderSize);
    PutBytes(header, kSignature);
    header.resize(24, 0);
    PutU16(header, 0x003E);  // minor version
    PutU16(header, 3);       // major version: 512-byte sectors
    PutU16(header, 0xFFFE);  // little-endian
    PutU16(header, 9);       // sector shift
    PutU16(header, 6);       // mini sector shift
    header.resize(40, 0);
    PutU32(header, 0);  // directory sector count: always 0 in version 3
    PutU32(header, static_cast<std::uint32_t>(fatSectors));
    PutU32(header, static_cast<std::uint32_t>(directoryStart));
    PutU32(header, 0);  // transaction signature
    PutU32(header, static_cast<std::uint32_t>(kMiniStreamCutoff));
    PutU32(header, miniFatSectors > 0 ? static_cast<std::uint32_t>(miniFatStart) : kEndOfChain);
    PutU32(header, static_cast<std::uint32_t>(miniFatSectors));
    PutU32(header, difatSectors > 0 ? static_cast<std::uint32_t>(difatStart) : kEndOfChain);
    PutU32(header, static_cast<std::uint32_t>(difatSectors));
    for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
        PutU32(header, i < fatSectors ? static_cast<std::uint32_t>(fatStart + i) : kFreeSector);
    }

    SectorWriter out(sink);
    if (!out.Write(header)) {
        return false;
    }
    if (!WriteStreams(out, flat)) {
        return false;
    }
    if (!out.Zeros(static_cast<std::size_t>(miniStreamSectors * ss - miniStreamBytes))) {
        return false;
    }
    Bytes table;
    for (std::uint32_t id : miniFat) {
        PutU32(table, id);
    }
    while (table.size() < miniFatSectors * ss) {
        PutU32(table, kFreeSector);
    }
    for (const FlatEntry& entry : flat) {
        PutDirectoryEntry(table, entry);
    }
    while (table.size() % ss != 0) {
        PutEmptyDirectoryEntry(table);
    }
    if (!out.Write(table)) {
        return false;
    }
    return WriteFatAndDifat(out, fat, fatStart, fatSectors, difatStart, difatSectors);
}

}  // namespace workbook::xls
