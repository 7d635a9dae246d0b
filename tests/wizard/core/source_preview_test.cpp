// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "wizard/core/wizard_core.h"

namespace {

using namespace std::literals;
using wizard::PreviewMode;

// "Иван Петров,Москва\n" in the two Cyrillic pages.
constexpr std::string_view kDos866 =
    "\x88\xA2\xA0\xAD \x8F\xA5\xE2\xE0\xAE\xA2,\x8C\xAE\xE1\xAA\xA2\xA0\n"sv;
constexpr std::string_view kWindows1251 =
    "\xC8\xE2\xE0\xED \xCF\xE5\xF2\xF0\xEE\xE2,\xCC\xEE\xF1\xEA\xE2\xE0\n"sv;
constexpr std::string_view kCyrillicText = "Иван Петров,Москва\n";

constexpr platform::SystemCodePages kWestern{1252, 437};   // what C.UTF-8 gives
constexpr platform::SystemCodePages kCyrillic{1251, 866};  // what ru_RU gives

TEST(SourcePreview, AutomaticDecidesFromTheBytesWhateverTheLocale) {
    struct Row {
        const char* what;
        std::string_view bytes;
        PreviewMode mode;
        bool legacy;
        int oemSource;
        int legacyPage;
        std::string_view text;
    };
    const Row rows[] = {
        {"866 detected", kDos866, PreviewMode::kDetect, true, 1, 866, kCyrillicText},
        {"1251 detected", kWindows1251, PreviewMode::kDetect, true, 0, 1251, kCyrillicText},
        {"866 bytes shown as ANSI", kDos866, PreviewMode::kAsAnsi, true, 0, 1251, ""},
        {"1251 bytes shown as OEM", kWindows1251, PreviewMode::kAsOem, true, 1, 866, ""},
        {"plain UTF-8", "Café,1\n"sv, PreviewMode::kDetect, false, 0, 0, "Café,1\n"},
        {"UTF-8 mark", "\xEF\xBB\xBFZoë"sv, PreviewMode::kDetect, false, 0, 0, "Zoë"},
        {"UTF-16 LE mark", "\xFF\xFE\x14\x04\x30\x04\x2C\x00\x31\x00"sv, PreviewMode::kDetect,
         false, 0, 0, "Да,1"},
        {"UTF-16 BE mark, odd byte dropped", "\xFE\xFF\x04\x14\x00\x2C\x00"sv, PreviewMode::kDetect,
         false, 0, 0, "Д,"},
        {"stops at a zero byte", "ab\0cd"sv, PreviewMode::kDetect, false, 0, 0, "ab"},
    };
    for (const platform::SystemCodePages& pages : {kWestern, kCyrillic}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.what) + " with ANSI page " + std::to_string(pages.ansi));
            const wizard::Preview preview = wizard::DecodePreview(row.bytes, 0, row.mode, pages);
            EXPECT_EQ(preview.legacy, row.legacy);
            EXPECT_EQ(preview.oemSource, row.oemSource);
            EXPECT_EQ(preview.legacyPage, row.legacyPage);
            if (!row.text.empty()) {
                EXPECT_EQ(preview.text, row.text);
            } else {
                EXPECT_NE(preview.text, kCyrillicText);  // the other page garbles it
            }
        }
    }
}

TEST(SourcePreview, LegacyTextWithoutCyrillicUsesTheSystemPair) {
    const std::string_view latin = "Caf\xE9,Zo\xEB\n"sv;
    const wizard::Preview western = wizard::DecodePreview(latin, 0, PreviewMode::kDetect, kWestern);
    EXPECT_EQ(western.legacyPage, 1252);
    EXPECT_EQ(western.text, "Café,Zoë\n");
    const wizard::Preview oem = wizard::DecodePreview(latin, 0, PreviewMode::kAsOem, kWestern);
    EXPECT_EQ(oem.legacyPage, 437);
    EXPECT_EQ(oem.oemSource, 1);
}

TEST(SourcePreview, FixedChoiceDecodesAsToldButAMarkStillWins) {
    struct Row {
        std::string_view bytes;
        int codePage;
        std::string_view text;
    };
    const Row rows[] = {
        {kWindows1251, 1251, kCyrillicText},
        {kDos866, 866, kCyrillicText},
        {"Caf\xE9"sv, 1252, "Café"},
        {"Caf\xE9!"sv, 65001, "Caf\uFFFD!"},  // broken UTF-8 is repaired, not guessed
        {"\x14\x04\x30\x04"sv, 1200, "Да"},
        {"\xEF\xBB\xBFZoë"sv, 1251, "Zoë"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.codePage);
        const wizard::Preview preview =
            wizard::DecodePreview(row.bytes, row.codePage, PreviewMode::kDetect, kWestern);
        EXPECT_FALSE(preview.legacy);
        EXPECT_EQ(preview.text, row.text);
    }
}

TEST(SourcePreview, DetectionCountsOnlyTheFirst64KiBUpToAZero) {
    struct Row {
        const char* what;
        std::string bytes;
        int expected;
    };
    const std::string oemLetter = "\xA0";   // а in 866
    const std::string ansiLetter = "\xE0";  // а in 1251
    const Row rows[] = {
        {"no letters", "plain,text\n", 0},
        {"tie", oemLetter + ansiLetter, 0},
        {"one more OEM", oemLetter + oemLetter + ansiLetter, 1},
        {"OEM after a zero byte", ansiLetter + std::string(1, '\0') + oemLetter + oemLetter, 0},
        {"OEM past 64 KiB",
         std::string(wizard::kDetectBytes - 2, '1') + ansiLetter + ansiLetter + oemLetter +
             oemLetter + oemLetter,
         0},
        {"OEM up to the last counted byte",
         std::string(wizard::kDetectBytes - 2, '1') + oemLetter + oemLetter + ansiLetter +
             ansiLetter + ansiLetter,
         1},
        // The bytes of OEM letters are a euro sign and typographic quotes in
        // Western ANSI text; standing alone they do not make a file Cyrillic.
        {"a euro sign before every amount",
         "Date;Amount\n" +
             [] {
                 std::string lines;
                 for (int i = 0; i < 20; ++i) {
                     lines +=
                         "01.02.2024;\x80"
                         "1.234,56\n";
                 }
                 return lines;
             }(),
         0},
        {"typographic quotes", "It\x92s \x93quoted\x94 here\n", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(engine::ChooseLegacyPage(row.bytes, engine::LegacySide::kByLetters, kWestern).oem,
                  row.expected == 1);
    }
}

TEST(SourcePreview, EncodingChoicesAddAnUnlistedCodePage) {
    const auto listed = wizard::EncodingChoices(kWestern, 1251);
    ASSERT_EQ(listed.size(), 8u);
    EXPECT_EQ(listed[0].codePage, 0);
    EXPECT_EQ(listed[6].codePage, 1252);
    EXPECT_EQ(listed[7].codePage, 437);
    const auto extra = wizard::EncodingChoices(kWestern, 932);
    ASSERT_EQ(extra.size(), 9u);
    EXPECT_EQ(extra.back().codePage, 932);
}

}  // namespace
