// SPDX-License-Identifier: MIT
// Code pages: the system's ANSI/OEM pair and conversion of text in a code
// page to UTF-8.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Code-page numbers as Windows names them.
inline constexpr int kCodePageUtf8 = 65001;
inline constexpr int kCodePageUtf16Le = 1200;
inline constexpr int kCodePageUtf16Be = 1201;

struct SystemCodePages {
    int ansi = 1252;
    int oem = 437;
};

// The ANSI/OEM pair of this system. QUENDLE_ANSI_CODEPAGE and
// QUENDLE_OEM_CODEPAGE set them; otherwise the locale decides (Russian,
// Ukrainian, Belarusian and Bulgarian locales give 1251/866; others 1252/437).
SystemCodePages GetSystemCodePages();

// Converts text in a single-byte code page to UTF-8 through a table built
// once per code page. Cheap to copy.
class SingleByteDecoder {
public:
    // Fails (false) for unknown or multi-byte code pages.
    [[nodiscard]] bool Open(int codePage);
    int codePage() const { return codePage_; }
    // Appends the UTF-8 form of `bytes` to `out`. Bytes the code page leaves
    // undefined become U+FFFD, so the result is always valid UTF-8.
    void Decode(std::string_view bytes, std::string& out) const;

private:
    struct Table;
    std::shared_ptr<const Table> table_;
    int codePage_ = 0;
};

// Appends the UTF-8 form of a whole buffer in the code page named: UTF-8
// (65001, repaired), UTF-16 LE/BE (1200/1201, no byte-order mark expected),
// single-byte pages through their table, multi-byte pages through the
// system's converter. Invalid input becomes U+FFFD, so the result is always
// valid UTF-8. False (and `out` untouched) for unknown pages.
[[nodiscard]] bool ConvertToUtf8(int codePage, std::string_view in, std::string& out);

}  // namespace platform
