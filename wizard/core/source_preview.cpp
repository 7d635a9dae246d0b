// SPDX-License-Identifier: MIT
// Preview decoding and the OEM/ANSI vote. The vote counts the 22 commonest
// Russian letters (А О И У Е П Т М Л К Д, both cases) at the bytes code pages
// 1251 and 866 give them. The tables are written out rather than taken from
// the system's pages, so a DOS export is told from a Windows one on any
// system, whatever its locale.
#include <algorithm>
#include <array>

#include "wizard/core/wizard_core.h"

namespace wizard {
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

std::string_view UpToZero(std::string_view bytes) {
    const std::size_t zero = bytes.find('\0');
    return zero == std::string_view::npos ? bytes : bytes.substr(0, zero);
}

// Drops an incomplete UTF-8 sequence that the read limit cut off.
std::string_view WithoutCutCharacter(std::string_view bytes) {
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) != 0x80) {
            const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            return length > back ? bytes.substr(0, bytes.size() - back) : bytes;
        }
    }
    return bytes;
}

std::string Decode(int codePage, std::string_view bytes) {
    std::string utf8;
    if (!platform::ConvertToUtf8(codePage, bytes, utf8)) {
        // An unknown page: show what is plain ASCII rather than nothing.
        static_cast<void>(platform::ConvertToUtf8(1252, bytes, utf8));
    }
    return utf8;
}

std::string DecodeUtf16(std::string_view units, bool littleEndian) {
    units = units.substr(0, units.size() & ~std::size_t{1});
    std::string text =
        Decode(littleEndian ? platform::kCodePageUtf16Le : platform::kCodePageUtf16Be, units);
    return std::string(UpToZero(text));
}

}  // namespace

int CyrillicBalance(std::string_view bytes, bool* cyrillic) {
    bytes = UpToZero(bytes.substr(0, std::min(bytes.size(), kDetectBytes)));
    int balance = 0;
    bool voted = false;
    std::size_t high = 0;
    std::size_t asciiLetters = 0;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const int vote = kVotes[byte];
        balance += vote;
        voted = voted || vote != 0;
        high += byte >= 0x80 ? 1 : 0;
        asciiLetters += (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z' ? 1 : 0;
    }
    if (cyrillic != nullptr) {
        // Accented Latin letters share bytes with Cyrillic ones, but sit
        // alone among plain letters; Cyrillic words are high bytes throughout.
        *cyrillic = voted && 2 * high >= asciiLetters;
    }
    return balance;
}

int DetectOemText(std::string_view bytes) {
    return CyrillicBalance(bytes, nullptr) > 0 ? 1 : 0;
}

std::vector<EncodingChoice> EncodingChoices(const platform::SystemCodePages& pages,
                                            int givenCodePage) {
    std::vector<EncodingChoice> choices = {
        {"Automatic", 0},
        {"UTF-8", platform::kCodePageUtf8},
        {"UTF-16", platform::kCodePageUtf16Le},
        {"Windows-1251", kCyrillicAnsiPage},
        {"DOS 866", kCyrillicOemPage},
        {"Windows-1252", 1252},
        {"System ANSI (" + std::to_string(pages.ansi) + ")", pages.ansi},
        {"System OEM (" + std::to_string(pages.oem) + ")", pages.oem},
    };
    const bool listed = std::any_of(choices.begin(), choices.end(), [&](const EncodingChoice& c) {
        return c.codePage == givenCodePage;
    });
    if (!listed) {
        choices.push_back({"Code page " + std::to_string(givenCodePage), givenCodePage});
    }
    return choices;
}

Preview DecodePreview(std::string_view bytes, int codePage, PreviewMode mode,
                      const platform::SystemCodePages& pages) {
    Preview preview;
    // A byte-order mark outranks any choice, as it does in the conversion.
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        preview.text = DecodeUtf16(bytes.substr(2), bytes[0] == '\xFF');
        return preview;
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        preview.text =
            Decode(platform::kCodePageUtf8, UpToZero(WithoutCutCharacter(bytes.substr(3))));
        return preview;
    }
    if (codePage == platform::kCodePageUtf16Le || codePage == platform::kCodePageUtf16Be) {
        preview.text = DecodeUtf16(bytes, codePage == platform::kCodePageUtf16Le);
        return preview;
    }
    bytes = UpToZero(bytes);
    if (codePage == platform::kCodePageUtf8) {
        preview.text = Decode(codePage, WithoutCutCharacter(bytes));
        return preview;
    }
    if (codePage != 0) {
        preview.text = Decode(codePage, bytes);
        return preview;
    }
    if (platform::IsValidUtf8(WithoutCutCharacter(bytes))) {
        preview.text = std::string(WithoutCutCharacter(bytes));
        return preview;
    }
    bool cyrillic = false;
    const int balance = CyrillicBalance(bytes, &cyrillic);
    const int ansiPage = cyrillic ? kCyrillicAnsiPage : pages.ansi;
    const int oemPage = cyrillic ? kCyrillicOemPage : pages.oem;
    preview.legacy = true;
    preview.oemSource = mode == PreviewMode::kDetect  ? (balance > 0 ? 1 : 0)
                        : mode == PreviewMode::kAsOem ? 1
                                                      : 0;
    preview.legacyPage = preview.oemSource != 0 ? oemPage : ansiPage;
    preview.text = Decode(preview.legacyPage, bytes);
    return preview;
}

}  // namespace wizard
