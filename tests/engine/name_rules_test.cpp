// SPDX-License-Identifier: MIT
#include "engine/name_rules.h"

#include <gtest/gtest.h>

#include "engine/settings.h"

namespace {

TEST(NameRules, DelimiterFromText) {
    struct Row {
        const char* text;
        char expected;
    };
    const Row rows[] = {{"TAB", '\t'}, {"tab", '\t'}, {"PIPE", '|'}, {"pIpE", '|'}, {";", ';'},
                        {"Tabs", 'T'}, {"", '?'},     {"é", '?'},    {" ", ' '},    {"TAB ", 'T'}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(engine::DelimiterFromText(row.text, '?'), row.expected);
    }
}

TEST(NameRules, SetFieldsKeepsTheDelimiterWhenTheValueGivesNone) {
    struct Row {
        const char* value;
        char delimiter;
        const char* fieldsText;
    };
    const Row rows[] = {
        {"tab", '\t', "tab"}, {"", ';', ""}, {"é", ';', "é"}, {"PIPE", '|', "PIPE"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        engine::ConversionSettings settings{};
        engine::SetDefaultSettings(&settings);
        settings.delimiter = ';';
        engine::SetFields(&settings, row.value);
        EXPECT_EQ(settings.delimiter, row.delimiter);
        EXPECT_EQ(engine::TextOf(settings.fieldsText), row.fieldsText);
    }
}

TEST(NameRules, AdaptExtension) {
    const std::string longest = "/" + std::string(engine::kPathCharacters - 5, 'a') + ".xls";
    struct Row {
        std::string name;
        int type;
        std::string expected;
    };
    const Row rows[] = {
        {"a.xls", 1, "a.xlsx"},  {"a.XLS", 1, "a.XLSx"},
        {"a.xlsx", 0, "a.xls"},  {"a.XLSX", 0, "a.XLS"},
        {"a.xlsx", 1, "a.xlsx"}, {"a.xls", 0, "a.xls"},
        {"a.ods", 1, "a.ods"},   {"book", 0, "book"},
        {"xls", 1, "xlsx"},      {"ls", 1, "ls"},
        {longest, 1, longest},   {longest.substr(1), 1, longest.substr(1) + "x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(engine::AdaptExtension(row.name, row.type), row.expected);
    }
}

}  // namespace
