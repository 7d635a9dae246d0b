// SPDX-License-Identifier: MIT
// CSV input: splitting rules, line ends, encodings and progress positions,
// with Python's csv module as the oracle for many tricky and random files.
#include "engine/csv_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/legacy_page.h"
#include "test_support.h"

namespace {

using testing_support::Repeat;
using testing_support::ScopedEnv;

using Rows = std::vector<std::vector<std::string>>;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

// Sets an environment variable for one test and restores it afterwards.
struct Options {
    char delimiter = ',';
    int oemSource = 0;
    int inputCodePage = 0;
};

struct ReadResult {
    bool opened = false;
    Rows rows;
    std::vector<std::string> texts;
    std::vector<bool> overlong;  // per row: given up for a field longer than a cell
    int codePage = 0;
};

ReadResult ReadFile(const std::string& path, const Options& options,
                    std::size_t blockSize = engine::kCsvBlockSize) {
    engine::ConversionSettings settings{};
    settings.delimiter = options.delimiter;
    settings.oemSource = options.oemSource;
    settings.inputCodePage = options.inputCodePage;
    engine::CsvInput input;
    ReadResult result;
    result.opened = input.Open(path, settings, blockSize);
    engine::CsvRecord record;
    while (result.opened && input.ReadRecord(record)) {
        result.rows.emplace_back(record.fields.begin(), record.fields.end());
        result.texts.emplace_back(record.text);
        result.overlong.push_back(record.overlongField >= 0);
    }
    result.codePage = input.codePage();
    return result;
}

Rows ReadBytes(const std::string& bytes, const Options& options, int* codePage = nullptr,
               std::size_t blockSize = engine::kCsvBlockSize) {
    TempDir dir;
    const std::string path = dir.File("input.csv");
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    ReadResult result = ReadFile(path, options, blockSize);
    EXPECT_TRUE(result.opened);
    if (codePage != nullptr) {
        *codePage = result.codePage;
    }
    return result.rows;
}

TEST(CsvInput, SplitsRecordsAndFields) {
    struct Case {
        const char* name;
        std::string input;
        char delimiter;
        Rows expected;
    };
    const Case cases[] = {
        {"empty file", "", ',', {}},
        {"empty line is one empty field", "\n", ',', {{""}}},
        {"lone comma", ",", ',', {{"", ""}}},
        {"trailing comma", "a,b,\n", ',', {{"a", "b", ""}}},
        {"quoted delimiter", "\"a,b\",c", ',', {{"a,b", "c"}}},
        {"quoted quotes kept", "\"\"\"hello\"\"\"", ',', {{"\"hello\""}}},
        {"four quotes are one quote", "\"\"\"\"", ',', {{"\""}}},
        {"two quotes are empty", "\"\",x", ',', {{"", "x"}}},
        {"quote inside unquoted field is text", "ab\"cd\"ef", ',', {{"ab\"cd\"ef"}}},
        {"inch mark does not swallow the line", "5'10\",x\ny", ',', {{"5'10\"", "x"}, {"y"}}},
        {"text after closing quote kept", "\"ab\"cd\"e,f", ',', {{"abcd\"e", "f"}}},
        {"spaces kept, quote after space is text", " \"a\" ,b", ',', {{" \"a\" ", "b"}}},
        {"quoted LF joins lines", "\"a\nb\",c\nd", ',', {{"a\nb", "c"}, {"d"}}},
        {"quoted CR LF becomes LF", "\"a\r\nb\"\r\nc\r\n", ',', {{"a\nb"}, {"c"}}},
        {"CR before closing quote stays", "\"a\r\"\r\n", ',', {{"a\r"}}},
        {"open quote runs to end of file", "a,\"b,c\nd", ',', {{"a", "b,c\nd"}}},
        {"open quote after doubled quote", "\"a\"\"\n", ',', {{"a\"\n"}}},
        {"CR CR LF is two line ends", "a\r\r\nb", ',', {{"a"}, {""}, {"b"}}},
        {"lone CR ends a record", "a\rb,c\n", ',', {{"a"}, {"b", "c"}}},
        {"classic Mac line ends", "a,b\rc,\"d\"\r\re", ',', {{"a", "b"}, {"c", "d"}, {""}, {"e"}}},
        {"lone CR inside quotes is text", "\"a\rb\"\rc", ',', {{"a\rb"}, {"c"}}},
        {"inner empty lines", "a\n\nb\n\n", ',', {{"a"}, {""}, {"b"}, {""}}},
        {"no record after final newline", "a\r\n", ',', {{"a"}}},
        {"tab delimiter", "a,b\t\"c\td\"\n", '\t', {{"a,b", "c\td"}}},
        {"semicolon delimiter", "1,5;\"x;y\";", ';', {{"1,5", "x;y", ""}}},
    };
    std::string scratch;
    std::vector<std::string_view> fields;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadBytes(c.input, {.delimiter = c.delimiter}), c.expected);
        if (c.expected.size() == 1 && c.input.find('\n') == std::string::npos) {
            engine::SplitRecord(c.input, c.delimiter, scratch, fields);
            EXPECT_EQ(std::vector<std::string>(fields.begin(), fields.end()), c.expected[0]);
        }
    }
}

