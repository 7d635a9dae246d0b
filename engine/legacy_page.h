// SPDX-License-Identifier: MIT
// The legacy code page of input that is neither Unicode nor UTF-8.
#pragma once

#include <cstddef>
#include <string_view>

#include "engine/settings.h"
#include "platform/code_pages.h"

namespace engine {

// Input that is neither Unicode by its byte-order mark nor UTF-16 is read
// record by record: a record that is valid UTF-8 as such, any other one in
// one legacy code page, which the lines of the file's first
// kEncodingSampleBytes bytes (up to a zero byte) that are not UTF-8 decide
// once: Windows-1251 or DOS 866 when they hold
// Cyrillic letters, else the system's ANSI or OEM page; of the pair, the
// OEM page when the settings say so or, when they say nothing, when the
// bytes hold more Cyrillic letters as 866 writes them than as 1251 does.
inline constexpr std::size_t kEncodingSampleBytes = 65536;
inline constexpr int kCyrillicAnsiPage = 1251;
inline constexpr int kCyrillicOemPage = 866;

// Which page of a pair the settings ask for.
enum class LegacySide { kByLetters, kAnsi, kOem };

struct LegacyPage {
    int codePage = 0;
    bool oem = false;  // the OEM page of its pair
};

// The balance of Cyrillic letters over the first kEncodingSampleBytes bytes,
// up to the first zero byte, in the lines (up to LF) that are not valid
// UTF-8: +1 for each of the 22 commonest Russian letters as code page 866
// writes them, -1 for each as code page 1251 writes them.
// `cyrillic` (may be null) tells whether the text looks Cyrillic at all:
// some such letter, and at least half as many bytes above 127 as ASCII
// letters, which accented Latin text does not reach.
int CyrillicBalance(std::string_view bytes, bool* cyrillic);

// The legacy page for a file that starts with `firstBytes`, by the rule above.
LegacyPage ChooseLegacyPage(std::string_view firstBytes, LegacySide side,
                            const platform::SystemCodePages& pages);

// SOURCE=OEM (or the wizard's OEM box) asks for the OEM page, SOURCE=ANSI
// for the ANSI page; otherwise the letters decide.
LegacySide LegacySideOf(const ConversionSettings& settings);

}  // namespace engine
