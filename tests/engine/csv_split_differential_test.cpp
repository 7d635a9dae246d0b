// SPDX-License-Identifier: MIT
// The CSV splitter checked against the one it replaced, on random and
// hand-built records: split whole through SplitRecord, and read from files
// in blocks so small that records are cut and parsed again at every seam.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
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

// The previous splitter, kept as it was as the reference: word-at-a-time
// searches for the next delimiter or quote, one field at a time.
namespace reference {

constexpr char kQuote = '"';

constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighs = 0x8080808080808080u;

// Eight bytes from `p`, the first in the lowest byte whatever the machine.
inline std::uint64_t LoadWord(const char* p) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, 8);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    return word;
}

// The high bit of every byte of `word` equal to the byte repeated in
// `pattern`. Bytes above the lowest match may be flagged falsely; only the
// lowest flag is ever used, and it is always a true match.
inline std::uint64_t MatchingBytes(std::uint64_t word, std::uint64_t pattern) {
    const std::uint64_t x = word ^ pattern;
    return (x - kOnes) & ~x & kHighs;
}

// The first byte in [p, end) equal to `a` or `b`, or `end`.
inline const char* FindEither(const char* p, const char* end, char a, char b) {
    const std::uint64_t patternA = kOnes * static_cast<unsigned char>(a);
    const std::uint64_t patternB = kOnes * static_cast<unsigned char>(b);
    for (; end - p >= 8; p += 8) {
        const std::uint64_t word = LoadWord(p);
        const std::uint64_t found = MatchingBytes(word, patternA) | MatchingBytes(word, patternB);
        if (found != 0) {
            return p + (std::countr_zero(found) >> 3);
        }
    }
    while (p < end && *p != a && *p != b) {
        ++p;
    }
    return p;
}

// The first byte in [p, end) equal to `a`, `b` or `c`, or `end`.
inline const char* FindAny(const char* p, const char* end, char a, char b, char c) {
    if (c == a || c == b) {
        return FindEither(p, end, a, b);
    }
    const std::uint64_t patternA = kOnes * static_cast<unsigned char>(a);
    const std::uint64_t patternB = kOnes * static_cast<unsigned char>(b);
    const std::uint64_t patternC = kOnes * static_cast<unsigned char>(c);
    for (; end - p >= 8; p += 8) {
        const std::uint64_t word = LoadWord(p);
        const std::uint64_t found = MatchingBytes(word, patternA) | MatchingBytes(word, patternB) |
                                    MatchingBytes(word, patternC);
        if (found != 0) {
            return p + (std::countr_zero(found) >> 3);
        }
    }
    while (p < end && *p != a && *p != b && *p != c) {
        ++p;
    }
    return p;
}

// One field's text: a view of the input while it is one stretch, copied into
// scratch once pieces must be joined (around a doubled quote or a dropped CR).
class FieldText {
public:
    explicit FieldText(char* out) : start_(out), cursor_(out) {}

    void Add(const char* begin, const char* end) {
        if (begin == end) {
            return;
        }
        if (!copying_ && view_ == nullptr) {
            view_ = begin;
            viewLength_ = static_cast<std::size_t>(end - begin);
            return;
        }
        StartCopy();
        std::memcpy(cursor_, begin, static_cast<std::size_t>(end - begin));
        cursor_ += end - begin;
    }

    std::string_view View() const {
        if (copying_) {
            return {start_, static_cast<std::size_t>(cursor_ - start_)};
        }
        return {view_, viewLength_};
    }
    char* end() const { return cursor_; }

private:
    void StartCopy() {
        if (!copying_) {
            copying_ = true;
            if (viewLength_ != 0) {
                std::memcpy(cursor_, view_, viewLength_);
                cursor_ += viewLength_;
            }
        }
    }

    char* start_;
    char* cursor_;
    const char* view_ = nullptr;
    std::size_t viewLength_ = 0;
    bool copying_ = false;
};

struct SplitResult {
    bool complete = false;            // false: the record runs past `end`; bring more bytes
    const char* textEnd = nullptr;    // the record's text ends here (line end excluded)
    const char* next = nullptr;       // the next record starts here
    const char* openQuote = nullptr;  // a quote never closed, which ran to the end
};

