// SPDX-License-Identifier: MIT
// UTF-8 checking, decoding and encoding, shared by the code-page layer,
// the engine and the workbook formats.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

// The Unicode replacement character, which stands in for undecodable bytes.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the UTF-8 character at text[i] (i < text.size()): its length in
// bytes, with *codePoint set; 0 when the bytes there start no well-formed
// character (overlong, surrogate, beyond U+10FFFF, cut short).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t* codePoint);

// Appends the UTF-8 form of a code point (at most U+10FFFF).
void AppendUtf8(char32_t codePoint, std::string& out);

}  // namespace platform
