// SPDX-License-Identifier: MIT
// CSV input. The file is read in large blocks; one pass over the buffer finds
// the record's end and splits its fields together, so unquoted fields and
// plain quoted ones point straight into the buffer and only fields holding
// doubled quotes or CR LF are copied (into scratch sized to the buffer). A
// record cut by the buffer's end is parsed again from its start once more
// bytes are in; the buffer grows when one record fills it.
#include "engine/csv_input.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "engine/legacy_page.h"
#include "engine/name_rules.h"
#include "platform/utf8.h"
#include "workbook/limits.h"

namespace engine {
namespace {

constexpr char kQuote = '"';

// Bytes the UTF-8 text took as UTF-16: two per character, four for those
// beyond U+FFFF. Used to report UTF-16 positions in file bytes.
std::int64_t Utf16Bytes(const char* p, const char* end) {
    std::int64_t bytes = 0;
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if ((c & 0xC0) != 0x80) {
            bytes += c >= 0xF0 ? 4 : 2;
        }
    }
    return bytes;
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

// Sixteen bytes as one vector, so that one compare looks at all of them:
// GCC and Clang make it SSE2 or NEON, or plain code on machines without
// either (32-bit x86 below SSE2). Vectors stay inside ByteFinder and never
// cross a call, whose ABI they would change on such machines.
using ByteBlock = signed char __attribute__((vector_size(16)));
// The same sixteen bytes as two words, for shifts across a word's bytes.
using WordPair = std::uint64_t __attribute__((vector_size(16)));

// Eight bytes from `p`, the first in the lowest byte whatever the machine.
inline std::uint64_t LoadWord(const char* p) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, 8);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    return word;
}

// Finds the bytes that matter to splitting: the stops (delimiter and, with
// line ends, LF and CR) and the quotes and CRs, sixty-four bytes at a time
// as two bit masks. The patterns are set up once per record.
class ByteFinder {
public:
    static constexpr std::ptrdiff_t kMaskBytes = 64;

    // Without line ends the delimiter stands in for LF and CR.
    ByteFinder(char delimiter, bool lineEnds)
        : delimiter_(kNone + Byte(delimiter)),
          lineEnd_(kNone + Byte(lineEnds ? '\n' : delimiter)),
          carriageReturn_(kNone + Byte(lineEnds ? '\r' : delimiter)),
          quote_(kNone + Byte(kQuote)),
          cr_(kNone + Byte('\r')) {}

    // Bit i of `stops` set when byte p[i] of [p, end) is a stop, and of
    // `quotes` when it is a quote or a CR, for the first kMaskBytes bytes;
    // bytes at or past `end` are neither read nor set. Returned by value,
    // so that the walker keeps its masks in registers.
    struct Found {
        std::uint64_t stops;
        std::uint64_t quotes;
        // One of the bytes has its high bit set: the bytes were loaded
        // anyway, so telling costs a few instructions, where a second pass
        // over the record would cost one for every eight bytes.
        bool high;
    };
    Found Masks(const char* p, const char* end) const {
        if (end - p >= kMaskBytes) {
            return FullMasks(p);
        }
        // The last bytes: a copy padded with zeros, whose bits are cut (a
        // zero may match; it never has its high bit set).
        char tail[kMaskBytes] = {};
        std::memcpy(tail, p, static_cast<std::size_t>(end - p));
        Found found = FullMasks(tail);
        const std::uint64_t inside = (std::uint64_t{1} << static_cast<unsigned>(end - p)) - 1;
        found.stops &= inside;
        found.quotes &= inside;
        return found;
    }

