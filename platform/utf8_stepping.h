// SPDX-License-Identifier: MIT
// Stepping through UTF-8 text a character at a time, with one rule for bytes
// that are not UTF-8, so that a repaired text, a cell's escaping, a column's
// width and a wildcard's "?" all see the same characters.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// One step: a well-formed character (no overlong form, no surrogate, nothing
// above U+10FFFF), or else the longest start of one found there, at least one
// byte, which stands for one U+FFFD as the Unicode standard recommends.
struct Utf8Step {
    std::size_t length = 1;   // bytes taken, at least 1
    char32_t codePoint = 0;   // the character; U+FFFD for an ill-formed part
    bool wellFormed = false;  // false for an ill-formed part
};

// StepUtf8 for a byte of 0x80 or more.
Utf8Step StepUtf8Multibyte(std::string_view text, std::size_t i);

// The step at text[i] (i < text.size()). ASCII is settled inline: the loops
// over cell text that use this see little else.
inline Utf8Step StepUtf8(std::string_view text, std::size_t i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) [[likely]] {
        return {1, byte, true};
    }
    return StepUtf8Multibyte(text, i);
}

}  // namespace platform
