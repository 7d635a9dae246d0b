// SPDX-License-Identifier: MIT
// FIELDS=AUTO's choice of delimiter: the public corpus files with the
// delimiters they are known to use, the same records written with the other
// candidates, inputs that give no clear answer, and the start of an input as
// the reader gives it to the choice.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/csv_input.h"
#include "engine/name_rules.h"
#include "engine/settings.h"
#include "test_support.h"

namespace {

using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

std::string Corpus(const std::string& name) {
    return std::string(QUENDLE_CORPUS_DIR) + "/" + name;
}

// The records of a comma-separated file as the reader splits them.
std::vector<std::vector<std::string>> Records(const std::string& path) {
    engine::ConversionSettings settings{};
    engine::SetDefaultSettings(&settings);
    engine::CsvInput input;
    EXPECT_TRUE(input.Open(path, settings)) << path;
    std::vector<std::vector<std::string>> records;
    engine::CsvRecord record;
    while (input.ReadRecord(record)) {
        records.emplace_back(record.fields.begin(), record.fields.end());
    }
    return records;
}

// The records written again with `delimiter`, quoting the fields that need it.
std::string Written(const std::vector<std::vector<std::string>>& records, char delimiter) {
    std::string text;
    for (const auto& fields : records) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::string& field = fields[i];
            text += i == 0 ? "" : std::string(1, delimiter);
            if (field.find_first_of(std::string("\"\r\n") + delimiter) == std::string::npos) {
                text += field;
                continue;
            }
            text += '"';
            for (char c : field) {
                text += c == '"' ? std::string("\"\"") : std::string(1, c);
            }
            text += '"';
        }
        text += "\n";
    }
    return text;
}

// Lines `first` to `last` (from 1) of a text, each with its line end.
std::string Lines(const std::string& text, std::size_t first, std::size_t last) {
    std::size_t begin = 0;
    for (std::size_t line = 1; line < first; ++line) {
        begin = text.find('\n', begin) + 1;
    }
    std::size_t end = begin;
    for (std::size_t line = first; line <= last; ++line) {
        end = text.find('\n', end) + 1;
    }
    return text.substr(begin, end - begin);
}

// Every corpus CSV uses commas. The choice finds them whatever the default
// is, and finds each other candidate in the same records written with it.
TEST(DelimiterChoice, CorpusFilesAndTheirKnownDelimiters) {
    const char* const files[] = {
        "csv-spectrum/comma_in_quotes.csv",
        "csv-spectrum/empty.csv",
        "csv-spectrum/empty_crlf.csv",
        "csv-spectrum/escaped_quotes.csv",
        "csv-spectrum/json.csv",
        "csv-spectrum/location_coordinates.csv",
        "csv-spectrum/newlines.csv",
        "csv-spectrum/newlines_crlf.csv",
        "csv-spectrum/quotes_and_newlines.csv",
        "csv-spectrum/simple.csv",
        "csv-spectrum/simple_crlf.csv",
        "csv-spectrum/utf8.csv",
        "real-world/gdp.csv",
    };
    for (const char* file : files) {
        SCOPED_TRACE(file);
        const std::string path = Corpus(file);
        const std::string text = ReadWholeFile(path);
        ASSERT_FALSE(text.empty());
        const bool cut = text.size() > engine::kDelimiterSampleBytes;
        const std::string_view sample =
            std::string_view(text).substr(0, engine::kDelimiterSampleBytes);
        for (char preferred : {',', ';', '\t', '|'}) {
            EXPECT_EQ(engine::FindDelimiter(sample, preferred, cut), std::optional<char>(','))
                << "preferring " << engine::DelimiterName(preferred);
        }
        const auto records = Records(path);
        for (char delimiter : {';', '\t', '|'}) {
            const std::string again = Written(records, delimiter);
            const std::string_view head =
                std::string_view(again).substr(0, engine::kDelimiterSampleBytes);
            const bool longer = again.size() > engine::kDelimiterSampleBytes;
            EXPECT_EQ(engine::FindDelimiter(head, ',', longer), std::optional<char>(delimiter))
                << "written with " << engine::DelimiterName(delimiter);
        }
    }
}

// The quoted country names of the real-world file ("Bahamas, The") hold a
// comma that is no delimiter; a count that ignored quotes would find the
// lines uneven.
TEST(DelimiterChoice, QuotedDelimitersInARealFileDoNotCount) {
    const std::string text = ReadWholeFile(Corpus("real-world/gdp.csv"));
    const std::string window = Lines(text, 720, 760);
    ASSERT_NE(window.find("\"Bahamas, The\""), std::string::npos);
    ASSERT_EQ(window.find("\"Bahamas, The\""), window.find('"')) << "unquoted lines first";
    EXPECT_EQ(engine::FindDelimiter(window, ';', false), std::optional<char>(','));
}