    // The first byte of [p, end), among its first kMaskBytes, with its high
    // bit set, or null. Only asked once Masks found one.
    static const char* FirstHigh(const char* p, const char* end) {
        constexpr std::uint64_t kHighs = 0x8080808080808080u;
        const char* stop = std::min(end, p + kMaskBytes);
        for (; stop - p >= 8; p += 8) {
            if (const std::uint64_t highs = LoadWord(p) & kHighs; highs != 0) {
                return p + (std::countr_zero(highs) >> 3);
            }
        }
        for (; p != stop; ++p) {
            if (static_cast<unsigned char>(*p) >= 0x80) {
                return p;
            }
        }
        return nullptr;
    }

private:
    // A scalar added to it lands in all sixteen places.
    static constexpr ByteBlock kNone = {};
    // The bit each byte's marks take in FullMasks: block k's stops and quotes.
    static constexpr ByteBlock kStopBit[4] = {kNone + 1, kNone + 2, kNone + 4, kNone + 8};
    static constexpr ByteBlock kQuoteBit[4] = {kNone + 16, kNone + 32, kNone + 64, kNone + (-128)};

    static signed char Byte(char c) { return static_cast<signed char>(c); }

    // The masks of the kMaskBytes bytes at `p`, from four blocks of sixteen.
    // Compares mark each byte all ones or zero; kept as one bit each, a
    // place's stop and quote marks in the four blocks fill one byte, and
    // turning each word of those as an 8 x 8 bit matrix gathers the marks of
    // eight bytes into one byte of a mask. Block k holds bytes 8k..8k+7 in
    // its first word and 32+8k..32+8k+7 in its second, so that the first
    // words give mask bytes 0..3 and the second words 4..7.
    Found FullMasks(const char* p) const {
        ByteBlock marks = kNone;
        ByteBlock any = kNone;
        for (int k = 0; k < 4; ++k) {
            const WordPair words = {LoadWord(p + 8 * k), LoadWord(p + 32 + 8 * k)};
            ByteBlock bytes;
            std::memcpy(&bytes, &words, sizeof bytes);
            any |= bytes;
            const ByteBlock stopBytes =
                (bytes == delimiter_) | (bytes == lineEnd_) | (bytes == carriageReturn_);
            const ByteBlock quoteBytes = (bytes == quote_) | (bytes == cr_);
            marks |= (stopBytes & kStopBit[k]) | (quoteBytes & kQuoteBit[k]);
        }
        // Copied rather than cast: std::bit_cast returns the vector from a
        // call, which changes the ABI without SSE2.
        WordPair bits;
        std::memcpy(&bits, &marks, sizeof bits);
        Transpose(bits);
        std::uint64_t anyWords[2];
        std::memcpy(anyWords, &any, sizeof anyWords);
        constexpr std::uint64_t kLow = 0xFFFFFFFFu;
        return {(bits[0] & kLow) | (bits[1] << 32), (bits[0] >> 32) | (bits[1] & ~kLow),
                ((anyWords[0] | anyWords[1]) & 0x8080808080808080u) != 0};
    }

    // Each word as an 8 x 8 bit matrix, byte r its row r: bit c of byte r
    // moves to bit r of byte c, by swapping ever larger blocks across the
    // diagonal. In place: a vector passed or returned by value would change
    // the call's ABI on machines without SSE2.
    static void Transpose(WordPair& x) {
        WordPair t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAu;
        x ^= t ^ (t << 7);
        t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCu;
        x ^= t ^ (t << 14);
        t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0u;
        x ^= t ^ (t << 28);
    }

    ByteBlock delimiter_, lineEnd_, carriageReturn_, quote_, cr_;
};

// Walks a record's stops, and inside quotes its quotes and CRs, in order,
// sixty-four bytes to a mask: finding where a field ends then waits on no
// load that the field before decided, and quoted text is not read twice.
class StopWalker {
public:
    StopWalker(const ByteFinder& finder, const char* p, const char* end)
        : finder_(finder), end_(end) {
        Load(p);
    }

    // The next stop not given yet, or `end` when none is left.
    const char* NextStop() {
        while (stops_ == 0) {
            if (!LoadNext()) {
                return end_;
            }
        }
        const char* stop = base_ + std::countr_zero(stops_);
        stops_ &= stops_ - 1;
        return stop;
    }

    // The first quote or CR at or after `p`, or `end`. Stops before it are
    // passed over.
    const char* NextQuoteOrCr(const char* p) {
        SkipTo(p);
        while (quotes_ == 0) {
            if (!LoadNext()) {
                return end_;
            }
        }
        return base_ + std::countr_zero(quotes_);
    }