TEST(CsvInput, CountsLineEndsAsLineNumbersNeedThem) {
    // The run numbers lines by these counts; CR LF is one line end, and a
    // lone CR or LF one each, wherever they fall in a long text.
    const std::string pad(70, 'x');
    const struct {
        std::string text;
        std::int64_t count;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {pad, 0},
        {"a\nb", 1},
        {"a\r\nb", 1},
        {"a\rb", 1},
        {"a\r", 1},
        {"\r\n", 1},
        {"\n\r", 2},
        {"\r\r\n", 2},
        {"\n\n\n", 3},
        {pad + "\r" + pad, 1},
        {pad + "\r\n" + pad + "\n", 2},
        {pad + pad + "\r", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(engine::CountLineEnds(c.text), c.count);
    }
}

TEST(CsvInput, RecordTextKeepsQuotesWithoutLineEnd) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("r.csv"), "x,\"a\"\"b\r\nc\"d\r\nz\n"));
    EXPECT_EQ(ReadFile(dir.File("r.csv"), {}).texts,
              (std::vector<std::string>{"x,\"a\"\"b\r\nc\"d", "z"}));
}

std::string Utf16(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(CsvInput, DecodesEncodings) {
    struct Case {
        const char* name;
        std::string input;
        Options options;
        const char* ansi;
        const char* oem;
        Rows expected;
        int codePage;
    };
    const std::u16string unicodeText = u"a,\"b\r\nc\"\r\n\U0001F600,\u00E9\r\n";
    const Rows unicodeRows = {{"a", "b\nc"}, {"\U0001F600", "\u00E9"}};
    const Case cases[] = {
        {"ASCII", "a,b\n", {}, "1251", "866", {{"a", "b"}}, 65001},
        {"UTF-8 BOM removed",
         "\xEF\xBB\xBF\"a\",\xC3\xA9",
         {},
         "1251",
         "866",
         {{"a", "\u00E9"}},
         65001},
        {"UTF-16 LE", Utf16(unicodeText, false), {}, "1252", "437", unicodeRows, 1200},
        {"UTF-16 BE", Utf16(unicodeText, true), {}, "1252", "437", unicodeRows, 1201},
        {"UTF-16 lone surrogate",
         Utf16(u"a\xD800,b", false),
         {},
         "1252",
         "437",
         {{"a\uFFFD", "b"}},
         1200},
        {"ANSI 1251", "\xCF\xF0\xE8\xE2\xE5\xF2,1", {}, "1251", "866", {{"Привет", "1"}}, 1251},
        {"OEM 866", "\x8F\xE0\xA8\xA2\xA5\xE2", {.oemSource = 1}, "1251", "866", {{"Привет"}}, 866},
        {"866 by its letters on any system",
         "\x8F\xE0\xA8\xA2\xA5\xE2",
         {},
         "1252",
         "437",
         {{"Привет"}},
         866},
        {"valid UTF-8 passes", "\xD0\x9F\xD1\x80\xD0\xB8", {}, "1251", "866", {{"При"}}, 65001},
        {"each record decides",
         "\xC3\xA9\n\xE9\n\xC3\xA9,\xD0\xAF\n",
         {},
         "1252",
         "437",
         {{"\u00E9"}, {"\u00E9"}, {"\u00E9", "\u042F"}},
         1252},
        {"UTF-16 LE without BOM",
         Utf16(unicodeText, false).substr(2),
         {},
         "1252",
         "437",
         unicodeRows,
         1200},
        {"UTF-16 BE without BOM",
         Utf16(unicodeText, true).substr(2),
         {},
         "1252",
         "437",
         unicodeRows,
         1201},
        {"Cyrillic UTF-16 LE without BOM",
         Utf16(u"id,\u0418\u043C\u044F\r\n1,2\r\n", false).substr(2),
         {},
         "1252",
         "437",
         {{"id", "\u0418\u043C\u044F"}, {"1", "2"}},
         1200},
        {"a stray NUL is no UTF-16",
         std::string("ab\0cd,e\n", 8),
         {},
         "1252",
         "437",
         {{std::string("ab\0cd", 5), "e"}},
         65001},
        {"CODEPAGE overrides ANSI",
         "\xD0\x90",
         {.inputCodePage = 1251},
         "1252",
         "437",
         {{"Р\u0452"}},
         1251},
        {"CODEPAGE=65001 repairs",
         "a\xFF"
         "b,\xE2\x82",
         {.inputCodePage = 65001},
         "1251",
         "866",
         {{"a\uFFFDb", "\uFFFD"}},
         65001},
        {"undefined byte", "\x98", {.inputCodePage = 1251}, "1252", "437", {{"\uFFFD"}}, 1251},
        {"multi-byte page",
         "\x82\xA0,\x82",
         {.inputCodePage = 932},
         "1252",
         "437",
         {{"\u3042", "\uFFFD"}},
         932},
    };
    for (const Case& c : cases) {
        // Small blocks split byte-order marks, surrogate pairs and characters.
        for (std::size_t blockSize : {std::size_t{1}, std::size_t{3}, engine::kCsvBlockSize}) {
            SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(blockSize));
            ScopedEnv ansi("QUENDLE_ANSI_CODEPAGE", c.ansi);
            ScopedEnv oem("QUENDLE_OEM_CODEPAGE", c.oem);
            int codePage = 0;
            EXPECT_EQ(ReadBytes(c.input, c.options, &codePage, blockSize), c.expected);
            EXPECT_EQ(codePage, c.codePage);
        }
    }
}