TEST(DelimiterChoice, InputsThatGiveAClearAnswerOrNone) {
    const std::string fiftyLines = [] {
        std::string text;
        for (int i = 0; i < 50; ++i) {
            text += "a;b;c\n";
        }
        return text;
    }();
    struct Row {
        const char* what;
        std::string text;
        char preferred;
        bool cut;
        std::optional<char> expected;
    };
    const Row rows[] = {
        {"semicolons", "a;b;c\n1;2,5;3\n", ',', false, ';'},
        {"tabs", "a\tb\n1\t2\n", ',', false, '\t'},
        {"pipes with a quoted pipe", "a|b\n\"x|y\"|2\n", ',', false, '|'},
        {"a quoted field over two lines", "a|b\n\"one\ntwo|three\"|2\n3|4\n", ',', false, '|'},
        {"escaped quotes", "a;b\n\"say \"\"x;y\"\"\";2\n", ',', false, ';'},
        {"a quote inside an unquoted field", "5\" screen;x\n7;y\n", ',', false, ';'},
        {"CR LF and blank lines", "a;b\r\n\r\n1;2\r\n\n3;4", ',', false, ';'},
        {"lone CR line ends", "a;b\r1;2\r", ',', false, ';'},
        {"the preferred one wins when plain", "a,b;c\n1,2;3\n", ',', false, ','},
        {"the preferred one wins, other way", "a,b;c\n1,2;3\n", ';', false, ';'},
        {"the most per line wins", "a;b;c|d\n1;2;3|4\n", ',', false, ';'},
        {"a tie is no answer", "a;b|c\n1;2|3\n", ',', false, std::nullopt},
        {"uneven counts", "a;b\n1;2;3\n", ',', false, std::nullopt},
        {"commas and semicolons, both uneven", "x;1,5\ny;2,5,6;z;w\n", ';', false, std::nullopt},
        {"one column", "a\nb\nc\n", ',', false, std::nullopt},
        {"nothing", "", ',', false, std::nullopt},
        {"blank lines only", "\n\r\n\n", ',', false, std::nullopt},
        {"a cut last line is left out", "a;b\n1;2\n3;4;5", ',', true, ';'},
        {"an uncut last line counts", "a;b\n1;2\n3;4;5", ',', false, std::nullopt},
        {"a cut single line counts", "a;b;c", ',', true, ';'},
        {"a quote still open at the cut", "a;b\n1;\"open;x\n", ',', true, ';'},
        {"only the first 50 lines count", fiftyLines + "1;2\n1;2;3;4\n", ',', false, ';'},
        {"a delimiter outside the candidates", "aXb\n1X2\n", 'X', false, 'X'},
        {"the candidates only", "aXb\n1X2\n", ',', false, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(engine::FindDelimiter(row.text, row.preferred, row.cut), row.expected);
        if (!row.cut) {
            // The wizard's proposal keeps its current delimiter where there is no answer.
            EXPECT_EQ(engine::ProposeDelimiter(row.text, row.preferred),
                      row.expected.value_or(row.preferred));
        }
    }
}

TEST(DelimiterChoice, Names) {
    EXPECT_EQ(engine::DelimiterName('\t'), "TAB");
    EXPECT_EQ(engine::DelimiterName(';'), "\";\"");
    EXPECT_EQ(engine::DelimiterName('|'), "\"|\"");
}

// The start the reader gives the choice: past a byte-order mark, UTF-16
// decoded, at most kDelimiterSampleBytes, and said to be cut when more of
// the input follows; reading the records afterwards loses nothing.
TEST(DelimiterChoice, TheReaderGivesItsStartWithoutConsumingIt) {
    TempDir dir;
    const std::string bigLine = "x;y\n";
    std::string big;
    while (big.size() <= engine::kDelimiterSampleBytes + 10) {
        big += bigLine;
    }
    std::string utf16;
    for (char c : std::string("a;b\n1;2\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    struct Row {
        const char* what;
        std::string bytes;
        std::string start;  // what Start gives; empty: check only its size
        bool cut;
        std::size_t records;
    };
    const Row rows[] = {
        {"plain", "a;b\n1;2\n", "a;b\n1;2\n", false, 2},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "a;b\n1;2",
         "a;b\n1;2", false, 2},
        {"UTF-16 with its mark", "\xFF\xFE" + utf16, "a;b\n1;2\n", false, 2},
        {"longer than the sample", big, "", true, big.size() / bigLine.size()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string path = dir.File("in.csv");
        ASSERT_TRUE(WriteWholeFile(path, row.bytes));
        engine::ConversionSettings settings{};
        engine::SetDefaultSettings(&settings);
        engine::CsvInput input;
        ASSERT_TRUE(input.Open(path, settings, 4096));
        bool cut = !row.cut;
        const std::string start(input.Start(&cut));
        EXPECT_EQ(cut, row.cut);
        if (!row.start.empty()) {
            EXPECT_EQ(start, row.start);
        } else {
            EXPECT_EQ(start.size(), engine::kDelimiterSampleBytes);
        }
        input.SetDelimiter(';');
        engine::CsvRecord record;
        std::size_t records = 0;
        while (input.ReadRecord(record)) {
            ++records;
            EXPECT_EQ(record.fields.size(), 2u);
        }
        EXPECT_EQ(records, row.records);
    }
}

}  // namespace
