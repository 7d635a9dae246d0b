// SPDX-License-Identifier: MIT
// The one sheet-name rule of both formats and the engine. Spreadsheets treat
// names that differ only in letter case as one name, in every script, so the
// comparison folds case beyond ASCII; lengths count UTF-16 units, as both
// file formats store them.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/utf8.h"
#include "workbook/limits.h"
#include "workbook/workbook.h"

namespace workbook {
namespace {

// The next code point of valid UTF-8 `text` at `pos`, advancing `pos`; a byte
// that starts no valid sequence is taken as itself.
char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC0 ? 2
                                        : 1;
    if (pos + length > text.size()) {
        length = 1;
    }
    char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return lead;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    pos += length;
    return cp;
}

// In ranges where upper- and lower-case letters alternate, the upper one
// has the parity given.
bool InPairs(char32_t cp, char32_t first, char32_t last, char32_t upperParity) {
    return cp >= first && cp <= last && (cp & 1) == upperParity;
}

}  // namespace

char32_t FoldSheetNameCase(char32_t cp) {
    if ((cp >= U'A' && cp <= U'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) ||
        (cp >= 0x391 && cp <= 0x3AB && cp != 0x3A2) || (cp >= 0x410 && cp <= 0x42F) ||
        (cp >= 0xFF21 && cp <= 0xFF3A)) {
        return cp + 0x20;  // ASCII, Latin-1, Greek, Cyrillic, full-width Latin
    }
    if (cp >= 0x400 && cp <= 0x40F) {
        return cp + 0x50;  // Cyrillic Ѐ to Џ
    }
    if (cp >= 0x531 && cp <= 0x556) {
        return cp + 0x30;  // Armenian
    }
    if (cp >= 0x2160 && cp <= 0x216F) {
        return cp + 0x10;  // Roman numerals
    }
    if (cp >= 0x24B6 && cp <= 0x24CF) {
        return cp + 0x1A;  // circled letters
    }
    switch (cp) {
        case 0x178:
            return 0xFF;  // Ÿ
        case 0x386:
            return 0x3AC;
        case 0x38C:
            return 0x3CC;
        case 0x38E:
        case 0x38F:
            return cp + 0x3F;
        case 0x3C2:
            return 0x3C3;  // final sigma folds to sigma
        case 0x4C0:
            return 0x4CF;
        case 0x1E9E:
            return 0xDF;  // capital sharp s
        default:
            break;
    }
    if (cp >= 0x388 && cp <= 0x38A) {
        return cp + 0x25;
    }
    // Latin Extended-A, Cyrillic supplements and Latin Extended Additional
    // alternate upper and lower case.
    if (InPairs(cp, 0x100, 0x137, 0) || InPairs(cp, 0x14A, 0x177, 0) ||
        InPairs(cp, 0x139, 0x148, 1) || InPairs(cp, 0x179, 0x17E, 1) ||
        InPairs(cp, 0x460, 0x481, 0) || InPairs(cp, 0x48A, 0x4BF, 0) ||
        InPairs(cp, 0x4C1, 0x4CE, 1) || InPairs(cp, 0x4D0, 0x52F, 0) ||
        InPairs(cp, 0x1E00, 0x1E95, 0) || InPairs(cp, 0x1EA0, 0x1EFF, 0)) {
        return cp + 1;
    }
    return cp;
}

bool SameSheetName(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldSheetNameCase(NextCodePoint(a, i)) != FoldSheetNameCase(NextCodePoint(b, j))) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

std::size_t SheetNameUnits(std::string_view name) {
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < name.size();) {
        units += NextCodePoint(name, pos) > 0xFFFF ? 2 : 1;
    }
    return units;
}

std::string SheetNameProblem(std::string_view name) {
    const std::string shown = "The sheet name \"" + std::string(name) + "\" ";
    if (name.empty()) {
        return "A sheet name cannot be empty.";
    }
    if (!platform::IsValidUtf8(name)) {
        return "A sheet name must be valid UTF-8.";
    }
    if (SheetNameUnits(name) > static_cast<std::size_t>(kMaxSheetNameCharacters)) {
        return shown + "is longer than " + std::to_string(kMaxSheetNameCharacters) + " characters.";
    }
    for (const char c : name) {
        if (c == ':' || c == '\\' || c == '/' || c == '?' || c == '*' || c == '[' || c == ']' ||
            static_cast<unsigned char>(c) < 0x20) {
            return shown +
                   "holds a character that sheet names cannot hold (: \\ / ? * [ ] or a "
                   "control character).";
        }
    }
    if (name.front() == '\'' || name.back() == '\'') {
        return shown + "cannot begin or end with an apostrophe.";
    }
    if (SameSheetName(name, "History")) {
        return shown + "is reserved by Excel.";
    }
    return {};
}

std::string MakeValidSheetName(std::string_view name) {
    std::string valid;
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < name.size();) {
        const std::size_t start = pos;
        const char32_t cp = NextCodePoint(name, pos);
        const std::size_t width = cp > 0xFFFF ? 2 : 1;
        if (units + width > static_cast<std::size_t>(kMaxSheetNameCharacters)) {
            break;  // a character of two units that does not fit is left out whole
        }
        units += width;
        const bool forbidden =
            cp < 0x20 || (cp < 0x80 && std::string_view(":\\/?*[]").find(static_cast<char>(cp)) !=
                                           std::string_view::npos);
        if (forbidden || (pos - start == 1 && static_cast<unsigned char>(name[start]) >= 0x80)) {
            valid += '_';  // also a byte that is no UTF-8
        } else {
            valid.append(name.substr(start, pos - start));
        }
    }
    if (!valid.empty() && valid.front() == '\'') {
        valid.front() = '_';
    }
    if (!valid.empty() && valid.back() == '\'') {
        valid.back() = '_';
    }
    if (valid.empty()) {
        return "Sheet1";
    }
    if (SameSheetName(valid, "History")) {
        valid += '_';
    }
    return valid;
}

}  // namespace workbook
