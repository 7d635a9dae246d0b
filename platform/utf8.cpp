// SPDX-License-Identifier: MIT
// UTF-8 decoding and encoding, shared by the code-page layer, the engine and
// the workbook formats: the one rule for stepping over bytes that are not UTF-8.
#include "platform/utf8.h"

#include "platform/utf8_stepping.h"

namespace platform {

Utf8Step StepUtf8Multibyte(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t value = 0;
    // The second byte's range excludes overlong forms (E0, F0), surrogates
    // (ED) and code points above U+10FFFF (F4).
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {1, kReplacementCharacter, false};
    }
    std::size_t k = 1;
    for (; k < length && i + k < text.size(); ++k) {
        const unsigned char c = byte(k);
        if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) {
            break;
        }
        value = (value << 6) | (c & 0x3Fu);
    }
    if (k < length) {
        return {k, kReplacementCharacter, false};
    }
    return {length, value, true};
}

std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t* codePoint) {
    const Utf8Step step = StepUtf8(text, i);
    if (!step.wellFormed) {
        return 0;
    }
    *codePoint = step.codePoint;
    return step.length;
}

void AppendUtf8(char32_t codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

}  // namespace platform