    // Whether the bytes from the start up to `textEnd`, all of which the
    // walk has passed, are ASCII. Bytes loaded beyond it belong to the next
    // record and do not count.
    bool AsciiBefore(const char* textEnd) const {
        return firstHigh_ == nullptr || firstHigh_ >= textEnd;
    }

    // Goes on from `p`, passing over what comes before it.
    void SkipTo(const char* p) {
        if (p - base_ < ByteFinder::kMaskBytes) {
            const std::uint64_t from = ~std::uint64_t{0} << (p - base_);
            stops_ &= from;
            quotes_ &= from;
        } else {
            Load(p);
        }
    }

private:
    void Load(const char* p) {
        base_ = p;
        const ByteFinder::Found found = finder_.Masks(p, end_);
        stops_ = found.stops;
        quotes_ = found.quotes;
        if (found.high && firstHigh_ == nullptr) {
            // Masks come in order from the record's start, so the first
            // found is the record's first.
            firstHigh_ = ByteFinder::FirstHigh(p, end_);
        }
    }

    bool LoadNext() {
        if (end_ - base_ <= ByteFinder::kMaskBytes) {
            return false;
        }
        Load(base_ + ByteFinder::kMaskBytes);
        return true;
    }

    const ByteFinder& finder_;
    const char* end_;
    const char* base_ = nullptr;
    std::uint64_t stops_ = 0;
    std::uint64_t quotes_ = 0;
    const char* firstHigh_ = nullptr;  // the first byte seen with its high bit set
};

struct SplitResult {
    bool complete = false;            // false: the record runs past `end`; bring more bytes
    const char* textEnd = nullptr;    // the record's text ends here (line end excluded)
    const char* next = nullptr;       // the next record starts here
    const char* openQuote = nullptr;  // a quote never closed, which ran to the end
    bool ascii = false;               // the record's text is ASCII
};

// Where the next record starts after one that ends at `stop`: a line end, or
// `end`. A CR ends the record alone, as in classic Mac files, or with its LF.
inline const char* AfterRecordEnd(const char* stop, const char* end) {
    if (stop == end) {
        return end;
    }
    return stop + (*stop == '\r' && stop + 1 != end && stop[1] == '\n' ? 2 : 1);
}

