// SPDX-License-Identifier: MIT
// The scratch file that keeps a book's new cells and strings out of memory
// until the save, and the bounded table that merges repeated texts.
#include <algorithm>
#include <cstring>

#include "workbook/xls/xls_model.h"

namespace workbook::xls {
namespace {

// Writes reach the file in pieces of this size; reads come back in them.
constexpr std::size_t kSpillChunk = 256 * 1024;

std::span<const char> AsChars(ByteSpan bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::uint64_t SpillFile::Append(ByteSpan bytes) {
    const std::uint64_t at = size();
    if (failed()) {
        return at;  // the save fails anyway; keep memory bounded meanwhile
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    if (buffer_.size() >= kSpillChunk) {
        (void)Flush();
    }
    return at;
}

bool SpillFile::Flush() {
    if (buffer_.empty() || failed()) {
        return !failed();
    }
    if (!file_.IsOpen()) {
        std::string why;
        if (platform::OpenScratchFile(file_, why) != platform::FileStatus::kOk) {
            error_ = why;
            return false;
        }
    }
    if (!file_.WriteAt(written_, AsChars(buffer_))) {
        error_ = "cannot write a scratch file: " + file_.ErrorText();
        return false;
    }
    written_ += buffer_.size();
    buffer_.clear();
    return true;
}

bool SpillFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset + out.size() > size()) {
        return false;
    }
    std::size_t done = 0;
    if (offset < written_) {
        const auto fromFile =
            static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), written_ - offset));
        const std::span<char> chars(reinterpret_cast<char*>(out.data()), fromFile);
        if (!file_.ReadAt(offset, chars)) {
            error_ = "cannot read a scratch file: " + file_.ErrorText();
            return false;
        }
        done = fromFile;
    }
    if (done < out.size()) {
        const auto inBuffer = static_cast<std::size_t>(offset + done - written_);
        std::memcpy(out.data() + done, buffer_.data() + inBuffer, out.size() - done);
    }
    return true;
}

bool SpillFile::Produce(std::uint64_t offset, std::uint64_t length,
                        const std::function<bool(ByteSpan)>& sink) {
    Bytes chunk;
    while (length > 0) {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(length, kSpillChunk));
        chunk.resize(take);
        if (!ReadAt(offset, chunk) || !sink(chunk)) {
            return false;
        }
        offset += take;
        length -= take;
    }
    return true;
}

std::size_t StringMerger::Locate(std::string_view utf8, std::uint16_t& print) {
    // FNV-1a: short texts, and sets and fingerprints only need an even spread.
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (char c : utf8) {
        hash = (hash ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ull;
    }
    print = static_cast<std::uint16_t>(hash >> 48 | 1u);
    return static_cast<std::size_t>(hash) & (kSets - 1);
}

bool StringMerger::Find(std::string_view utf8, std::uint32_t& index) {
    if (slots_.empty() || utf8.size() > kMaxText) {
        return false;
    }
    std::uint16_t print = 0;
    const std::size_t first = Locate(utf8, print) * kWays;
    for (std::size_t i = first; i < first + kWays; ++i) {
        if (prints_[i] != print) {
            continue;
        }
        const Slot& slot = slots_[i];
        if (slot.length == utf8.size() &&
            (utf8.empty() || std::memcmp(slot.text, utf8.data(), utf8.size()) == 0)) {
            used_[i] = ++clock_;
            index = slot.index;
            return true;
        }
    }
    return false;
}

void StringMerger::Remember(std::string_view utf8, std::uint32_t index) {
    if (utf8.size() > kMaxText) {
        return;
    }
    if (slots_.empty()) {
        prints_.resize(kSets * kWays, 0);
        used_.resize(kSets * kWays, 0);
        slots_.resize(kSets * kWays);
    }
    std::uint16_t print = 0;
    const std::size_t first = Locate(utf8, print) * kWays;
    std::size_t oldest = first;
    for (std::size_t i = first + 1; i < first + kWays; ++i) {
        if (used_[i] < used_[oldest]) {
            oldest = i;
        }
    }
    prints_[oldest] = print;
    used_[oldest] = ++clock_;
    Slot& slot = slots_[oldest];
    slot.index = index;
    slot.length = static_cast<std::uint8_t>(utf8.size());
    if (!utf8.empty()) {  // an empty view may carry no pointer at all
        std::memcpy(slot.text, utf8.data(), utf8.size());
    }
}

}  // namespace workbook::xls