// Splits the record at the start of [p, end) into `fields`. With `lineEnds`,
// an LF, a CR LF pair or a lone CR outside quotes ends the record; without,
// [p, end) is the whole record. Unless `final`, a record that would need a
// byte at or after `end` to be decided is reported incomplete. Copied
// fields go to `out`, which has room for end - p bytes.
SplitResult ReferenceSplit(const char* p, const char* end, char delimiter, bool lineEnds,
                           bool final, char* out, std::vector<std::string_view>& fields) {
    fields.clear();
    const char lineEnd = lineEnds ? '\n' : delimiter;
    const char carriageReturn = lineEnds ? '\r' : delimiter;
    // Closes a field that stops at `stop` (a delimiter, a line end, or `end`).
    // Gives true when the record ends there.
    auto finishAt = [&](const char* stop, const char* fieldBegin, FieldText& text,
                        SplitResult* result) {
        if (stop != end && *stop == delimiter) {
            text.Add(fieldBegin, stop);
            fields.push_back(text.View());
            out = text.end();
            return false;
        }
        text.Add(fieldBegin, stop);
        fields.push_back(text.View());
        const char* next = stop;
        if (stop != end) {
            // A CR ends the record alone, as in classic Mac files, or with its LF.
            next = stop + (*stop == '\r' && stop + 1 != end && stop[1] == '\n' ? 2 : 1);
        }
        *result = {true, stop, next};
        return true;
    };
    // A CR as the last byte so far may be the first half of CR LF.
    auto undecided = [&](const char* stop) {
        return !final && (stop == end || (lineEnds && *stop == '\r' && stop + 1 == end));
    };

    SplitResult result;
    while (true) {
        FieldText text(out);
        if (p == end || *p != kQuote) {
            // Unquoted: a quote here is plain text.
            const char* stop = FindAny(p, end, delimiter, lineEnd, carriageReturn);
            if (undecided(stop)) {
                return {};
            }
            if (finishAt(stop, p, text, &result)) {
                return result;
            }
            p = stop + 1;
            continue;
        }
        // Quoted: one scan finds quotes and the CRs of CR LF pairs, which lose the CR.
        const char* piece = p + 1;
        const char* scan = piece;
        while (true) {
            const char* hit = FindEither(scan, end, kQuote, '\r');
            if (hit == end) {
                if (!final) {
                    return {};
                }
                // A quote still open at the end of the input closes there.
                text.Add(piece, end);
                fields.push_back(text.View());
                return {true, end, end, p};
            }
            if (hit + 1 == end && !final) {
                return {};  // CR LF or not, "" or a closing quote: the next byte decides
            }
            const bool pairFollows = hit + 1 != end && hit[1] == (*hit == kQuote ? kQuote : '\n');
            if (*hit == '\r') {
                if (pairFollows) {
                    text.Add(piece, hit);
                    piece = hit + 1;  // the LF starts the next piece
                }
                scan = hit + 1;
                continue;
            }
            if (pairFollows) {
                text.Add(piece, hit + 1);  // keeps one of the two quotes
                piece = scan = hit + 2;
                continue;
            }
            text.Add(piece, hit);
            p = hit + 1;
            break;
        }
        // After the closing quote, text up to the delimiter is kept as it stands.
        const char* stop = FindAny(p, end, delimiter, lineEnd, carriageReturn);
        if (undecided(stop)) {
            return {};
        }
        if (finishAt(stop, p, text, &result)) {
            return result;
        }
        p = stop + 1;
    }
}

}  // namespace reference

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

// The same field texts, and every field the reference leaves in the input
// (from `expectedBase`) is a view at the same place of the other input (from
// `actualBase`), while every field it copies is copied too.
testing::AssertionResult SameFields(const std::vector<std::string_view>& expected,
                                    const char* expectedBase,
                                    const std::vector<std::string_view>& actual,
                                    const char* actualBase, std::size_t size) {
    if (actual.size() != expected.size()) {
        return testing::AssertionFailure()
               << actual.size() << " fields, expected " << expected.size();
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (actual[i] != expected[i]) {
            return testing::AssertionFailure() << "field " << i << " is \"" << Escaped(actual[i])
                                               << "\", expected \"" << Escaped(expected[i]) << '"';
        }
        const bool view = Within(expected[i], expectedBase, size);
        if (Within(actual[i], actualBase, size) != view ||
            (view && actual[i].data() - actualBase != expected[i].data() - expectedBase)) {
            return testing::AssertionFailure()
                   << "field " << i << (view ? " is not the input's own bytes" : " is not copied");
        }
    }
    return testing::AssertionSuccess();
}

void ExpectSplitAsReference(const std::string& text, char delimiter) {
    std::string scratch;
    std::vector<std::string_view> fields;
    engine::SplitRecord(text, delimiter, scratch, fields);
    std::string expectedScratch(text.size(), '\0');
    std::vector<std::string_view> expected;
    reference::ReferenceSplit(text.data(), text.data() + text.size(), delimiter, false, true,
                              expectedScratch.data(), expected);
    ASSERT_TRUE(SameFields(expected, text.data(), fields, text.data(), text.size()))
        << "record \"" << Escaped(text) << "\", delimiter \"" << Escaped({&delimiter, 1}) << '"';
}