// Splits the record at the start of [p, end) into `fields`. With `lineEnds`,
// an LF, a CR LF pair or a lone CR outside quotes ends the record; without,
// [p, end) is the whole record. Unless `final`, a record that would need a
// byte at or after `end` to be decided is reported incomplete. Copied
// fields go to `out`, which has room for end - p bytes.
SplitResult SplitFields(const char* p, const char* end, char delimiter, bool lineEnds, bool final,
                        char* out, std::vector<std::string_view>& fields) {
    fields.clear();
    const ByteFinder finder(delimiter, lineEnds);
    StopWalker walker(finder, p, end);
    // Whether the record ends at `stop` (a line end, or `end`) but a byte at or
    // after `end` is needed to tell: a CR as the last byte so far may be the
    // first half of CR LF.
    auto undecided = [&](const char* stop) {
        return !final && (stop == end || (*stop == '\r' && stop + 1 == end));
    };
    while (true) {
        if (p == end || *p != kQuote) {
            // Unquoted: a quote here is plain text.
            const char* stop = walker.NextStop();
            fields.emplace_back(p, static_cast<std::size_t>(stop - p));
            // Most fields end at a delimiter, which decides them. (After one as the
            // last byte so far, the empty field left decides whether the record is
            // complete.)
            if (stop != end && *stop == delimiter) {
                p = stop + 1;
                continue;
            }
            if (undecided(stop)) {
                return {};
            }
            return {true, stop, AfterRecordEnd(stop, end), nullptr, walker.AsciiBefore(stop)};
        }
        // Quoted: one walk finds quotes and the CRs of CR LF pairs, which lose the CR.
        FieldText text(out);
        const char* piece = p + 1;
        const char* scan = piece;
        while (true) {
            const char* hit = walker.NextQuoteOrCr(scan);
            if (hit == end) {
                if (!final) {
                    return {};
                }
                // A quote still open at the end of the input closes there.
                text.Add(piece, end);
                fields.push_back(text.View());
                return {true, end, end, p, walker.AsciiBefore(end)};
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
        walker.SkipTo(p);
        const char* stop = walker.NextStop();
        const bool atDelimiter = stop != end && *stop == delimiter;
        if (!atDelimiter && undecided(stop)) {
            return {};
        }
        text.Add(p, stop);
        fields.push_back(text.View());
        if (!atDelimiter) {
            return {true, stop, AfterRecordEnd(stop, end), nullptr, walker.AsciiBefore(stop)};
        }
        out = text.end();
        p = stop + 1;
    }
}

// Follows one record byte by byte, by SplitFields' rules for quotes and line
// ends, without keeping any of it: how a record too long to hold is passed
// over. Fed the record from its first byte on, in as many pieces as needed.
class RecordEndFinder {
public:
    explicit RecordEndFinder(char delimiter) : delimiter_(delimiter) {}

    // Gives the position just after the record's end in [p, end), its line
    // end included, or null when the record goes on past `end`.
    const char* Scan(const char* p, const char* end) {
        for (; p != end; ++p) {
            const char c = *p;
            // Line ends counted as CountLineEnds does: CR LF is one.
            if (c == '\r' || (c == '\n' && !afterCr_)) {
                ++lineEnds_;
            }
            afterCr_ = c == '\r';
            switch (state_) {
                case State::kFieldStart:
                    if (c == kQuote) {
                        state_ = State::kQuoted;
                        quoteLine_ = lineEnds_;
                        continue;
                    }
                    break;
                case State::kQuoted:
                    if (c == kQuote) {
                        state_ = State::kQuoteInQuoted;
                    }
                    continue;
                case State::kQuoteInQuoted:
                    if (c == kQuote) {  // a doubled quote: still inside
                        state_ = State::kQuoted;
                        continue;
                    }
                    break;  // closed; the byte counts as unquoted text
                case State::kCarriageReturn:
                    // The record ended at the CR; its LF, if any, goes with it.
                    return c == '\n' ? p + 1 : p;
                case State::kUnquoted:
                    break;
            }
            if (c == delimiter_) {
                state_ = State::kFieldStart;
            } else if (c == '\n') {
                return p + 1;
            } else if (c == '\r') {
                state_ = State::kCarriageReturn;
            } else {
                state_ = State::kUnquoted;
            }
        }
        return nullptr;
    }

    // Once the record ended, or the input did: the record's line on which a
    // quote opened that never closed, or -1.
    std::int64_t OpenQuoteLine() const { return state_ == State::kQuoted ? quoteLine_ : -1; }

private:
    enum class State { kFieldStart, kUnquoted, kQuoted, kQuoteInQuoted, kCarriageReturn };

    char delimiter_;
    State state_ = State::kFieldStart;
    bool afterCr_ = false;
    std::int64_t lineEnds_ = 0;
    std::int64_t quoteLine_ = -1;
};

}  // namespace

std::int64_t CountLineEnds(std::string_view text) {
    // Nearly every record is one line: the library's scan settles that at
    // a fraction of the cost of looking at each byte here.
    if (text.empty() || (std::memchr(text.data(), '\n', text.size()) == nullptr &&
                         std::memchr(text.data(), '\r', text.size()) == nullptr)) {
        return 0;
    }
    std::int64_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            ++count;
        }
    }
    return count;
}

void SplitRecord(std::string_view text, char delimiter, std::string& scratch,
                 std::vector<std::string_view>& fields) {
    if (scratch.size() < text.size()) {
        scratch.resize(text.size());
    }
    SplitFields(text.data(), text.data() + text.size(), delimiter, false, true, scratch.data(),
                fields);
}

// ---- Opening --------------------------------------------------------------------------

bool CsvInput::Fail(std::string text) {
    errorText_ = std::move(text);
    failed_ = true;
    return false;
}

