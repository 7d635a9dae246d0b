// SPDX-License-Identifier: MIT
// The CSV splitter checked against its rules, written out again below, on
// random and hand-built records: split whole through SplitRecord, and read
// from files in blocks so small that records are cut and parsed again at
// every seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/csv_input.h"
#include "test_support.h"

namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

// The splitting rules, written out a byte at a time as plainly as they can
// be put, without the splitter's word-at-a-time searches or its seams:
//
//   where                        byte                  effect
//   at a field's start           quote                 quoting opens (even when
//                                                      the quote is the delimiter)
//   outside quotes               delimiter             the field ends
//   outside quotes, whole files  LF, CR LF, lone CR    the record ends
//   inside quotes                two quotes            one quote is kept
//   inside quotes                one quote             quoting closes; what follows
//                                                      is kept up to the delimiter
//   inside quotes                CR before LF          dropped
//   anywhere else                any byte              kept
//
// The delimiter outranks a line end it equals, though CR LF stays one line
// end when LF is the delimiter. A quote still open at the end
// of the input runs the field (and record) to the end. A file's last record
// needs no line end, and no empty record follows a final line end. A field
// whose kept bytes are one run of the input is handed out in place; one
// joined from pieces is copied.
namespace oracle {

constexpr char kQuote = '"';

struct Field {
    std::string text;
    std::vector<std::size_t> from;  // where in the input each kept byte stands
};

struct Record {
    std::size_t begin = 0;  // the record's first byte in the input
    std::string text;       // without its line end
    std::vector<Field> fields;
    std::int64_t openQuoteLine = -1;
};

// Line ends in `text`: LF, CR LF and a lone CR, one each.
std::int64_t LineEnds(std::string_view text) {
    std::int64_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        count +=
            text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
                ? 1
                : 0;
    }
    return count;
}

// The record starting at `*pos` in `input`, `*pos` moved past its line end.
// Without `lineEnds` the whole input is one record.
Record Split(std::string_view input, std::size_t* pos, char delimiter, bool lineEnds) {
    enum class State { kFieldStart, kPlain, kQuoted };
    Record record;
    record.begin = *pos;
    record.fields.emplace_back();
    State state = State::kFieldStart;
    std::size_t quoteAt = 0;
    std::size_t i = *pos;
    std::size_t textEnd = input.size();
    const auto keep = [&](std::size_t at) {
        record.fields.back().text += input[at];
        record.fields.back().from.push_back(at);
    };
    for (; i < input.size(); ++i) {
        const char c = input[i];
        const bool next = i + 1 < input.size();
        if (state == State::kQuoted) {
            if (c == kQuote && next && input[i + 1] == kQuote) {
                keep(i);
                ++i;
            } else if (c == kQuote) {
                state = State::kPlain;
            } else if (!(c == '\r' && next && input[i + 1] == '\n')) {
                keep(i);
            }
            continue;
        }
        if (state == State::kFieldStart && c == kQuote) {
            state = State::kQuoted;
            quoteAt = i;
            continue;
        }
        if (c == delimiter) {
            record.fields.emplace_back();
            state = State::kFieldStart;
        } else if (lineEnds && (c == '\n' || c == '\r')) {
            textEnd = i;
            i += c == '\r' && next && input[i + 1] == '\n' ? 2 : 1;
            break;
        } else {
            keep(i);
            state = State::kPlain;
        }
    }
    record.text = std::string(input.substr(*pos, std::min(textEnd, input.size()) - *pos));
    if (state == State::kQuoted) {
        record.openQuoteLine = LineEnds(input.substr(*pos, quoteAt - *pos));
    }
    *pos = std::min(i, input.size());
    return record;
}

// Every record of a whole file.
std::vector<Record> Records(std::string_view input, char delimiter) {
    std::vector<Record> records;
    for (std::size_t pos = 0; pos < input.size();) {
        records.push_back(Split(input, &pos, delimiter, true));
    }
    return records;
}

// Where the field must be handed out in place: its offset from the record's
// start, or -1 when it must be a copy (or is empty, and may be either).
std::ptrdiff_t InPlaceAt(const Field& field, std::size_t recordBegin) {
    if (field.from.empty()) {
        return -1;
    }
    for (std::size_t k = 1; k < field.from.size(); ++k) {
        if (field.from[k] != field.from[k - 1] + 1) {
            return -1;
        }
    }
    return static_cast<std::ptrdiff_t>(field.from.front() - recordBegin);
}

}  // namespace oracle