TEST(CsvInput, RecordNamesTheLineOfAQuoteNeverClosed) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::int64_t> openQuoteLines;  // per record
    };
    const Case cases[] = {
        {"all quotes closed", "\"a\"\"\nb\",c\nd\n", {-1, -1}},
        {"open on the record's first line", "a\nb,\"c\nd\n", {-1, 0}},
        {"open after a closed multi-line field", "x,\"closed\r\ny\",\"open\nz", {1}},
        {"open after lone CRs", "a\r\"b\rc", {-1, 0}},
    };
    for (const Case& c : cases) {
        for (std::size_t blockSize : {std::size_t{2}, engine::kCsvBlockSize}) {
            SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(blockSize));
            TempDir dir;
            const std::string path = dir.File("q.csv");
            ASSERT_TRUE(WriteWholeFile(path, c.input));
            engine::ConversionSettings settings{};
            settings.delimiter = ',';
            engine::CsvInput input;
            ASSERT_TRUE(input.Open(path, settings, blockSize));
            engine::CsvRecord record;
            std::vector<std::int64_t> lines;
            while (input.ReadRecord(record)) {
                lines.push_back(record.openQuoteLine);
            }
            EXPECT_EQ(lines, c.openQuoteLines);
        }
    }
}

// One line of what each record turned into: its fields, long ones by their
// size ("#40000"), or, for a record given up, "!" and the overlong field,
// then "q" and the open quote's line when one never closed.
std::string DescribeRecord(const engine::CsvRecord& record) {
    if (record.overlongField >= 0) {
        std::string text = "!" + std::to_string(record.overlongField);
        if (record.openQuoteLine >= 0) {
            text += " q" + std::to_string(record.openQuoteLine);
        }
        return text;
    }
    std::string text;
    for (std::string_view field : record.fields) {
        text += text.empty() ? "" : "|";
        text += field.size() > 16 ? "#" + std::to_string(field.size()) : std::string(field);
    }
    return text;
}