bool CsvInput::Open(const std::string& path, const ConversionSettings& settings,
                    std::size_t blockSize) {
    *this = CsvInput();
    blockSize_ = std::max<std::size_t>(blockSize, 1);
    delimiter_ = settings.delimiter;

    std::string error;
    if (platform::OpenFileForReading(path, file_, error) != platform::FileStatus::kOk) {
        return Fail(std::move(error));
    }
    std::uint64_t size = 0;
    if (!file_.Size(&size)) {
        return Fail("Cannot open " + path + ": " + file_.ErrorText());
    }
    size_ = static_cast<std::int64_t>(size);

    // Enough bytes for any byte-order mark, to tell UTF-16 without one, and
    // to choose the legacy page.
    constexpr std::size_t kProbeBytes = kEncodingSampleBytes;
    buffer_.resize(std::max(2 * ReadSize(blockSize_) + 8, kProbeBytes));
    while (end_ < kProbeBytes && !endOfFile_) {
        std::size_t got = 0;
        if (!ReadBytes(buffer_.data() + end_, std::min(blockSize_, buffer_.size() - end_), &got)) {
            return false;
        }
        end_ += got;
    }

    // The legacy page: forced, or chosen from the first bytes.
    const int forced = settings.inputCodePage;
    const platform::SystemCodePages system = platform::GetSystemCodePages();
    legacyPage_ = forced != 0 ? forced
                              : ChooseLegacyPage(std::string_view(buffer_.data(), end_),
                                                 LegacySideOf(settings), system)
                                    .codePage;
    if (forced == 0 || (forced != platform::kCodePageUtf8 && forced != platform::kCodePageUtf16Le &&
                        forced != platform::kCodePageUtf16Be)) {
        legacySingleByte_ = legacyDecoder_.Open(legacyPage_);
        std::string probe;
        if (!legacySingleByte_ && !platform::ConvertToUtf8(legacyPage_, "", probe)) {
            if (forced != 0) {
                return Fail("Code page " + std::to_string(forced) + " is not supported");
            }
            // An unusable system setting: fall back to the common Western page.
            legacyPage_ = 1252;
            legacySingleByte_ = legacyDecoder_.Open(legacyPage_);
        }
    }
    const auto byte = [&](std::size_t i) {
        return i < end_ ? static_cast<unsigned char>(buffer_[i]) : 0u;
    };
    std::size_t utf16Start = 0;
    if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        encoding_ = Encoding::kUtf8;
        begin_ = 3;
    } else if (byte(0) == 0xFF && byte(1) == 0xFE) {
        encoding_ = Encoding::kUtf16Le;
        utf16Start = 2;
    } else if (byte(0) == 0xFE && byte(1) == 0xFF) {
        encoding_ = Encoding::kUtf16Be;
        utf16Start = 2;
    } else if (forced == 0 && LooksLikeUtf16(buffer_.data(), end_, &encoding_)) {
        // UTF-16 without a byte-order mark: NULs in every other byte.
    } else if (forced == platform::kCodePageUtf8) {
        encoding_ = Encoding::kUtf8;
    } else if (forced == platform::kCodePageUtf16Le) {
        encoding_ = Encoding::kUtf16Le;
    } else if (forced == platform::kCodePageUtf16Be) {
        encoding_ = Encoding::kUtf16Be;
    } else if (forced != 0) {
        encoding_ = Encoding::kLegacy;
    }
    switch (encoding_) {
        case Encoding::kUtf16Le:
            codePage_ = platform::kCodePageUtf16Le;
            break;
        case Encoding::kUtf16Be:
            codePage_ = platform::kCodePageUtf16Be;
            break;
        case Encoding::kLegacy:
            codePage_ = legacyPage_;
            break;
        default:
            codePage_ = platform::kCodePageUtf8;
            break;
    }
    if (encoding_ == Encoding::kUtf16Le || encoding_ == Encoding::kUtf16Be) {
        // From here on buffer_ holds decoded UTF-8; the raw bytes go through pendingRaw_.
        pendingRaw_.assign(buffer_.data() + utf16Start, end_ - utf16Start);
        position_ = static_cast<std::int64_t>(utf16Start);
        begin_ = end_ = 0;
        DecodeUtf16Block();
    }
    if (scratch_.size() < buffer_.size()) {
        scratch_.resize(buffer_.size());
    }
    return true;
}