const char kDelimiters[] = {',', ';', '\t', '|', '"', '\r', '\n'};

// Bytes as C writes them, so a failing input can be read and pasted back.
std::string Escaped(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c == '"' || c == '\\') {
            shown += '\\';
            shown += c;
        } else {
            shown += c;
        }
    }
    return shown;
}

bool Within(std::string_view field, const char* begin, std::size_t size) {
    return !field.empty() && field.data() >= begin && field.data() < begin + size;
}

// The fields the oracle gives `record`, and each one it hands out in place
// lies at the same place of `base` (the input as the splitter saw it, `size`
// bytes); each it joins is copied.
testing::AssertionResult SameFields(const oracle::Record& record,
                                    const std::vector<std::string_view>& actual, const char* base,
                                    std::size_t size) {
    const std::vector<oracle::Field>& expected = record.fields;
    if (actual.size() != expected.size()) {
        return testing::AssertionFailure()
               << actual.size() << " fields, expected " << expected.size();
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (actual[i] != expected[i].text) {
            return testing::AssertionFailure()
                   << "field " << i << " is \"" << Escaped(actual[i]) << "\", expected \""
                   << Escaped(expected[i].text) << '"';
        }
        const std::ptrdiff_t at = oracle::InPlaceAt(expected[i], record.begin);
        if (Within(actual[i], base, size) != (at >= 0) ||
            (at >= 0 && actual[i].data() - base != at)) {
            return testing::AssertionFailure()
                   << "field " << i
                   << (at >= 0 ? " is not the input's own bytes" : " is not copied");
        }
    }
    return testing::AssertionSuccess();
}

void ExpectSplitByTheRules(const std::string& text, char delimiter) {
    std::string scratch;
    std::vector<std::string_view> fields;
    engine::SplitRecord(text, delimiter, scratch, fields);
    std::size_t pos = 0;
    const oracle::Record expected = oracle::Split(text, &pos, delimiter, false);
    ASSERT_TRUE(SameFields(expected, fields, text.data(), text.size()))
        << "record \"" << Escaped(text) << "\", delimiter \"" << Escaped({&delimiter, 1}) << '"';
}

// Reads the file in blocks of `blockSize` bytes and checks each record
// against the oracle's, fields handed out in place included.
void ExpectReadByTheRules(const std::string& path, const std::string& bytes, char delimiter,
                          std::size_t blockSize) {
    const std::vector<oracle::Record> expected = oracle::Records(bytes, delimiter);
    engine::ConversionSettings settings{};
    settings.delimiter = delimiter;
    engine::CsvInput input;
    ASSERT_TRUE(input.Open(path, settings, blockSize));
    engine::CsvRecord record;
    std::size_t count = 0;
    while (input.ReadRecord(record)) {
        ASSERT_LT(count, expected.size()) << "more records than expected";
        const oracle::Record& want = expected[count];
        SCOPED_TRACE("record " + std::to_string(count) + " \"" + Escaped(want.text) + '"');
        ASSERT_EQ(record.text, want.text);
        ASSERT_EQ(record.openQuoteLine, want.openQuoteLine);
        ASSERT_TRUE(SameFields(want, record.fields, record.text.data(), record.text.size()));
        ++count;
    }
    EXPECT_EQ(count, expected.size());
    EXPECT_TRUE(input.errorText().empty()) << input.errorText();
}

// Random bytes from a random few of the characters a splitter cares about,
// with plain letters and a two-byte UTF-8 letter among them.
class RandomText {
public:
    explicit RandomText(std::uint32_t seed) : random_(seed) {}

    std::string Make(std::size_t maxLength) {
        static const char* const kPieces[] = {"a",  "b", ",",  ";",        "\"", "\r",
                                              "\n", " ", "\t", "\xC3\xA9", "|"};
        constexpr std::size_t kCount = std::size(kPieces);
        // A random alphabet, weighted so that some draws are mostly text and
        // others mostly quotes and line ends.
        std::vector<std::size_t> alphabet;
        for (std::size_t i = 0; i < kCount; ++i) {
            for (std::uint32_t weight = random_() % 4; weight > 0; --weight) {
                alphabet.push_back(i);
            }
        }
        if (alphabet.empty()) {
            alphabet.push_back(0);
        }
        const std::size_t length = random_() % (maxLength + 1);
        std::string text;
        while (text.size() < length) {
            text += kPieces[alphabet[random_() % alphabet.size()]];
        }
        return text;
    }