TEST(CsvInput, FieldLongerThanACellIsPassedOverUnkept) {
    // Larger than the default block, so that every block size meets the
    // record unfinished; a record that fits the buffer whole is kept, and
    // the workbook refuses its long field.
    const std::string huge(3u << 20, 'y');
    const std::string atLimit(32767, 'x');
    const std::string quotedHuge = "\"" + Repeat("ab\"\",\r\ncd", 150000) + "\"";
    struct Case {
        const char* name;
        std::string input;
        int inputCodePage;
        std::vector<std::string> records;
    };
    const Case cases[] = {
        {"unquoted, then more lines", "a,b\nx," + huge + ",z\nafter\n", 0, {"a|b", "!1", "after"}},
        {"quoted with quotes, commas and line ends", quotedHuge + ",t\r\nnext", 0, {"!0", "next"}},
        {"quote never closed", "h\n1,\"" + huge + "\n" + huge, 0, {"h", "!1 q0"}},
        {"open quote on the record's second line", "\"a\nb\",\"" + huge, 0, {"!1 q1"}},
        {"closed quote, CR alone ends the record", "\"" + huge + "\"\rnext\r", 0, {"!0", "next"}},
        {"CR LF split from the CR", huge + "\r\nnext", 0, {"!0", "next"}},
        {"fields at the limit stay whole",
         atLimit + "," + atLimit + "," + atLimit + "," + atLimit + "\nend",
         0,
         {"#32767|#32767|#32767|#32767", "end"}},
        {"two-byte UTF-8 counted by characters",
         Repeat("\xC3\xA9", 30000) + "\nend",
         0,
         {"#60000", "end"}},
        {"three-byte UTF-8 past the limit",
         Repeat("\xE2\x82\xAC", 1200000) + "\nend",
         0,
         {"!0", "end"}},
        {"two-byte legacy page counted by characters",
         Repeat("\x93\xFA", 30000) + ",a\nend",
         932,
         {"#90000|a", "end"}},
        {"two-byte legacy page past the limit",
         Repeat("\x93\xFA", 1500000) + "\nend",
         932,
         {"!0", "end"}},
        {"UTF-16",
         Utf16(u"a\n" + std::u16string(1600000, u'z') + u",b\nc", false),
         0,
         {"a", "!0", "c"}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        for (std::size_t blockSize : {std::size_t{7}, std::size_t{4096}, engine::kCsvBlockSize}) {
            SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(blockSize));
            ASSERT_TRUE(WriteWholeFile(dir.File("long.csv"), c.input));
            engine::ConversionSettings settings{};
            settings.delimiter = ',';
            settings.inputCodePage = c.inputCodePage;
            engine::CsvInput input;
            ASSERT_TRUE(input.Open(dir.File("long.csv"), settings, blockSize));
            engine::CsvRecord record;
            std::vector<std::string> records;
            while (input.ReadRecord(record)) {
                records.push_back(DescribeRecord(record));
            }
            EXPECT_EQ(records, c.records);
            EXPECT_TRUE(input.errorText().empty());
            EXPECT_EQ(input.position(), input.size());
        }
    }
}

// A record with more fields than the sheet has columns keeps none past the
// limit; one still coming in is given up, so that a long line of short
// fields never sits in memory whole, whatever the block size.
TEST(CsvInput, FieldsPastTheLimitAreNotKept) {
    constexpr std::size_t kLimit = 256;
    const std::string many = Repeat("x,", 4u << 20) + "z";  // 8 MiB, four million fields
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> records;  // field count, or ">" the first field past
    };
    const Case cases[] = {
        {"short fields, then more lines", "a,b\n" + many + "\nafter\n", {"2", ">256", "1"}},
        {"quoted fields with line ends",
         "\"a\n\"," + Repeat("\"q\",", 2u << 20) + "\nafter",
         {">256", "1"}},
        {"exactly at the limit", Repeat("x,", kLimit - 1) + "x\nend", {"256", "1"}},
        {"one past the limit, in one block", Repeat("x,", kLimit) + "x\nend", {">256", "1"}},
        {"UTF-16",
         Utf16(u"a\n" + std::u16string(1u << 20, u',') + u"\nc", false),
         {"1", ">256", "1"}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        for (std::size_t blockSize : {std::size_t{7}, std::size_t{4096}, engine::kCsvBlockSize}) {
            SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(blockSize));
            ASSERT_TRUE(WriteWholeFile(dir.File("wide.csv"), c.input));
            engine::ConversionSettings settings{};
            settings.delimiter = ',';
            engine::CsvInput input;
            ASSERT_TRUE(input.Open(dir.File("wide.csv"), settings, blockSize));
            input.LimitFields(kLimit);
            engine::CsvRecord record;
            std::vector<std::string> records;
            std::size_t mostFields = 0;
            while (input.ReadRecord(record)) {
                if (record.fieldPastLimit >= 0) {
                    EXPECT_LE(record.fields.size(), kLimit);
                    records.push_back(">" + std::to_string(record.fieldPastLimit));
                } else {
                    records.push_back(std::to_string(record.fields.size()));
                }
                mostFields = std::max(mostFields, record.fields.capacity());
            }
            EXPECT_EQ(records, c.records);
            // No more fields were ever held than the bytes read ahead hold:
            // one block, or the encoding probe read before the first record.
            EXPECT_LE(mostFields,
                      std::max<std::size_t>(2 * blockSize, engine::kEncodingSampleBytes / 2));
            EXPECT_TRUE(input.errorText().empty());
            EXPECT_EQ(input.position(), input.size());
        }
    }
}

