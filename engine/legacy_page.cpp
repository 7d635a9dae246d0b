// SPDX-License-Identifier: MIT
// The legacy code page of input that is not UTF-8, decided once per file
// from its first bytes, by the same rule for the wizard's preview and for
// every conversion. The vote counts the 22 commonest Russian letters (А О И
// У Е П Т М Л К Д, both cases) at the bytes code pages 1251 and 866 give
// them. The tables are written out rather than taken from the system's
// pages, so a DOS export is told from a Windows one on any system, whatever
// its locale.
#include "engine/legacy_page.h"

#include <algorithm>
#include <array>

#include "engine/settings.h"
#include "platform/code_pages.h"
#include "platform/utf8.h"

namespace engine {
namespace {

constexpr std::array<unsigned char, 22> kAnsiLetters = {
    0xC0, 0xCE, 0xC8, 0xD3, 0xC5, 0xCF, 0xD2, 0xCC, 0xCB, 0xCA, 0xC4,
    0xE0, 0xEE, 0xE8, 0xF3, 0xE5, 0xEF, 0xF2, 0xEC, 0xEB, 0xEA, 0xE4};
constexpr std::array<unsigned char, 22> kOemLetters = {
    0x80, 0x8E, 0x88, 0x93, 0x85, 0x8F, 0x92, 0x8C, 0x8B, 0x8A, 0x84,
    0xA0, 0xAE, 0xA8, 0xE3, 0xA5, 0xAF, 0xE2, 0xAC, 0xAB, 0xAA, 0xA4};

// +1 for an OEM letter, -1 for an ANSI letter, 0 otherwise; no byte is both.
constexpr std::array<signed char, 256> VoteTable() {
    std::array<signed char, 256> votes{};
    for (unsigned char byte : kOemLetters) {
        votes[byte] = 1;
    }
    for (unsigned char byte : kAnsiLetters) {
        votes[byte] = -1;
    }
    return votes;
}
constexpr std::array<signed char, 256> kVotes = VoteTable();

}  // namespace

int CyrillicBalance(std::string_view bytes, bool* cyrillic) {
    bytes = bytes.substr(0, std::min(bytes.size(), kEncodingSampleBytes));
    bytes = bytes.substr(0, std::min(bytes.size(), bytes.find('\0')));
    int balance = 0;
    bool voted = false;
    std::size_t high = 0;
    std::size_t paired = 0;  // high bytes next to another high byte, as in words
    std::size_t asciiLetters = 0;
    while (!bytes.empty()) {
        const std::size_t end = std::min(bytes.find('\n'), bytes.size() - 1) + 1;
        const std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end);
        // UTF-8 lines are read as such: their bytes would only blur the vote.
        if (platform::IsValidUtf8(line)) {
            continue;
        }
        bool previousHigh = false;
        for (char c : line) {
            const auto byte = static_cast<unsigned char>(c);
            const int vote = kVotes[byte];
            balance += vote;
            voted = voted || vote != 0;
            const bool isHigh = byte >= 0x80;
            high += isHigh ? 1 : 0;
            paired += isHigh && previousHigh ? 2 : 0;
            previousHigh = isHigh;
            asciiLetters += (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z' ? 1 : 0;
        }
    }
    if (cyrillic != nullptr) {
        // Accented Latin letters share bytes with Cyrillic ones, but sit
        // alone among plain letters; Cyrillic words are high bytes throughout.
        // Currency signs and typographic quotes (a euro sign before each
        // amount) stand alone among digits and punctuation, so most high
        // bytes must have a high neighbour too.
        *cyrillic = voted && 2 * high >= asciiLetters && 2 * paired >= high;
    }
    return balance;
}

LegacyPage ChooseLegacyPage(std::string_view firstBytes, LegacySide side,
                            const platform::SystemCodePages& pages) {
    bool cyrillic = false;
    const int balance = CyrillicBalance(firstBytes, &cyrillic);
    LegacyPage page;
    if (cyrillic) {
        page.oem = side == LegacySide::kOem || (side == LegacySide::kByLetters && balance > 0);
        page.codePage = page.oem ? kCyrillicOemPage : kCyrillicAnsiPage;
    } else {
        // The letter vote knows Cyrillic only: in other text the same bytes
        // are a euro sign or a typographic quote in the ANSI page, so only
        // the user's choice makes such a file OEM.
        page.oem = side == LegacySide::kOem;
        page.codePage = page.oem ? pages.oem : pages.ansi;
    }
    return page;
}

LegacySide LegacySideOf(const ConversionSettings& settings) {
    if (settings.oemSource != 0) {
        return LegacySide::kOem;
    }
    return settings.sourceCodePage == 1 ? LegacySide::kAnsi : LegacySide::kByLetters;
}

}  // namespace engine