    char Delimiter() { return kDelimiters[random_() % std::size(kDelimiters)]; }

private:
    std::mt19937 random_;
};

TEST(CsvSplit, SplitsRandomRecordsByTheRules) {
    RandomText random(20240611);
    for (int i = 0; i < 120000; ++i) {
        const std::string text = random.Make(200);
        ASSERT_NO_FATAL_FAILURE(ExpectSplitByTheRules(text, random.Delimiter())) << "case " << i;
    }
}

// Records with one special byte or pair at every offset 0..20 of a field 0..20
// bytes long, unquoted and quoted, so each lands at every place in a word
// and right at the end of the text. A first field of `lead` bytes moves them
// on to the seams of the splitter's 64-byte masks.
std::vector<std::string> WordEdgeRecords(char delimiter, std::size_t lead) {
    static const char* const kSpecials[] = {",", ";", "\"", "\"\"", "\r", "\n", "\r\n", "\t"};
    const std::string first = lead == 0 ? std::string() : std::string(lead - 1, 'x') + delimiter;
    std::vector<std::string> records;
    for (std::size_t length = 0; length <= 20; ++length) {
        for (std::size_t offset = 0; offset <= length; ++offset) {
            for (const char* special : kSpecials) {
                std::string field(length, 'a');
                field.insert(offset, special);
                records.push_back(first + field);
                records.push_back(first + field + delimiter + field);
                records.push_back(first + '"' + field + '"');
                records.push_back(first + '"' + field + '"' + delimiter + '"' + field);
                records.push_back(first + '"' + field + "\"b" + delimiter + field + '"');
            }
        }
    }
    return records;
}

constexpr std::size_t kLeads[] = {0, 50, 120};

TEST(CsvSplit, SplitsAtWordEdgesByTheRules) {
    for (const std::size_t lead : kLeads) {
        for (const char delimiter : kDelimiters) {
            for (const std::string& text : WordEdgeRecords(delimiter, lead)) {
                ASSERT_NO_FATAL_FAILURE(ExpectSplitByTheRules(text, delimiter));
            }
        }
    }
}

TEST(CsvSplit, ReadsWordEdgeFilesInTinyBlocksByTheRules) {
    TempDir dir;
    const std::string path = dir.File("edges.csv");
    for (const char delimiter : {',', '"', '\r'}) {
        std::string bytes;
        for (const std::size_t lead : kLeads) {
            for (const std::string& text : WordEdgeRecords(delimiter, lead)) {
                bytes += text + '\n';
            }
        }
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        for (const std::size_t blockSize : {std::size_t{1}, std::size_t{7}}) {
            SCOPED_TRACE("delimiter " + Escaped({&delimiter, 1}) + ", block size " +
                         std::to_string(blockSize));
            ASSERT_NO_FATAL_FAILURE(ExpectReadByTheRules(path, bytes, delimiter, blockSize));
        }
    }
}

// Files longer than the bytes Open probes for the encoding, so that reading
// in tiny blocks cuts records all through them: each record is first split
// incomplete, then again once its bytes are in.
TEST(CsvSplit, ReadsRandomFilesInTinyBlocksByTheRules) {
    TempDir dir;
    const std::string path = dir.File("random.csv");
    RandomText random(977);
    for (int i = 0; i < 600; ++i) {
        std::string bytes;
        while (bytes.size() < 300 + static_cast<std::size_t>(i)) {
            bytes += random.Make(60);
        }
        const char delimiter = random.Delimiter();
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        for (const std::size_t blockSize :
             {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{64},
              engine::kCsvBlockSize}) {
            SCOPED_TRACE("file " + std::to_string(i) + " \"" + Escaped(bytes) + "\", delimiter " +
                         Escaped({&delimiter, 1}) + ", block size " + std::to_string(blockSize));
            ASSERT_NO_FATAL_FAILURE(ExpectReadByTheRules(path, bytes, delimiter, blockSize));
        }
    }
}

// A non-ASCII sequence and the UTF-8 each way of reading makes of it.
struct HighBytes {
    const char* raw;
    const char* asUtf8;      // forced UTF-8: invalid bytes become U+FFFD
    const char* asLegacy;    // forced 1252
    const char* asDetected;  // detected: UTF-8 when valid, else 1252
};

constexpr HighBytes kHighBytes[] = {
    {"\xC3\xA9", "\xC3\xA9", "\xC3\x83\xC2\xA9", "\xC3\xA9"},
    {"\xE9", "\xEF\xBF\xBD", "\xC3\xA9", "\xC3\xA9"},
};