struct Record {
    std::string text;
    std::vector<std::string> fields;
    std::int64_t openQuoteLine = -1;
};

// The whole input split as the reference splits it once every byte is in.
std::vector<Record> ReferenceRecords(const std::string& bytes, char delimiter) {
    std::vector<Record> records;
    std::string scratch(bytes.size(), '\0');
    std::vector<std::string_view> fields;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    while (p != end) {
        const reference::SplitResult split =
            reference::ReferenceSplit(p, end, delimiter, true, true, scratch.data(), fields);
        Record record;
        record.text.assign(p, split.textEnd);
        record.fields.assign(fields.begin(), fields.end());
        if (split.openQuote != nullptr) {
            record.openQuoteLine =
                engine::CountLineEnds({p, static_cast<std::size_t>(split.openQuote - p)});
        }
        records.push_back(std::move(record));
        p = split.next;
    }
    return records;
}

// Reads the file in blocks of `blockSize` bytes and checks each record
// against the reference's, fields that are views of the record's text
// included.
void ExpectReadAsReference(const std::string& path, const std::string& bytes, char delimiter,
                           std::size_t blockSize) {
    const std::vector<Record> expected = ReferenceRecords(bytes, delimiter);
    engine::ConversionSettings settings{};
    settings.delimiter = delimiter;
    engine::CsvInput input;
    ASSERT_TRUE(input.Open(path, settings, blockSize));
    engine::CsvRecord record;
    std::size_t count = 0;
    std::string scratch(bytes.size(), '\0');
    std::vector<std::string_view> expectedFields;
    while (input.ReadRecord(record)) {
        ASSERT_LT(count, expected.size()) << "more records than expected";
        const Record& want = expected[count];
        SCOPED_TRACE("record " + std::to_string(count) + " \"" + Escaped(want.text) + '"');
        ASSERT_EQ(record.text, want.text);
        ASSERT_EQ(record.openQuoteLine, want.openQuoteLine);
        // Split again from a copy of the text to learn where the reference's views lie.
        reference::ReferenceSplit(want.text.data(), want.text.data() + want.text.size(), delimiter,
                                  true, true, scratch.data(), expectedFields);
        ASSERT_EQ(std::vector<std::string>(record.fields.begin(), record.fields.end()),
                  want.fields);
        ASSERT_TRUE(SameFields(expectedFields, want.text.data(), record.fields, record.text.data(),
                               want.text.size()));
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

TEST(CsvSplit, AgreesWithPreviousSplitterOnRandomRecords) {
    RandomText random(20240611);
    for (int i = 0; i < 120000; ++i) {
        const std::string text = random.Make(200);
        ASSERT_NO_FATAL_FAILURE(ExpectSplitAsReference(text, random.Delimiter())) << "case " << i;
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

TEST(CsvSplit, AgreesWithPreviousSplitterAtWordEdges) {
    for (const std::size_t lead : kLeads) {
        for (const char delimiter : kDelimiters) {
            for (const std::string& text : WordEdgeRecords(delimiter, lead)) {
                ASSERT_NO_FATAL_FAILURE(ExpectSplitAsReference(text, delimiter));
            }
        }
    }
}

TEST(CsvSplit, ReadsWordEdgeFilesInTinyBlocksAsPreviousSplitterSplitsThem) {
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
            ASSERT_NO_FATAL_FAILURE(ExpectReadAsReference(path, bytes, delimiter, blockSize));
        }
    }
}

// Files longer than the bytes Open probes for the encoding, so that reading
// in tiny blocks cuts records all through them: each record is first split
// incomplete, then again once its bytes are in.
TEST(CsvSplit, ReadsRandomFilesInTinyBlocksAsPreviousSplitterSplitsThem) {
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
            ASSERT_NO_FATAL_FAILURE(ExpectReadAsReference(path, bytes, delimiter, blockSize));
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
            std::string scratch(bytes.size(), '\0');
            std::vector<std::string_view> expectedFields;
            const char* fileStart = nullptr;
            for (const HighRecord& want : records) {
                const std::int64_t offset = input.position();
                ASSERT_TRUE(input.ReadRecord(record));
                SCOPED_TRACE("record \"" + Escaped(want.raw) + '"');
                ASSERT_EQ(record.text, want.expected);
                reference::ReferenceSplit(want.expected.data(),
                                          want.expected.data() + want.expected.size(), ',', false,
                                          true, scratch.data(), expectedFields);
                ASSERT_EQ(record.fields, expectedFields);
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
