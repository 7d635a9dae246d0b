// SPDX-License-Identifier: MIT
// Code pages: legacy bytes to UTF-8, repair of bad UTF-8 and UTF-16, and the
// ANSI/OEM pair chosen from the environment.
#include "platform/code_pages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/utf8.h"
#include "test_support.h"

namespace {

using testing_support::ScopedEnv;

TEST(CodePages, DecodesSingleBytePages) {
    struct Case {
        int codePage;
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {1251, "\xC0\xFF\xA8\xB8\xB9", "АяЁё№"},
        {1251, "a\x98z", "a\uFFFDz"},  // 0x98 is undefined in 1251
        {866, "\x80\xAF\xE0\xEF\xF0\xF1\xFC", "АпряЁё№"},
        {1252, "\x80\xE9\x9F\xA0", "€éŸ\u00A0"},
        {1252, "\x81", "\uFFFD"},
        {437, "\x80\x81\xE1\xDB\xFB", "Çüß█√"},
        {1250, "\x8A\xB9", "Šą"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        platform::SingleByteDecoder decoder;
        ASSERT_TRUE(decoder.Open(c.codePage));
        std::string out = "kept:";
        decoder.Decode(c.bytes, out);
        EXPECT_EQ(out, "kept:" + c.expected);
        std::string whole;
        ASSERT_TRUE(platform::ConvertToUtf8(c.codePage, c.bytes, whole));
        EXPECT_EQ(whole, c.expected);
    }
}

TEST(CodePages, EveryByteGivesValidUtf8AndAsciiStaysAscii) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    for (int codePage : {437, 850, 866, 1250, 1251, 1252, 1253, 1255, 1258, 28591, 20866}) {
        SCOPED_TRACE(codePage);
        platform::SingleByteDecoder decoder;
        ASSERT_TRUE(decoder.Open(codePage));
        std::string out;
        decoder.Decode(all, out);
        EXPECT_TRUE(platform::IsValidUtf8(out));
        EXPECT_EQ(out.substr(0, 128), all.substr(0, 128));
    }
}

TEST(CodePages, RefusesMultiByteAndUnknownPagesForTables) {
    for (int codePage : {932, 936, 949, 950, 65001, 1200, 12345}) {
        SCOPED_TRACE(codePage);
        platform::SingleByteDecoder decoder;
        EXPECT_FALSE(decoder.Open(codePage));
    }
    std::string out = "untouched";
    EXPECT_FALSE(platform::ConvertToUtf8(12345, "a", out));
    EXPECT_EQ(out, "untouched");
}

TEST(CodePages, ConvertsAndRepairs) {
    struct Case {
        const char* name;
        int codePage;
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"UTF-8 kept", 65001, "a\xC3\xA9\xF0\x9F\x98\x80", "aé\U0001F600"},
        {"stray continuation", 65001, "\x80z", "\uFFFDz"},
        {"truncated sequence", 65001, "a\xF0\x9F\x98", "a\uFFFD"},
        {"overlong form", 65001, "\xC0\xAF\xE0\x80\xAF", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"surrogate", 65001, "\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", 65001, "\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"UTF-16 LE pair", 1200, std::string("A\0=\xD8\x00\xDE", 6), "A\U0001F600"},
        {"UTF-16 BE", 1201, std::string("\0A\x04\x10", 4), "AА"},
        {"UTF-16 lone low surrogate, odd byte", 1200,
         std::string("\x00\xDC"
                     "A\0x",
                     5),
         "\uFFFDA\uFFFD"},
        {"Shift-JIS", 932, "\x82\xA0\x88\x9F", "あ亜"},
        {"Shift-JIS bad trail, cut lead", 932, "\x82\x20x\x82", "\uFFFD x\uFFFD"},
        {"GBK", 936, "\xC4\xE3\xBA\xC3", "你好"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out;
        ASSERT_TRUE(platform::ConvertToUtf8(c.codePage, c.bytes, out));
        EXPECT_EQ(out, c.expected);
        if (c.codePage == platform::kCodePageUtf8) {
            EXPECT_EQ(platform::IsValidUtf8(c.bytes), c.bytes == c.expected);
        }
    }
}

// Long Shift-JIS records with bad bytes where decoding in pieces could go
// wrong: first and last, in long runs, at odd and even offsets around powers
// of two, and a character cut off at the end. Each piece's text is known, so
// the record must decode to the pieces' texts in order, whatever pieces the
// decoder tries.
TEST(CodePages, DecodesLongMultiByteRecordsPieceByPiece) {
    struct Piece {
        std::string bytes;
        std::string utf8;
    };
    const Piece kana{"\x82\xA0", "あ"};
    const Piece kanji{"\x88\x9F", "亜"};
    const Piece ascii{"x", "x"};
    const Piece badTrail{"\x82 ", "\uFFFD "};  // a lead byte followed by no trail byte
    const Piece cutLead{"\x82", "\uFFFD"};
    struct Case {
        const char* name;
        std::size_t pieces;
        // The piece at each index: one of the bad ones, or else the pattern.
        bool (*bad)(std::size_t);
        bool endsCut;
    };
    const Case cases[] = {
        {"all good, 100 KB", 50000, [](std::size_t) { return false; }, false},
        {"one bad byte in the middle", 40001, [](std::size_t i) { return i == 20000; }, false},
        {"bad bytes first and last", 3000, [](std::size_t i) { return i == 0 || i == 2999; },
         false},
        {"bad bytes near powers of two", 9000,
         [](std::size_t i) {
             for (std::size_t p = 4; p < 9000; p *= 2) {
                 if (i + 1 == p || i == p || i == p + 1) {
                     return true;
                 }
             }
             return false;
         },
         false},
        {"every seventh piece bad", 30000, [](std::size_t i) { return i % 7 == 3; }, false},
        {"a run of 5,000 bad pieces", 9000, [](std::size_t i) { return i >= 2000 && i < 7000; },
         false},
        {"cut off at the end", 4097, [](std::size_t) { return false; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes;
        std::string expected;
        for (std::size_t i = 0; i < c.pieces; ++i) {
            // Kana, kanji and ASCII in turn put two-byte characters at odd and
            // even offsets alike.
            const Piece& piece = c.bad(i)     ? badTrail
                                 : i % 3 == 0 ? kana
                                 : i % 3 == 1 ? kanji
                                              : ascii;
            bytes += piece.bytes;
            expected += piece.utf8;
        }
        if (c.endsCut) {
            bytes += cutLead.bytes;
            expected += cutLead.utf8;
        }
        std::string out = "kept:";
        ASSERT_TRUE(platform::ConvertToUtf8(932, bytes, out));
        EXPECT_TRUE(out == "kept:" + expected)
            << "decoded " << out.size() - 5 << " bytes, expected " << expected.size();
        // Another page between two records must not leave its converter behind.
        std::string chinese;
        ASSERT_TRUE(platform::ConvertToUtf8(936, "\xC4\xE3\xBA\xC3", chinese));
        EXPECT_EQ(chinese, "你好");
    }
}

TEST(CodePages, SystemPagesFromEnvironment) {
    struct Case {
        const char* lcAll;
        const char* lcCtype;
        const char* lang;
        const char* ansi;
        const char* oem;
        int expectedAnsi;
        int expectedOem;
    };
    const Case cases[] = {
        {nullptr, nullptr, "ru_RU.UTF-8", nullptr, nullptr, 1251, 866},
        {nullptr, "uk_UA", "en_US.UTF-8", nullptr, nullptr, 1251, 866},
        {"bg_BG.CP1251", "en_US", "en_US", nullptr, nullptr, 1251, 866},
        {"", nullptr, "be_BY@latin", nullptr, nullptr, 1251, 866},
        {nullptr, nullptr, "de_DE.UTF-8", nullptr, nullptr, 1252, 437},
        {nullptr, nullptr, "rue_UA", nullptr, nullptr, 1252, 437},
        {nullptr, nullptr, nullptr, nullptr, nullptr, 1252, 437},
        {nullptr, nullptr, "ru_RU", "1250", nullptr, 1250, 866},
        {nullptr, nullptr, "C", "1253", "737", 1253, 737},
        {nullptr, nullptr, "C", "garbage", "-5", 1252, 437},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lang ? c.lang : "-") + " " + (c.ansi ? c.ansi : "-"));
        ScopedEnv lcAll("LC_ALL", c.lcAll);
        ScopedEnv lcCtype("LC_CTYPE", c.lcCtype);
        ScopedEnv lang("LANG", c.lang);
        ScopedEnv ansi("QUENDLE_ANSI_CODEPAGE", c.ansi);
        ScopedEnv oem("QUENDLE_OEM_CODEPAGE", c.oem);
        const platform::SystemCodePages pages = platform::GetSystemCodePages();
        EXPECT_EQ(pages.ansi, c.expectedAnsi);
        EXPECT_EQ(pages.oem, c.expectedOem);
    }
}

}  // namespace
