// SPDX-License-Identifier: MIT
// Code pages on every system: 256-entry tables for single-byte pages built
// from the system's byte texts, and our own UTF-8 and UTF-16 decoders, which
// replace bad input with U+FFFD in the same way on every system.
#include "platform/code_pages.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "platform/code_page_backend.h"
#include "platform/utf8.h"
#include "platform/utf8_stepping.h"

namespace platform {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

bool IsUnicodePage(int codePage) {
    return codePage == kCodePageUtf8 || codePage == kCodePageUtf16Le ||
           codePage == kCodePageUtf16Be;
}

// Copies UTF-8 text, each maximal ill-formed part replaced by one U+FFFD.
void RepairUtf8(std::string_view in, std::string& out) {
    out.reserve(out.size() + in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        if (static_cast<unsigned char>(in[i]) < 0x80) {
            out.push_back(in[i]);
            ++i;
            continue;
        }
        const Utf8Step step = StepUtf8Multibyte(in, i);
        out.append(step.wellFormed ? in.substr(i, step.length) : kReplacement);
        i += step.length;
    }
}

// UTF-16 to UTF-8; unpaired surrogates and an odd last byte become U+FFFD.
void DecodeUtf16(bool bigEndian, std::string_view in, std::string& out) {
    out.reserve(out.size() + in.size() / 2 * 3 + 3);
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        const std::uint32_t first = static_cast<unsigned char>(in[i]);
        const std::uint32_t second = static_cast<unsigned char>(in[i + 1]);
        return bigEndian ? (first << 8u) | second : (second << 8u) | first;
    };
    std::size_t i = 0;
    while (i + 1 < in.size()) {
        const std::uint32_t u = unit(i);
        i += 2;
        if (u < 0xD800 || u > 0xDFFF) {
            AppendUtf8(u, out);
        } else if (u <= 0xDBFF && i + 1 < in.size() && unit(i) >= 0xDC00 && unit(i) <= 0xDFFF) {
            AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (unit(i) - 0xDC00), out);
            i += 2;
        } else {
            out.append(kReplacement);
        }
    }
    if (i < in.size()) {
        out.append(kReplacement);
    }
}

// A positive code-page number in an environment variable's text, else 0.
int CodePageFromText(const char* text) {
    if (text == nullptr || *text == '\0') {
        return 0;
    }
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return (*end == '\0' && value > 0 && value < 100000) ? static_cast<int>(value) : 0;
}

}  // namespace

SystemCodePages GetSystemCodePages() {
    SystemCodePages pages = detail::DefaultSystemPages();
    // NOLINTBEGIN(concurrency-mt-unsafe): the environment is not changed while we run
    if (const int ansi = CodePageFromText(std::getenv("QUENDLE_ANSI_CODEPAGE")); ansi != 0) {
        pages.ansi = ansi;
    }
    if (const int oem = CodePageFromText(std::getenv("QUENDLE_OEM_CODEPAGE")); oem != 0) {
        pages.oem = oem;
    }
    // NOLINTEND(concurrency-mt-unsafe)
    return pages;
}

// ---- Single-byte tables -----------------------------------------------------------

struct SingleByteDecoder::Table {
    std::array<std::array<char, 4>, 256> utf8{};
    std::array<std::uint8_t, 256> length{};
};

namespace {

using Utf8Entries = std::array<std::array<char, 4>, 256>;

// Fills the UTF-8 form of every byte of a single-byte page. False when the page
// is unknown or multi-byte. A byte the page leaves undefined, or that stands
// for more than one character, becomes U+FFFD.
bool FillTable(int codePage, Utf8Entries& utf8, std::array<std::uint8_t, 256>& length) {
    if (IsUnicodePage(codePage)) {
        return false;
    }
    std::array<detail::ByteText, 256> bytes;
    if (!detail::DecodeEachByte(codePage, bytes)) {
        return false;
    }
    for (std::size_t b = 0; b < 256; ++b) {
        std::string_view text = bytes[b].utf8;
        const bool oneCharacter = !text.empty() && StepUtf8(text, 0).wellFormed &&
                                  StepUtf8(text, 0).length == text.size();
        if (!bytes[b].defined || !oneCharacter) {
            text = kReplacement;
        }
        std::memcpy(utf8[b].data(), text.data(), text.size());
        length[b] = static_cast<std::uint8_t>(text.size());
    }
    return true;
}

}  // namespace

bool SingleByteDecoder::Open(int codePage) {
    // Tables are built once per page and shared; a page that failed stays null.
    static std::mutex mutex;
    static std::map<int, std::shared_ptr<const Table>> tables;
    std::lock_guard<std::mutex> lock(mutex);
    auto found = tables.find(codePage);
    if (found == tables.end()) {
        auto table = std::make_shared<Table>();
        if (!FillTable(codePage, table->utf8, table->length)) {
            table = nullptr;
        }
        found = tables.emplace(codePage, std::move(table)).first;
    }
    if (found->second == nullptr) {
        return false;
    }
    table_ = found->second;
    codePage_ = codePage;
    return true;
}

void SingleByteDecoder::Decode(std::string_view bytes, std::string& out) const {
    if (table_ == nullptr) {
        RepairUtf8(bytes, out);  // never opened: keep the output valid all the same
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + bytes.size() * 3 + 1);  // +1: the last copy writes four bytes
    char* dst = out.data() + start;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const std::uint8_t n = table_->length[b];
        std::memcpy(dst, table_->utf8[b].data(), 4);  // fixed size: the compiler inlines it
        dst += n;
    }
    out.resize(static_cast<std::size_t>(dst - out.data()));
}

// ---- Whole-buffer conversion --------------------------------------------------------

bool ConvertToUtf8(int codePage, std::string_view in, std::string& out) {
    switch (codePage) {
        case kCodePageUtf8:
            RepairUtf8(in, out);
            return true;
        case kCodePageUtf16Le:
            DecodeUtf16(false, in, out);
            return true;
        case kCodePageUtf16Be:
            DecodeUtf16(true, in, out);
            return true;
        default:
            break;
    }
    SingleByteDecoder decoder;
    if (decoder.Open(codePage)) {
        decoder.Decode(in, out);
        return true;
    }
    const std::size_t start = out.size();
    if (!detail::SystemToUtf8(codePage, in, out)) {
        return false;
    }
    // Trust no converter with our invariant: what it gave must be valid UTF-8.
    if (!IsValidUtf8(std::string_view(out).substr(start))) {
        std::string converted = out.substr(start);
        out.resize(start);
        RepairUtf8(converted, out);
    }
    return true;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        // Eight ASCII bytes at a time: the common case in CSV files.
        if (i + 8 <= n) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + i, 8);
            if ((word & 0x8080808080808080u) == 0) {
                i += 8;
                continue;
            }
        }
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const Utf8Step step = StepUtf8Multibyte(text, i);
        if (!step.wellFormed) {
            return false;
        }
        i += step.length;
    }
    return true;
}

}  // namespace platform