// Whether the first bytes of a file without a byte-order mark are UTF-16:
// text with Latin letters, digits and punctuation has a NUL as the high byte
// of most units, and no other text has NULs. Sets *encoding when it is.
bool CsvInput::LooksLikeUtf16(const char* bytes, std::size_t size, Encoding* encoding) {
    const std::size_t units = std::min<std::size_t>(size, 4096) / 2;
    std::size_t evenNuls = 0;
    std::size_t oddNuls = 0;
    for (std::size_t i = 0; i < units; ++i) {
        evenNuls += bytes[2 * i] == '\0' ? 1 : 0;
        oddNuls += bytes[2 * i + 1] == '\0' ? 1 : 0;
    }
    // Units such as U+0100 or a low surrogate DC00 put a NUL on the other
    // side now and then; most NULs must be on one side, and at least every
    // other unit must have one (a stray NUL in 8-bit text does not).
    const std::size_t most = std::max(evenNuls, oddNuls);
    const std::size_t fewest = std::min(evenNuls, oddNuls);
    if (units == 0 || 2 * most < units || 8 * fewest >= most) {
        return false;
    }
    *encoding = oddNuls > evenNuls ? Encoding::kUtf16Le : Encoding::kUtf16Be;
    return true;
}

// ---- Reading --------------------------------------------------------------------------

bool CsvInput::ReadBytes(char* dst, std::size_t capacity, std::size_t* got) {
    if (!file_.Read(std::span<char>(dst, capacity), got)) {
        return Fail("Read error: " + file_.ErrorText());
    }
    if (*got == 0) {
        endOfFile_ = true;
    }
    bytesRead_ += static_cast<std::int64_t>(*got);
    return true;
}

// A regular file's remaining bytes bound the read (and so the buffer): small
// files get small buffers. One byte more finds the end, and the floor keeps
// a file that grows while we read from being read in tiny steps.
std::size_t CsvInput::ReadSize(std::size_t want) const {
    if (size_ <= 0) {
        return want;
    }
    constexpr std::size_t kFloor = 4096;
    const auto remaining = static_cast<std::size_t>(std::max<std::int64_t>(size_ - bytesRead_, 0));
    return std::min(want, std::max(remaining + 1, kFloor));
}