struct HighRecord {
    std::string raw;
    std::string expected;  // the record's text once read
};

// Letters with a comma every third byte, so the record has fields.
std::string Letters(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += i % 3 == 2 ? ',' : static_cast<char>('a' + i % 26);
    }
    return text;
}

// Records 0..100 bytes long with the sequence at every offset, unquoted and
// quoted, so that it lands everywhere in and around the splitter's masks;
// and ASCII records of every length followed by a record whose first bytes
// hold it, so that it lies in the ASCII record's last mask, past its end.
std::vector<HighRecord> HighByteRecords(std::string_view raw, std::string_view decoded) {
    std::vector<HighRecord> records;
    for (std::size_t length = 0; length <= 100; ++length) {
        const std::string text = Letters(length);
        for (std::size_t offset = 0; offset <= length; ++offset) {
            const std::string before = text.substr(0, offset);
            const std::string after = text.substr(offset);
            records.push_back(
                {before + std::string(raw) + after, before + std::string(decoded) + after});
            records.push_back({'"' + before + std::string(raw) + after + '"',
                               '"' + before + std::string(decoded) + after + '"'});
        }
        for (std::size_t lead = 0; lead < 4; ++lead) {
            records.push_back({text, text});
            const std::string start = Letters(lead);
            records.push_back({start + std::string(raw) + 'z', start + std::string(decoded) + 'z'});
        }
    }
    return records;
}

// Each record is decoded when it holds a non-ASCII byte, and only then: a
// record that reads as it stands stays a view of the bytes read, which the
// file, read in one block, keeps in one place. Line ends rotate through LF,
// CR LF and CR.
TEST(CsvSplit, DecodesExactlyTheRecordsHoldingNonAsciiBytes) {
    struct Mode {
        const char* name;
        int inputCodePage;
        const char* HighBytes::*decoded;
    };
    const Mode modes[] = {
        {"UTF-8", 65001, &HighBytes::asUtf8},
        {"legacy", 1252, &HighBytes::asLegacy},
        {"detect", 0, &HighBytes::asDetected},
    };
    ScopedEnv ansi("QUENDLE_ANSI_CODEPAGE", "1252");
    TempDir dir;
    const std::string path = dir.File("high.csv");
    const char* const lineEnds[] = {"\n", "\r\n", "\r"};
    for (const HighBytes& high : kHighBytes) {
        for (const Mode& mode : modes) {
            SCOPED_TRACE(std::string(mode.name) + ", bytes \"" + Escaped(high.raw) + '"');
            std::vector<HighRecord> records = HighByteRecords(high.raw, high.*mode.decoded);
            records.insert(records.begin(), {"h", "h"});
            std::string bytes;
            for (std::size_t i = 0; i < records.size(); ++i) {
                // A CR before an empty record and its LF would be one line end.
                const bool emptyNext = i + 1 < records.size() && records[i + 1].raw.empty();
                bytes += records[i].raw + (emptyNext ? "\n" : lineEnds[i % std::size(lineEnds)]);
            }
            ASSERT_TRUE(WriteWholeFile(path, bytes));

            engine::ConversionSettings settings{};
            settings.delimiter = ',';
            settings.inputCodePage = mode.inputCodePage;
            engine::CsvInput input;
            ASSERT_TRUE(input.Open(path, settings, bytes.size() + 1));
            engine::CsvRecord record;
            const char* fileStart = nullptr;
            for (const HighRecord& want : records) {
                const std::int64_t offset = input.position();
                ASSERT_TRUE(input.ReadRecord(record));
                SCOPED_TRACE("record \"" + Escaped(want.raw) + '"');
                ASSERT_EQ(record.text, want.expected);
                std::size_t pos = 0;
                const oracle::Record fields = oracle::Split(want.expected, &pos, ',', false);
                ASSERT_EQ(record.fields.size(), fields.fields.size());
                for (std::size_t i = 0; i < fields.fields.size(); ++i) {
                    EXPECT_EQ(record.fields[i], fields.fields[i].text);
                }
                if (fileStart == nullptr) {
                    fileStart = record.text.data();
                }
                if (want.expected == want.raw) {
                    ASSERT_EQ(record.text.data(), fileStart + offset) << "decoded needlessly";
                }
            }
            EXPECT_FALSE(input.ReadRecord(record));
        }
    }
}

}  // namespace
