// SPDX-License-Identifier: MIT
// Reading CSV input: records that may span lines inside quotes, fields split
// at one delimiter character with lenient double-quote rules, and text decoded
// to UTF-8 (UTF-8 and UTF-16 with byte-order marks, otherwise UTF-8 detected
// record by record with a fall-back to the legacy ANSI or OEM code page).
// Internal to the engine; the conversion run and the tests use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/settings.h"
#include "platform/code_pages.h"
#include "platform/files.h"

namespace engine {

// One record. Reuse the same object from record to record: its vector keeps
// its capacity, so reading allocates nothing once warm. The views stay valid
// until the next ReadRecord or until the input is closed.
struct CsvRecord {
    // The whole record in UTF-8 without its line end; line breaks inside
    // quotes are kept as the file has them. The field-types line is split
    // from this text at the delimiter alone, quotes not special.
    std::string_view text;
    // The fields in UTF-8, quotes removed; always at least one.
    std::vector<std::string_view> fields;
    // -1, or the record's line (0 its first) on which a quote opened that is
    // never closed: the record then runs to the end of the file.
    std::int64_t openQuoteLine = -1;
    // -1, or the field (0 its first) that grew longer than a cell holds
    // while the record was still coming in. Such a record is not kept: the
    // reader follows it to its end without storing it, so that one huge
    // line cannot fill memory. `text` is then empty, `fields` holds one
    // empty field, and openQuoteLine is set as for any record.
    std::int64_t overlongField = -1;
    // -1, or the field limit (see CsvInput::LimitFields) when the record has
    // more fields: the field (0 its first) where the sheet ends. `fields`
    // then holds only those before it. A record that grew past the limit
    // while still coming in is passed over like one with an overlong field
    // (`text` empty, one empty field), so that it cannot fill memory.
    std::int64_t fieldPastLimit = -1;
};

// Bytes per read(2) unless Open is told otherwise.
inline constexpr std::size_t kCsvBlockSize = std::size_t{1} << 20;

// Splits one record's text into fields. A quote opens a quoted field only at
// the field's start; inside, "" is one quote, a lone quote closes the field,
// and what follows the closing quote up to the delimiter is kept as it stands.
// A quote elsewhere is plain text. A quote still open at the end runs the
// field to the end. CR LF inside quotes becomes LF. Gives at least one field.
// Fields point into `text` or into `scratch`, which is grown to text.size()
// when smaller and must outlive the fields.
void SplitRecord(std::string_view text, char delimiter, std::string& scratch,
                 std::vector<std::string_view>& fields);

// The line ends in a record's text: LF, CR LF and a lone CR count one each.
std::int64_t CountLineEnds(std::string_view text);

// A CSV file opened for reading record by record. Owns its descriptor.
class CsvInput {
public:
    CsvInput() = default;
    CsvInput(CsvInput&&) noexcept = default;
    CsvInput& operator=(CsvInput&&) noexcept = default;
    CsvInput(const CsvInput&) = delete;
    CsvInput& operator=(const CsvInput&) = delete;
    ~CsvInput() = default;

    // Opens the file and takes from the settings the delimiter, `oemSource`
    // and `inputCodePage` (0 detects; 65001 forces UTF-8, invalid bytes then
    // becoming U+FFFD; 1200/1201 force UTF-16; any other page forces that
    // legacy page). A byte-order mark outranks `inputCodePage`. False when
    // the file cannot be opened (missing, a folder, unreadable) or the forced
    // code page is unknown; errorText() then says why. `blockSize` is the
    // number of bytes per read; tests make it small to put block seams
    // everywhere.
    [[nodiscard]] bool Open(const std::string& path, const ConversionSettings& settings,
                            std::size_t blockSize = kCsvBlockSize);

    // Reads the next record: LF, CR LF or a lone CR ends it unless inside
    // quotes, the last line needs no line end, and no empty record follows a
    // final line end. Records stay whole unless a field in them is longer
    // than a cell holds (see overlongField). False at the end of the file,
    // or on a read error, which errorText() then names.
    bool ReadRecord(CsvRecord& record);

    // The most fields a record may have: the columns of the sheet it goes
    // to. A record with more is marked (see fieldPastLimit), and no field
    // past the limit is kept. No limit until this is called.
    void LimitFields(std::size_t limit) { fieldLimit_ = limit; }

    // The start of the input that Open read, up to kDelimiterSampleBytes,
    // without taking it from the records: what FIELDS=AUTO looks at, so that
    // a pipe is read once. UTF-16 comes decoded to UTF-8; other encodings as
    // the bytes stand, since the delimiter, quotes and line ends are ASCII in
    // every page read and split the same before decoding as after. *cut
    // tells whether more of the input follows. Call before ReadRecord.
    std::string_view Start(bool* cut) const;

    // Splits the records from here on at `delimiter`.
    void SetDelimiter(char delimiter) { delimiter_ = delimiter; }

    // The file's size in bytes, measured once at Open (0 for pipes).
    std::int64_t size() const { return size_; }
    // The byte offset in the file just after the last record read; equals
    // size() once ReadRecord has returned false at the end of the file.
    std::int64_t position() const { return position_; }
    // Why Open or ReadRecord failed; empty otherwise.
    std::string_view errorText() const { return errorText_; }
    // What the input turned out to be: 65001 (UTF-8, also for plain ASCII),
    // 1200 or 1201 (UTF-16 LE/BE, with or without a byte-order mark), or the
    // legacy page once a record had to be decoded from it. Detection goes
    // record by record: a record that is valid UTF-8 is read as UTF-8.
    int codePage() const { return codePage_; }

private:
    enum class Encoding { kDetect, kUtf8, kLegacy, kUtf16Le, kUtf16Be };

    static bool LooksLikeUtf16(const char* bytes, std::size_t size, Encoding* encoding);
    bool Fail(std::string text);
    bool Fill();
    [[nodiscard]] bool ReadBytes(char* dst, std::size_t capacity, std::size_t* got);
    void DecodeUtf16Block();
    std::size_t ReadSize(std::size_t want) const;
    void EnsureRoom(std::size_t bytes);
    void DecodeLegacy(std::string_view text);
    std::size_t CharactersAtLeast(std::string_view field) const;
    bool FindOverlongField(std::vector<std::string_view>& fields, std::size_t* column);
    bool SkipRecord(CsvRecord& record, std::size_t column, bool pastFieldLimit);

    platform::File file_;
    std::size_t blockSize_ = kCsvBlockSize;
    char delimiter_ = ',';
    std::size_t fieldLimit_ = static_cast<std::size_t>(-1);
    Encoding encoding_ = Encoding::kDetect;
    int codePage_ = platform::kCodePageUtf8;
    int legacyPage_ = 1252;
    bool legacySingleByte_ = false;
    platform::SingleByteDecoder legacyDecoder_;

    std::vector<char> buffer_;  // bytes (UTF-8 after decoding for UTF-16 input)
    std::size_t begin_ = 0;     // start of the unread part of buffer_
    std::size_t end_ = 0;       // end of the valid part of buffer_
    std::string scratch_;       // unescaped quoted fields
    std::string decoded_;       // a record decoded from a legacy page
    std::string pendingRaw_;    // UTF-16 bytes not decoded yet
    std::string rawBlock_;      // UTF-16 block being decoded

    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
    std::int64_t bytesRead_ = 0;     // bytes read from the file so far
    std::int64_t bufferOffset_ = 0;  // file offset of buffer_[0] (byte encodings)
    bool endOfFile_ = false;
    bool failed_ = false;
    std::string errorText_;
};

}  // namespace engine
