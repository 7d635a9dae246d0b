// SPDX-License-Identifier: MIT
// Every place that walks UTF-8 takes bytes that are not UTF-8 by one rule: a
// well-formed character is one step, and so is the longest start of one
// (shown as one U+FFFD). The rows are the texts on which the walkers once
// disagreed: the cell escaping and its UTF-16 count took each byte of a cut
// sequence for a character, the character sets took a lead byte with
// continuation bytes for one whatever it encoded, and the buffer copy and the
// wildcard "?" took a character with any continuation bytes after it.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/settings.h"
#include "engine/value_classifier.h"
#include "platform/code_pages.h"
#include "platform/find_files.h"
#include "platform/utf8.h"
#include "platform/utf8_stepping.h"
#include "workbook/column_widths.h"
#include "workbook/xlsx/xml_writer.h"

namespace {

constexpr std::string_view kFffd = "\xEF\xBF\xBD";

TEST(Utf8Rule, EveryWalkerTakesIllFormedBytesAlike) {
    struct Row {
        const char* what;
        std::string text;
        std::vector<std::size_t> steps;  // bytes of each character
        std::string repaired;            // each ill-formed part as one U+FFFD
        std::size_t utf16Units;
    };
    const std::string euro = "\xE2\x82\xAC";
    const Row rows[] = {
        {"well-formed",
         "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
         {1, 2, 3, 4},
         "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
         5},
        {"three-byte sequence cut short", "\xE2\x82", {2}, std::string(kFffd), 1},
        {"four-byte sequence cut short before ASCII",
         "\xF0\x9F\x98"
         "A",
         {3, 1},
         std::string(kFffd) + "A",
         2},
        {"overlong NUL", "\xC0\x80", {1, 1}, std::string(kFffd) + std::string(kFffd), 2},
        {"surrogate",
         "\xED\xA0\x80",
         {1, 1, 1},
         std::string(kFffd) + std::string(kFffd) + std::string(kFffd),
         3},
        {"above U+10FFFF",
         "\xF4\x90\x80\x80",
         {1, 1, 1, 1},
         std::string(kFffd) + std::string(kFffd) + std::string(kFffd) + std::string(kFffd),
         4},
        {"stray continuation byte after a character",
         "\xC3\xA9\x80",
         {2, 1},
         "\xC3\xA9" + std::string(kFffd),
         2},
        {"lone lead byte between characters",
         euro + "\xD0" + euro,
         {3, 1, 3},
         euro + std::string(kFffd) + euro,
         3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string_view text = row.text;
        std::vector<std::size_t> steps;
        for (std::size_t i = 0; i < text.size(); i += steps.back()) {
            steps.push_back(platform::StepUtf8(text, i).length);
        }
        EXPECT_EQ(steps, row.steps);

        std::string converted;
        ASSERT_TRUE(platform::ConvertToUtf8(platform::kCodePageUtf8, row.text, converted));
        EXPECT_EQ(converted, row.repaired);

        std::string cell;
        workbook::xlsx::AppendCellText(cell, row.text);
        EXPECT_EQ(cell, row.repaired);
        EXPECT_EQ(workbook::xlsx::Utf16Length(row.text), row.utf16Units);
        EXPECT_EQ(workbook::DisplayCharacters(row.text), static_cast<int>(row.steps.size()));

        const std::string questions(row.steps.size(), '?');
        EXPECT_TRUE(platform::MatchesWildcard(questions, row.text));
        EXPECT_FALSE(platform::MatchesWildcard(questions.substr(1), row.text));

        // A buffer with room for the text keeps as many whole characters as
        // it is allowed.
        std::array<char, 32> buffer{};
        (void)engine::CopyText(buffer, row.text, 1);
        EXPECT_EQ(std::string_view(buffer.data()), text.substr(0, row.steps.front()));

        // A field of the text's first character is one of the set's
        // characters, named by the set itself.
        auto settings = std::make_unique<engine::ConversionSettings>();
        engine::SetDefaultSettings(settings.get());
        ASSERT_TRUE(engine::CopyText(settings->booleanChars, row.text));
        EXPECT_EQ(engine::ClassifyField(settings.get(), nullptr, text.substr(0, row.steps.front())),
                  engine::kLogicalType);
    }
}

}  // namespace
