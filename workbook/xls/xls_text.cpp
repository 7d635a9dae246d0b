// SPDX-License-Identifier: MIT
// UTF-8 and UTF-16 conversions for cell texts and sheet names.
#include "workbook/xls/xls_text.h"

#include <cstdint>
#include <cstring>

#include "platform/utf8.h"
#include "workbook/workbook.h"

namespace workbook::xls {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t length = platform::DecodeUtf8(text, i, &cp);
        const bool valid = length > 0;
        if (valid) {
            AppendUtf16(out, cp);
            i += length;
        } else {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
        }
    }
    return out;
}

bool IsAscii(std::string_view text) {
    std::size_t at = 0;
    std::uint64_t high = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, 8);
        high |= word;
    }
    for (; at < text.size(); ++at) {
        high |= static_cast<std::uint8_t>(text[at]);
    }
    return (high & 0x8080808080808080ull) == 0;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        platform::AppendUtf8(cp, out);
    }
    return out;
}

char16_t FoldCase(char16_t unit) {
    // Surrogates fold to themselves; every other unit by the sheet-name rule.
    return static_cast<char16_t>(FoldSheetNameCase(unit));
}

}  // namespace workbook::xls