TEST(CsvInput, PositionReachesSizeAtEnd) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::int64_t> positions;  // after each record
    };
    const Case cases[] = {
        {"LF and CR LF", "ab,c\r\n\"x\ny\"\nlast", {6, 12, 16}},
        {"UTF-8 BOM counted",
         "\xEF\xBB\xBF"
         "a\nb\n",
         {5, 7}},
        {"UTF-16 counts file bytes", Utf16(u"a\r\n\U0001F600\n", false), {8, 14}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        for (std::size_t blockSize : {std::size_t{1}, std::size_t{3}, engine::kCsvBlockSize}) {
            SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(blockSize));
            ASSERT_TRUE(WriteWholeFile(dir.File("p.csv"), c.input));
            engine::ConversionSettings settings{};
            settings.delimiter = ',';
            engine::CsvInput input;
            ASSERT_TRUE(input.Open(dir.File("p.csv"), settings, blockSize));
            EXPECT_EQ(input.size(), static_cast<std::int64_t>(c.input.size()));
            engine::CsvRecord record;
            std::vector<std::int64_t> positions;
            while (input.ReadRecord(record)) {
                positions.push_back(input.position());
            }
            EXPECT_EQ(positions, c.positions);
            EXPECT_EQ(input.position(), input.size());
            EXPECT_TRUE(input.errorText().empty());
        }
    }
}

TEST(CsvInput, OpenFailsWithReason) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("ok.csv"), "a\n"));
    struct Case {
        const char* name;
        std::string path;
        int inputCodePage;
    };
    const Case cases[] = {
        {"missing file", dir.File("missing.csv"), 0},
        {"a folder", dir.path().string(), 0},
        {"unknown code page", dir.File("ok.csv"), 12345},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine::ConversionSettings settings{};
        settings.delimiter = ',';
        settings.inputCodePage = c.inputCodePage;
        engine::CsvInput input;
        EXPECT_FALSE(input.Open(c.path, settings));
        EXPECT_FALSE(input.errorText().empty());
        engine::CsvRecord record;
        EXPECT_FALSE(input.ReadRecord(record));
    }
}

// ---- Python's csv module as the oracle ------------------------------------------------

// Our row as json.dumps(row, ensure_ascii=False) writes csv_reader_rows.py's.
std::string JsonRow(const std::vector<std::string>& row) {
    std::string json = "[";
    for (const std::string& field : row) {
        json += json.size() == 1 ? "\"" : ", \"";
        for (const char c : field) {
            const std::string_view shortForms = "\"\"\\\\\nn\rr\tt\bb\ff";
            const std::size_t found = shortForms.find(c);
            if (found != std::string_view::npos && found % 2 == 0) {
                json += '\\';
                json += shortForms[found + 1];
            } else if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                json += escape;
            } else {
                json += c;
            }
        }
        json += '"';
    }
    return json + "]";
}

// Random text over the characters that matter, with runs long enough to
// cross block seams.
std::string RandomCsv(std::mt19937& random, char delimiter, std::size_t maxPieces) {
    const std::string pieces[] = {
        "a", "b",        " ", std::string(1, delimiter), ",", "\"", "\"\"", "\n", "\r\n", "\r",
        "'", "\xC3\xA9", "\t"};
    std::uniform_int_distribution<std::size_t> count(0, maxPieces);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::string text;
    for (std::size_t n = count(random); n > 0; --n) {
        text += pieces[pick(random)];
    }
    return text;
}

std::size_t Utf16Units(std::string_view utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) != 0x80 ? (byte >= 0xF0 ? 2 : 1) : 0;
    }
    return units;
}

