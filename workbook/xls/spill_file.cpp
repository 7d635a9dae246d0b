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

// The 1 to 7 bytes at `at` as a word padded with zeros, from at most two
// overlapping loads that stay inside the text: a copy of a variable length
// became a library call, as costly as hashing the rest of a short text.
std::uint64_t ShortWord(const char* at, std::size_t size) {
    const auto byte = [at](std::size_t i) {
        return static_cast<std::uint64_t>(static_cast<unsigned char>(at[i]));
    };
    if (size >= 4) {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        std::memcpy(&low, at, 4);
        std::memcpy(&high, at + size - 4, 4);
        // On a little-endian machine the overlapping bytes meet themselves,
        // so OR joins the two halves exactly; elsewhere it still mixes them.
        return static_cast<std::uint64_t>(low) |
               (static_cast<std::uint64_t>(high) << (8 * (size - 4)));
    }
    return byte(0) | (byte(size / 2) << (8 * (size / 2))) | (byte(size - 1) << (8 * (size - 1)));
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

std::uint64_t StringMerger::Hash(std::string_view utf8) {
    // Eight bytes at a time, each word mixed in by a multiply; the slot takes
    // the low bits and the fingerprint the high ones, so both need the spread
    // the final mix gives.
    std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ utf8.size();
    const char* at = utf8.data();
    std::size_t left = utf8.size();
    for (; left >= 8; left -= 8, at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, at, 8);
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 32;
    }
    if (left > 0) {
        hash = (hash ^ ShortWord(at, left)) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 32;
    }
    hash *= 0xC4CEB9FE1A85EC53ull;
    return hash ^ (hash >> 29);
}

std::string_view StringMerger::KeptText(std::uint32_t at) const {
    return {reinterpret_cast<const char*>(kept_.get()) + at + 5, kept_[at + 4]};
}

void StringMerger::Prefetch(std::uint64_t hash, bool text) const {
    if (!slots_) {
        return;
    }
    const Slot& slot = slots_[static_cast<std::size_t>(hash) & (kSlots - 1)];
    if (!text) {
        __builtin_prefetch(&slot);
    } else if (slot.print == Print(hash)) {
        __builtin_prefetch(kept_.get() + slot.at);
    }
}

std::size_t StringMerger::Search(std::string_view utf8, std::uint64_t hash, bool& found) const {
    const std::uint32_t print = Print(hash);
    for (std::size_t slot = static_cast<std::size_t>(hash) & (kSlots - 1);;
         slot = (slot + 1) & (kSlots - 1)) {
        const Slot& entry = slots_[slot];
        if (entry.print == 0) {
            found = false;
            return slot;
        }
        if (entry.print == print && KeptText(entry.at) == utf8) {
            found = true;
            return slot;
        }
    }
}

bool StringMerger::Find(std::string_view utf8, std::uint64_t hash, std::uint32_t& index) {
    missed_ = false;
    if (!slots_ || utf8.size() > kMaxText) {
        return false;
    }
    bool found = false;
    const std::size_t slot = Search(utf8, hash, found);
    if (found) {
        std::memcpy(&index, kept_.get() + slots_[slot].at, 4);
        return true;
    }
    missed_ = true;
    missedText_ = utf8.data();
    missedSize_ = utf8.size();
    missedSlot_ = slot;
    return false;
}

void StringMerger::Remember(std::string_view utf8, std::uint64_t hash, std::uint32_t index) {
    const bool afterMiss = missed_ && missedText_ == utf8.data() && missedSize_ == utf8.size();
    missed_ = false;
    if (utf8.size() > kMaxText || count_ >= kMaxRemembered ||
        keptSize_ + 5 + utf8.size() > kMaxKept) {
        return;
    }
    if (!slots_) {
        slots_.reset(static_cast<Slot*>(std::calloc(kSlots, sizeof(Slot))));
        kept_.reset(static_cast<std::uint8_t*>(std::malloc(kMaxKept)));
        if (!slots_ || !kept_) {
            slots_.reset();
            kept_.reset();
            return;  // merging is an economy; without memory for it texts stay apart
        }
    }
    std::size_t slot = missedSlot_;
    if (!afterMiss) {
        bool present = false;
        slot = Search(utf8, hash, present);
        if (present) {
            return;
        }
    }
    const auto at = static_cast<std::uint32_t>(keptSize_);
    std::memcpy(kept_.get() + at, &index, 4);
    kept_[at + 4] = static_cast<std::uint8_t>(utf8.size());
    if (!utf8.empty()) {  // an empty view may carry no pointer at all
        std::memcpy(kept_.get() + at + 5, utf8.data(), utf8.size());
    }
    keptSize_ += 5 + utf8.size();
    slots_[slot] = {Print(hash), at};
    ++count_;
}

}  // namespace workbook::xls
