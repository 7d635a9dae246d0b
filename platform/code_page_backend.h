// SPDX-License-Identifier: MIT
// What each system supplies for code pages: the ANSI/OEM pair, the text of
// each byte of a single-byte page, and its own converter for multi-byte pages.
// The portable side (code_pages.cpp) builds the tables and decoders on these,
// so undefined bytes and bad input come out the same on every system.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace platform::detail {

// What one byte of a single-byte page stands for.
struct ByteText {
    bool defined = false;  // false: the page leaves the byte undefined
    std::string utf8;      // its UTF-8 text when defined
};

// The text of every byte of `codePage`. False for an unknown page and for a
// multi-byte page (some byte only starts a character).
[[nodiscard]] bool DecodeEachByte(int codePage, std::array<ByteText, 256>& bytes);

// Appends the UTF-8 form of text in a multi-byte page, each byte the system
// rejects replaced by U+FFFD. False (and `out` untouched) for unknown pages.
[[nodiscard]] bool SystemToUtf8(int codePage, std::string_view in, std::string& out);

// The ANSI/OEM pair the system or its locale names, before the environment's
// overrides.
SystemCodePages DefaultSystemPages();

}  // namespace platform::detail