// Writes the files, runs the oracle over them once and compares every file
// read with each block size.
void CompareWithOracle(const std::vector<std::string>& contents, char delimiter) {
    TempDir dir;
    std::vector<std::string> paths;
    // Rows with a field longer than a cell are compared only as such: the
    // reader keeps them when they fit its buffer and gives them up otherwise.
    std::string arguments = "--empty-line-is-one-field --crlf-in-field-as-lf --cell-limit 32767 ";
    arguments += "--delimiter " + testing_support::ShellQuote(std::string(1, delimiter));
    for (std::size_t i = 0; i < contents.size(); ++i) {
        paths.push_back(dir.File("f" + std::to_string(i) + ".csv"));
        ASSERT_TRUE(WriteWholeFile(paths.back(), contents[i]));
        arguments += " " + testing_support::ShellQuote(paths.back());
    }
    const auto oracle = testing_support::RunTool("csv_reader_rows.py", arguments);
    ASSERT_EQ(oracle.exitCode, 0) << oracle.output;
    std::istringstream lines(oracle.output);
    std::string line;
    std::getline(lines, line);
    for (const std::string& path : paths) {
        ASSERT_EQ(line, "FILE " + path);
        std::vector<std::string> expected;
        while (std::getline(lines, line) && line.rfind("FILE ", 0) != 0) {
            expected.push_back(line);
        }
        for (std::size_t blockSize :
             {std::size_t{1}, std::size_t{7}, std::size_t{4096}, engine::kCsvBlockSize}) {
            SCOPED_TRACE(path + ", block " + std::to_string(blockSize));
            const ReadResult ours = ReadFile(path, {.delimiter = delimiter}, blockSize);
            ASSERT_TRUE(ours.opened);
            std::vector<std::string> actual;
            for (std::size_t i = 0; i < ours.rows.size(); ++i) {
                bool overlong = ours.overlong[i];
                for (const std::string& field : ours.rows[i]) {
                    overlong = overlong || Utf16Units(field) > 32767;
                }
                actual.push_back(overlong ? "OVERLONG" : JsonRow(ours.rows[i]));
            }
            ASSERT_EQ(actual, expected);
        }
    }
}

TEST(CsvInput, AgreesWithPythonOnRandomFiles) {
    for (const char delimiter : {',', ';', '\t'}) {
        SCOPED_TRACE(std::string("delimiter ") + delimiter);
        std::mt19937 random(20240601u + static_cast<unsigned>(delimiter));
        std::vector<std::string> contents;
        for (int i = 0; i < 150; ++i) {
            contents.push_back(RandomCsv(random, delimiter, i < 120 ? 40 : 3000));
        }
        CompareWithOracle(contents, delimiter);
    }
}

TEST(CsvInput, AgreesWithPythonOnLongRecordsAndSeams) {
    std::mt19937 random(7);
    const std::size_t block = engine::kCsvBlockSize;
    std::vector<std::string> contents;
    // Quoted fields with doubled quotes and line breaks inside: one that a
    // cell holds, crossing many seams, and one over 64 KiB.
    for (const int pieces : {4000, 9000}) {
        std::string big = "x,\"";
        for (int i = 0; i < pieces; ++i) {
            big += "ab\"\"c\r\nd";
        }
        contents.push_back(big + "\",y\nnext\n");
    }
    // Records over 1 MiB, quoted and not, crossing read blocks.
    contents.push_back(std::string(block + 100, 'a') + ",b\n\"" + std::string(block, 'q') + "\"\n" +
                       RandomCsv(random, ',', 500));
    // CR ending one block, LF starting the next, outside and inside quotes.
    contents.push_back(std::string(block - 1, 'z') + "\r\nafter");
    contents.push_back("\"" + std::string(block - 2, 'z') + "\r\nafter");
    // A doubled quote split by the seam.
    contents.push_back("\"" + std::string(block - 2, 'z') + "\"\"x\"\n");
    CompareWithOracle(contents, ',');
}

TEST(CsvInput, AgreesWithPythonOnCsvSpectrum) {
    const std::filesystem::path folder = std::filesystem::path(QUENDLE_CORPUS_DIR) / "csv-spectrum";
    std::vector<std::string> contents;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        contents.push_back(testing_support::ReadWholeFile(entry.path().string()));
    }
    ASSERT_GE(contents.size(), 12u);
    CompareWithOracle(contents, ',');
}

}  // namespace