// Makes room for `bytes` more after end_: first by dropping what was read,
// then by growing.
void CsvInput::EnsureRoom(std::size_t bytes) {
    if (buffer_.size() - end_ >= bytes) {
        return;
    }
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        bufferOffset_ += static_cast<std::int64_t>(begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (buffer_.size() - end_ < bytes) {
        buffer_.resize(std::max(buffer_.size() * 2, end_ + bytes));
    }
}

// Decodes the complete UTF-16 units of pendingRaw_ into buffer_; a trailing
// odd byte or high surrogate waits for the next block unless the file ended.
void CsvInput::DecodeUtf16Block() {
    std::size_t usable = pendingRaw_.size() & ~std::size_t{1};
    if (!endOfFile_ && usable >= 2) {
        const bool bigEndian = encoding_ == Encoding::kUtf16Be;
        const auto high = static_cast<unsigned char>(pendingRaw_[usable - (bigEndian ? 2 : 1)]);
        if (high >= 0xD8 && high <= 0xDB) {
            usable -= 2;
        }
    }
    if (endOfFile_) {
        usable = pendingRaw_.size();
    }
    rawBlock_.clear();
    (void)platform::ConvertToUtf8(codePage_, std::string_view(pendingRaw_).substr(0, usable),
                                  rawBlock_);  // a Unicode page: cannot fail
    pendingRaw_.erase(0, usable);
    EnsureRoom(rawBlock_.size());
    std::memcpy(buffer_.data() + end_, rawBlock_.data(), rawBlock_.size());
    end_ += rawBlock_.size();
}

// Brings in more bytes. False only on a read error. Reads at least as much as
// the unfinished record already holds, so a record that keeps growing (an
// unbalanced quote can make the rest of the file one record) is parsed again
// only a logarithmic number of times.
bool CsvInput::Fill() {
    if (failed_) {
        return false;
    }
    if (endOfFile_) {
        return true;
    }
    const std::size_t want = ReadSize(std::max(blockSize_, end_ - begin_));
    std::size_t got = 0;
    if (encoding_ == Encoding::kUtf16Le || encoding_ == Encoding::kUtf16Be) {
        const std::size_t held = pendingRaw_.size();
        pendingRaw_.resize(held + want);
        if (!ReadBytes(pendingRaw_.data() + held, want, &got)) {
            return false;
        }
        pendingRaw_.resize(held + got);
        DecodeUtf16Block();
    } else {
        EnsureRoom(want);
        if (!ReadBytes(buffer_.data() + end_, want, &got)) {
            return false;
        }
        end_ += got;
    }
    // Unescaped fields never outgrow the bytes they come from.
    if (scratch_.size() < buffer_.size()) {
        scratch_.resize(buffer_.size());
    }
    return true;
}

void CsvInput::DecodeLegacy(std::string_view text) {
    decoded_.clear();
    if (legacySingleByte_) {
        legacyDecoder_.Decode(text, decoded_);
    } else if (!platform::ConvertToUtf8(legacyPage_, text, decoded_)) {
        (void)platform::ConvertToUtf8(platform::kCodePageUtf8, text, decoded_);  // cannot fail
    }
}

std::string_view CsvInput::Start(bool* cut) const {
    const std::size_t held = end_ - begin_;
    const std::size_t size = std::min(held, kDelimiterSampleBytes);
    const bool more = !pendingRaw_.empty() || !endOfFile_;
    *cut = size < held || more;
    return {buffer_.data() + begin_, size};
}

bool CsvInput::ReadRecord(CsvRecord& record) {
    if (!file_.IsOpen() || failed_) {
        return false;
    }
    SplitResult split;
    while (true) {
        if (begin_ == end_ && endOfFile_) {
            position_ = bytesRead_;
            return false;
        }
        split = SplitFields(buffer_.data() + begin_, buffer_.data() + end_, delimiter_, true,
                            endOfFile_, scratch_.data(), record.fields);
        if (split.complete) {
            break;
        }
        if (record.fields.size() > fieldLimit_) {
            return SkipRecord(record, fieldLimit_, true);
        }
        // A record that outgrew a cell may be one huge field: look before
        // reading on. Fill at least doubles the record each time, so these
        // looks cost no more than one more pass over it.
        std::size_t column = 0;
        if (end_ - begin_ > static_cast<std::size_t>(workbook::kMaxCellCharacters) &&
            FindOverlongField(record.fields, &column)) {
            return SkipRecord(record, column, false);
        }
        if (!Fill()) {
            return false;
        }
    }
    const char* start = buffer_.data() + begin_;
    record.text = std::string_view(start, static_cast<std::size_t>(split.textEnd - start));
    record.openQuoteLine = -1;
    record.overlongField = -1;
    record.fieldPastLimit = -1;
    if (split.openQuote != nullptr) {
        record.openQuoteLine = CountLineEnds(
            std::string_view(start, static_cast<std::size_t>(split.openQuote - start)));
    }

    // Delimiter, quotes and line ends are ASCII in every page we read, so a
    // record decoded after splitting splits the same way once decoded.
    bool decode = false;
    switch (encoding_) {
        case Encoding::kUtf16Le:
        case Encoding::kUtf16Be:
            break;  // decoded on the way in
        case Encoding::kUtf8:
            if (!split.ascii && !platform::IsValidUtf8(record.text)) {
                decoded_.clear();
                (void)platform::ConvertToUtf8(platform::kCodePageUtf8, record.text, decoded_);
                decode = true;
            }
            break;
        case Encoding::kDetect:
            // Each record on its own: files glued together from several
            // sources mix pages, and valid UTF-8 after a legacy line is
            // still UTF-8.
            if (!split.ascii && !platform::IsValidUtf8(record.text)) {
                codePage_ = legacyPage_;
                DecodeLegacy(record.text);
                decode = true;
            }
            break;
        case Encoding::kLegacy:
            if (!split.ascii) {
                DecodeLegacy(record.text);
                decode = true;
            }
            break;
    }
    if (decode) {
        record.text = decoded_;
        SplitRecord(record.text, delimiter_, scratch_, record.fields);
    }
    if (record.fields.size() > fieldLimit_) {
        record.fieldPastLimit = static_cast<std::int64_t>(fieldLimit_);
        record.fields.resize(fieldLimit_);
    }

    const std::size_t next = static_cast<std::size_t>(split.next - buffer_.data());
    if (encoding_ == Encoding::kUtf16Le || encoding_ == Encoding::kUtf16Be) {
        position_ += Utf16Bytes(buffer_.data() + begin_, split.next);
    } else {
        position_ = bufferOffset_ + static_cast<std::int64_t>(next);
    }
    begin_ = next;
    if (begin_ == end_ && endOfFile_) {
        position_ = bytesRead_;
    }
    return true;
}

// Fewest characters (UTF-16 units, as cells count them) that `field` can
// become once decoded. UTF-8 and single-byte pages give at least one per
// byte that is not a UTF-8 continuation byte; a multi-byte legacy page gives
// at least one per two bytes, and a record may be either.
std::size_t CsvInput::CharactersAtLeast(std::string_view field) const {
    std::size_t leads = 0;
    for (const char c : field) {
        leads += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    const bool mayBeMultiByte =
        !legacySingleByte_ && (encoding_ == Encoding::kDetect || encoding_ == Encoding::kLegacy);
    return mayBeMultiByte ? std::min(leads, field.size() / 2) : leads;
}

// Whether the unfinished record in the buffer already holds a field longer
// than a cell holds. Its last field is cut where the bytes end, which only
// makes it shorter, so a field found too long here is too long for sure.
bool CsvInput::FindOverlongField(std::vector<std::string_view>& fields, std::size_t* column) {
    SplitFields(buffer_.data() + begin_, buffer_.data() + end_, delimiter_, true, true,
                scratch_.data(), fields);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (CharactersAtLeast(fields[i]) > static_cast<std::size_t>(workbook::kMaxCellCharacters)) {
            *column = i;
            return true;
        }
    }
    return false;
}

// Reads on to the end of a record that cannot be written, one block at a
// time into the buffer it already has, keeping nothing of it. `column` is
// the overlong field, or with `pastFieldLimit` the first field past the limit.
bool CsvInput::SkipRecord(CsvRecord& record, std::size_t column, bool pastFieldLimit) {
    RecordEndFinder finder(delimiter_);
    const bool utf16 = encoding_ == Encoding::kUtf16Le || encoding_ == Encoding::kUtf16Be;
    while (true) {
        const char* start = buffer_.data() + begin_;
        const char* stop = buffer_.data() + end_;
        const char* after = finder.Scan(start, stop);
        const char* consumed = after != nullptr ? after : stop;
        if (utf16) {
            position_ += Utf16Bytes(start, consumed);
        }
        begin_ = static_cast<std::size_t>(consumed - buffer_.data());
        if (after != nullptr || endOfFile_) {
            break;
        }
        if (!Fill()) {
            return false;
        }
    }
    if (!utf16) {
        position_ = bufferOffset_ + static_cast<std::int64_t>(begin_);
    }
    if (begin_ == end_ && endOfFile_) {
        position_ = bytesRead_;
    }
    record.text = {};
    record.fields.assign(1, std::string_view());
    record.openQuoteLine = finder.OpenQuoteLine();
    record.overlongField = pastFieldLimit ? -1 : static_cast<std::int64_t>(column);
    record.fieldPastLimit = pastFieldLimit ? static_cast<std::int64_t>(column) : -1;
    return true;
}

}  // namespace engine
