// SPDX-License-Identifier: MIT
// The conversion engine's front header: the settings record that drives a
// conversion, the parameter language that fills it, value classification,
// the run log and the status file. The engine's text is UTF-8 throughout.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace workbook {
class Book;
}

namespace engine {

// Paths: the longest path Linux accepts (PATH_MAX, 4096 bytes with the
// terminator), which also holds long Windows paths in UTF-8. A longer path
// is refused, never cut: a cut name would write, or replace, another file.
inline constexpr std::size_t kPathCapacity = 4096;
// Characters that always fit a path buffer, however long their UTF-8: the
// limit of a field where a path is typed.
inline constexpr std::size_t kPathCharacters = (kPathCapacity - 1) / 4;
// Other capacities in bytes, each holding a number of characters of up to
// four UTF-8 bytes and a terminator; longer values are cut at a character
// boundary, never written past the buffer.
inline constexpr std::size_t kShortTextCharacters = 31;  // fields, numeric and boolean sets
inline constexpr std::size_t kShortTextCapacity = 4 * kShortTextCharacters + 1;
inline constexpr std::size_t kTableNameCharacters = 255;
inline constexpr std::size_t kTableNameCapacity = 4 * kTableNameCharacters + 1;
inline constexpr std::size_t kOrderTextCharacters = 99;
inline constexpr std::size_t kOrderTextCapacity = 4 * kOrderTextCharacters + 1;
// The type-override table has this many slots.
inline constexpr std::size_t kTypeOverrideSlots = 2048;

// A heap copy of a text owned by the record; null when not set.
using OwnedText = std::unique_ptr<char[]>;

// The one record that drives a conversion. Value-initialise it
// (`ConversionSettings s{};`), then SetDefaultSettings, LoadCommonSettings
// (program only) and ParameterParser. It is passed by address and cannot be
// copied except through CopySettings, which lists every field. Flags are
// signed 32-bit integers in which any non-zero value means on.
struct ConversionSettings {
    void* titleFont;                        // the wizard's title font; only the wizard uses it
    char inputPath[kPathCapacity];          // CSV/TXT file, or a wildcard pattern
    char outputPath[kPathCapacity];         // workbook to write
    std::int32_t oemSource;                 // input is in the OEM code page
    std::int32_t sourceCodePage;            // SOURCE=ANSI (1) / SOURCE=OEM (2)
    std::int32_t workbookType;              // 0 .xls, 1 .xlsx
    std::int32_t overwriteFile;             // 0 add to an existing workbook; 1, 2 replace it
    std::int32_t overwriteTable;            // 0 append to an existing sheet; 1, 2 replace it
    std::int32_t dropFlag;                  // recorded, shown by the command-line export
    std::int32_t hasHeader;                 // first line holds column titles
    std::int32_t importRecords;             // 0: prepare the sheet, read no line
    std::int32_t maxLength;                 // recorded, shown by the command-line export
    std::int32_t allCharacter;              // every field is a text cell
    char fieldsText[kShortTextCapacity];    // the FIELDS= value itself
    char delimiter;                         // field delimiter
    char numericChars[kShortTextCapacity];  // characters of a numeric field
    char booleanChars[kShortTextCapacity];  // one-character values that are logical
    char tableName[kTableNameCapacity];     // sheet name; empty: the input's base name
    std::int32_t dateMode;     // 0 auto, 1 MDY, 2 DMY, 3 YMD, 4 YYYYMMDD; 11-13 detected
    std::int32_t typesInFile;  // each input holds a field-types line
    OwnedText fieldTypes;      // FIELDTYPES= letters separated by ";"
    void* progressWindow;      // the wizard's progress page, or null
    OwnedText columnsText;     // COLUMNS= selection text
    std::int32_t firstColumn;  // COLUMNS= range start
    std::int32_t lastColumn;   // COLUMNS= range end
    std::array<OwnedText, kTypeOverrideSlots> typeOverrides;  // entries "column=letter"
    char orderText[kOrderTextCapacity];                       // ORDER= value, recorded
    std::atomic<std::int32_t> cancelRequested;  // set once by the UI; read before each record
    std::int32_t recordCount;                   // records converted so far
    std::int32_t logEnabled;                    // append entries to the run log
    std::int32_t openResult;                    // completion page's "Open new file" starts checked
    std::int32_t batchMode;                     // wizard pages advance by themselves
    std::int32_t waitAtEnd;                     // with BATCH, stop on the completion page
    std::int32_t silentMode;                    // no wizard: convert at once
    char statusPath[kPathCapacity];             // status file; empty: none
    std::int32_t inputCodePage;                 // CODEPAGE=: fixed input code page; 0 detects it
    std::int32_t workbookTypeGiven;  // TYPE= was given; otherwise the output name decides
    // DECIMAL=: '.' or ',' is the decimal separator and the other one only
    // groups thousands; '\0' reads a lone separator of either kind as decimal.
    char decimalSeparator;
    // Paths the parameters named that did not fit their buffer; each was
    // refused with a message on stderr, and nothing may be converted.
    std::int32_t refusedPaths;
    std::int32_t autoFit;        // AUTOFIT: column widths fit to the cells, on every sheet written
    std::int32_t freezeHeader;   // FREEZEHEADER: with HEADER=1, the title row stays in view
    std::int32_t autoFilter;     // AUTOFILTER: with HEADER=1, filter buttons on the title row
    std::int32_t splitRows;      // SPLITROWS: rows past a sheet's last row go on in new sheets
    std::int32_t autoDelimiter;  // FIELDS=AUTO: each input's first lines choose the delimiter
};

// ---- Fixed buffers ---------------------------------------------------------------

// Copies `src` into `dst`, cut to at most `maxCharacters` UTF-8 characters and
// to what fits before the terminator, never inside a character; always
// terminates. False when something was cut.
bool CopyText(std::span<char> dst, std::string_view src,
              std::size_t maxCharacters = static_cast<std::size_t>(-1));

// The text held in a fixed buffer, up to its terminator.
template <std::size_t N>
std::string_view TextOf(const char (&buffer)[N]) {
    std::size_t length = 0;
    while (length < N && buffer[length] != '\0') {
        ++length;
    }
    return {buffer, length};
}

// ---- Settings and the parameter language -----------------------------------------

// Gives a value-initialised record its defaults; touches nothing else.
void SetDefaultSettings(ConversionSettings* settings);
// Copies every setting of `from` into a value-initialised `to`, owned
// texts duplicated; the cancel flag stays clear. A field added to the record
// must be added here too.
void CopySettings(const ConversionSettings& from, ConversionSettings* to);
// A copy of `text` that `to` owns; null stays null.
OwnedText CopyOwnedText(const OwnedText& text);

// The program's own INI file: its path with the extension of the file name
// (if any) replaced by ".ini".
std::string ProgramIniPath(std::string_view programPath);

// The per-user INI file, read after the program's and written by the wizard's
// "Save new settings": <user config folder>/quendle.ini; empty when there is
// no such folder.
std::string UserIniPath();

// Reads "Log", "OverWrite", "Open", "AutoFit", "FreezeHeader", "AutoFilter"
// and "SplitRows" of section "Common" from the program's INI file, then from
// the per-user one, whose values win.
void LoadCommonSettings(ConversionSettings* settings);

// The same from the two files named; either may be empty or missing.
void LoadCommonSettingsFrom(ConversionSettings* settings, const std::string& programIni,
                            const std::string& userIni);

// Applies elements 1 to count-1 of the parameter list (element 0 is the
// program's name or a placeholder and is never examined). An element that
// starts with "/" or "-" and a value-taking keyword (STATUS=, TABLENAME=,
// FIELDS=, ...) is that option whatever it ends with; any other element
// ending in .csv or .txt names the input (the last one wins), and the first
// ending in .xls or .xlsx the workbook. Never fails: unknown elements are
// ignored.
void ParameterParser(ConversionSettings* settings, int count, const char* const* elements);

// As ParameterParser, with the program's path for the STATUS option given
// rather than looked up.
void ParameterParserFor(ConversionSettings* settings, int count, const char* const* elements,
                        std::string_view programPath);

// What a silent run tells about the parameters the parser ignored, one text
// each: unknown options, names that are neither an input nor a workbook
// (with the workbook actually written), a second workbook name, an input
// name that a later one replaced, and an input ending in .tsv. Call after
// ParameterParser on the same list.
std::vector<std::string> IgnoredParameterNotes(const ConversionSettings* settings, int count,
                                               const char* const* elements);

// Stores a copy of a "column=letter" entry in the first empty slot of the
// type-override table. A text without "=" or a full table stores nothing.
void AddTypeOverride(ConversionSettings* settings, std::string_view text);

// Stores "column=token" in slot `slot`, replacing what it held; entries
// longer than 127 bytes are cut. Out-of-range slots are ignored.
void SetTypeOverrideSlot(ConversionSettings* settings, std::size_t slot, std::size_t column,
                         std::string_view token);

// Reads a leading decimal integer as the C library's atoi does (blanks, an
// optional sign, digits up to the first non-digit; none gives 0), saturating
// instead of overflowing.
std::int32_t LeadingInteger(std::string_view text);

// The FIELDS= rule: stores the value (cut to kShortTextCharacters) in
// fieldsText, then sets the delimiter from it through DelimiterFromText,
// keeping the current delimiter when the value gives none. AUTO (any case)
// sets autoDelimiter instead and keeps the delimiter as the default; any
// other value clears autoDelimiter.
void SetFields(ConversionSettings* settings, std::string_view value);

// The delimiters an input's first lines are tried for, in this order.
inline constexpr std::array<char, 4> kDelimiterCandidates = {',', ';', '\t', '|'};
// How much of an input's start FIELDS=AUTO looks at: its first lines, up to
// kDelimiterSampleLines of them within kDelimiterSampleBytes bytes.
inline constexpr std::size_t kDelimiterSampleLines = 50;
inline constexpr std::size_t kDelimiterSampleBytes = 65536;

// The delimiter the first lines of `text` plainly use, or nothing when they
// give no clear answer. A candidate is plain when every line (up to
// kDelimiterSampleLines, blank ones aside) holds it equally often, and at
// least once, outside quoted fields; quotes are read as the reader reads
// them, so a quoted field may span lines. `preferred` wins when it is plain;
// otherwise the candidate plain most often per line, unless two tie. With
// `cut`, the text stops where a read limit cut it: a last line without a
// line end is left out, unless it is the only one.
std::optional<char> FindDelimiter(std::string_view text, char preferred, bool cut);

// The wizard's proposal: FindDelimiter's answer, or `current` when there is none.
char ProposeDelimiter(std::string_view text, char current);

// How messages name a delimiter: TAB, or the character in double quotes.
std::string DelimiterName(char delimiter);

// `name` with the suffix " (number)", the name cut before a character that
// does not fit whole so that the whole holds at most 31 UTF-16 units: the
// names of a batch's clashing sheets and of SPLITROWS's continuation sheets.
std::string NumberedSheetName(std::string_view name, int number);

// The delimiter a text names: "TAB" and "PIPE" (any case) the tab and the
// vertical bar, any other text its first character; `fallback` for an empty
// text and for one starting outside ASCII, since the splitter works on one byte.
char DelimiterFromText(std::string_view text, char fallback);

// A workbook name whose extension agrees with the workbook type: for .xlsx (1)
// a name ending in "xls" (any case) gets an "x", unless it already holds
// kPathCharacters characters; for .xls (0) a name ending in "xlsx" loses its
// last letter. Any other name comes back unchanged.
std::string AdaptExtension(std::string_view name, std::int32_t workbookType);

// ---- Value classification ------------------------------------------------------------

// Type letters.
inline constexpr char kCharacterType = 'c';
inline constexpr char kNumericType = 'n';
inline constexpr char kLogicalType = 'l';
inline constexpr char kDateType = 'd';

// The kind of a field by its own text, the first that holds: "" is 'c'; one
// character (a whole UTF-8 character) of booleanChars is 'l'; a text that
// DateValue reads as a date is 'd'; a text of numericChars that NumberValue reads is 'n';
// anything else is 'c'. May fix an automatic dateMode (through DateValue).
// `book` chooses the date system and may be null (1900 system).
char ClassifyField(ConversionSettings* settings, const workbook::Book* book,
                   std::string_view field);

// A field's kind with the value the run writes for it, read in one pass.
struct FieldValue {
    char letter = kCharacterType;  // ClassifyField's letter
    double value = 0.0;            // 'd': DateValue's; 'n': NumberValue's when hasNumber
    bool hasTime = false;          // 'd': the date has a time of day
    bool hasNumber = false;        // 'n': NumberValue reads it (false below the smallest double)
    // 'c': a date's shape, but no date in the order dateMode fixes; it may
    // be one in another order (DateOrdersOf tells).
    bool undatedDate = false;
};

// ClassifyField's letter, its side effect on dateMode included, and the
// value of a date or number as DateValue and NumberValue (with the settings'
// decimalSeparator) give it.
FieldValue ClassifyFieldValue(ConversionSettings* settings, const workbook::Book* book,
                              std::string_view field);

// The serial date number of a field in the settings' date order, or nothing
// when it is not a date (0 is a date: the first day of the 1904 system): after optional blanks,
// three runs of digits separated by two "." (else "/", else "-") with at most three characters
// between the separators; dateMode 4 reads eight digits YYYYMMDD, optionally after a quote. The
// date may be followed by " " or "T" and a time of day (hh:mm, hh:mm:ss, hh:mm:ss.fff), which is
// added to the number and sets *hasTime; anything else after it means the text is no date (a
// version such as 2020.12.07-1). Days and times that do not exist are no dates. An automatic
// dateMode (0 or any value not 1-4, 11-13) becomes 11, 12 or 13 on the first existing date, by its
// first number: above 31 year first, 13 to 31 day first, else month first.
std::optional<double> DateValue(ConversionSettings* settings, const workbook::Book* book,
                                std::string_view field, bool* hasTime = nullptr);

// Date orders, as bits of DateOrdersOf's answer.
inline constexpr unsigned kMonthFirst = 1;  // month, day, year (dateMode 1, 11)
inline constexpr unsigned kDayFirst = 2;    // day, month, year (dateMode 2, 12)
inline constexpr unsigned kYearFirst = 4;   // year, month, day (dateMode 3, 13)

// The orders of day, month and year in which a field with separators is a
// date, by DateValue's rules, as kMonthFirst | kDayFirst | kYearFirst; 0
// when it is a date in none. Changes nothing. 03.01.2024 gives
// kMonthFirst | kDayFirst; 15.02.2024 only kDayFirst.
unsigned DateOrdersOf(const workbook::Book* book, std::string_view field);

// The letter of the first type-override entry for `column` (its leading
// integer; entries without "=" never match), or `defaultLetter` when there is
// none or slot 0 is empty; '\0' for an entry with no letter after "=".
char LookupTypeOverride(const ConversionSettings* settings, std::int32_t column,
                        char defaultLetter);

// The type-override table as a per-column lookup for the conversion run:
// the same answers as LookupTypeOverride without walking the slots for every
// field. Rebuild it whenever the table changes.
class TypeOverrideIndex {
public:
    void Build(const ConversionSettings* settings);
    char Lookup(std::int32_t column, char defaultLetter) const {
        if (column < 0 || static_cast<std::size_t>(column) >= letters_.size() ||
            letters_[static_cast<std::size_t>(column)] < 0) {
            return defaultLetter;
        }
        return static_cast<char>(letters_[static_cast<std::size_t>(column)]);
    }
    // True when an entry names `column`.
    bool Has(std::int32_t column) const {
        return column >= 0 && static_cast<std::size_t>(column) < letters_.size() &&
               letters_[static_cast<std::size_t>(column)] >= 0;
    }

private:
    std::vector<int> letters_;  // by column: the entry's letter (0-255), or -1 for none
};

// Copies `text` into `dst` (at least text.size() + 1 bytes; a shorter buffer
// gets what fits) with every "," made "."; terminates. Gives the copy. Not
// the input of NumberValue, which needs the separators as written.
std::string_view DecimalCommaToPoint(std::string_view text, std::span<char> dst);

// Reads a field's own text as a well-formed number, to the nearest double:
// an optional "-", digits, at most one decimal separator followed by
// digits, optional grouping of thousands by the other separator. With
// `decimalSeparator` '\0' a lone separator is decimal (1,234 is 1.234),
// one repeated groups (1.234.567), and with both the last is decimal
// (1.234,56 and 1,234.56 are 1234.56). With '.' or ',' that one is the
// decimal separator and the other only groups (1,234 is 1234 with '.').
// False (and *value untouched) for anything else, for leading zeros (007),
// for integers of more than 15 digits, which a number cell would lose, and
// for longer decimals whose nearest double, printed with as many
// significant digits, shows other digits (12345678901234567.0).
[[nodiscard]] bool NumberValue(std::string_view text, double* value, char decimalSeparator = '\0');

// The value of a logical cell: false for an empty field and for one whose
// first character is N, n, F, f, 0 or the Cyrillic Н, н; true otherwise.
bool BooleanValue(std::string_view field);

// ---- Legacy code pages --------------------------------------------------------------

// Input that is neither Unicode by its byte-order mark nor UTF-16 is read
// record by record: a record that is valid UTF-8 as such, any other one in
// one legacy code page, which the lines of the file's first
// kEncodingSampleBytes bytes (up to a zero byte) that are not UTF-8 decide
// once: Windows-1251 or DOS 866 when they hold
// Cyrillic letters, else the system's ANSI or OEM page; of the pair, the
// OEM page when the settings say so or, when they say nothing, when the
// bytes hold more Cyrillic letters as 866 writes them than as 1251 does.
inline constexpr std::size_t kEncodingSampleBytes = 65536;
inline constexpr int kCyrillicAnsiPage = 1251;
inline constexpr int kCyrillicOemPage = 866;

// Which page of a pair the settings ask for.
enum class LegacySide { kByLetters, kAnsi, kOem };

struct LegacyPage {
    int codePage = 0;
    bool oem = false;  // the OEM page of its pair
};

// The balance of Cyrillic letters over the first kEncodingSampleBytes bytes,
// up to the first zero byte, in the lines (up to LF) that are not valid
// UTF-8: +1 for each of the 22 commonest Russian letters as code page 866
// writes them, -1 for each as code page 1251 writes them.
// `cyrillic` (may be null) tells whether the text looks Cyrillic at all:
// some such letter, and at least half as many bytes above 127 as ASCII
// letters, which accented Latin text does not reach.
int CyrillicBalance(std::string_view bytes, bool* cyrillic);

// The legacy page for a file that starts with `firstBytes`, by the rule above.
LegacyPage ChooseLegacyPage(std::string_view firstBytes, LegacySide side,
                            const platform::SystemCodePages& pages);

// SOURCE=OEM (or the wizard's OEM box) asks for the OEM page, SOURCE=ANSI
// for the ANSI page; otherwise the letters decide.
LegacySide LegacySideOf(const ConversionSettings& settings);

// ---- Run log and status file -----------------------------------------------------------

// Run-log message kinds; any other kind logs the caller's text.
enum LogKind : std::uint32_t {
    kLogStart = 0,         // "Start. %s -> %s"
    kLogStop = 1,          // "Stop. %d records have been imported."
    kLogCannotCreate = 2,  // "Cannot create output file."
    kLogCannotOverwrite = 3,
    kLogCannotCreateTable = 4,
    kLogOwnText = 5,  // the text passed in
};

// The run log's full path: <app-data folder>/wizards.log; empty when there is
// no app-data folder.
std::string RunLogPath();

// Appends one entry to the run log. Best effort: a log that cannot be opened
// or written loses the entry, and nothing is reported.
void WriteLogEntry(std::string_view writer, const ConversionSettings* settings, std::uint32_t kind,
                   std::string_view text);

// The same, to the log file named.
void WriteLogEntryTo(const std::string& logPath, std::string_view writer,
                     const ConversionSettings* settings, std::uint32_t kind, std::string_view text);

// Sets "Result" of section "QUENDLE" in the status file to `text` when a
// status file is named; the process's first status write to that file also
// sets "Records" and "Errors" to 0, so that no earlier run's counts stand
// beside this run's stages. Best effort: failures are ignored.
void WriteStatus(std::string_view text, const ConversionSettings* settings);

// The final status of a silent batch: "Records" (recordCount) and "Errors"
// (failed conversions) beside "Result", written before it, so that a reader
// that sees the final Result also sees the counts. Best effort.
void WriteFinalStatus(std::string_view text, const ConversionSettings* settings, int errors);

// ---- Conversion run and batch runner ------------------------------------------------

// How a run reports its progress to a window or a terminal. Every member may
// be null; a null reporter reports nothing.
struct ProgressReporter {
    void* context = nullptr;
    // The line under the progress bar: "<input> -> <output>".
    void (*showFiles)(void* context, std::string_view text) = nullptr;
    // Called once per header or data record with the input's byte position,
    // its size, the records converted so far and the run's start time.
    void (*showPosition)(void* context, std::int64_t position, std::int64_t size,
                         std::int32_t records, std::int64_t startTime) = nullptr;
    // Called once, before the workbook is loaded, when another conversion
    // holds it and the run waits for it (at most kWorkbookWait); the text
    // says so. The run then goes on, or fails with a message.
    void (*showWaiting)(void* context, std::string_view text) = nullptr;
};

// How long a run waits for another conversion of the same workbook, in
// this process or another, before it fails and leaves the workbook alone.
inline constexpr std::chrono::seconds kWorkbookWait{30};

// What a run had to say, kept rather than said: its status-file results,
// run-log entries and messages, in the order it said them. A batch that
// converts several inputs at once says each run's part in input order.
struct RunTranscript {
    enum class Kind { kStatus, kLog, kMessage };
    struct Entry {
        Kind kind;
        std::uint32_t logKind;  // kLog: the LogKind
        platform::MessageIcon icon;
        std::string caption;  // kMessage
        std::string text;
    };
    std::vector<Entry> entries;
};

// What a run did to its sheet, filled once the sheet is ready.
struct SheetOutcome {
    enum class Kind { kNone, kAdded, kAppended, kReplaced };
    Kind kind = Kind::kNone;
    std::string name;  // the sheet's name as the run used it
    int firstRow = 0;  // zero-based row of the first record the run writes
    // SPLITROWS: the sheets the records went on to once `name` was full, in
    // order; filled when the workbook was saved.
    std::vector<std::string> continued;
};

// Where a run sends what it has to say: message boxes (null: stderr),
// progress (null: none), and a transcript that takes the messages, the run
// log's entries and the status file's results instead (null: none); and
// where it notes what it did to its sheet (null: nowhere).
struct RunOwner {
    const platform::MessageSink* messages = nullptr;
    const ProgressReporter* progress = nullptr;
    RunTranscript* transcript = nullptr;
    SheetOutcome* sheet = nullptr;
    // Whether the run also says, through `messages`, what it chose or did
    // beyond its sheet: the delimiter FIELDS=AUTO took, the sheets SPLITROWS
    // went on to. Silent mode does; the library and the wizard keep quiet.
    bool notes = false;
};

enum class RunResult {
    kConverted,  // the workbook was saved
    kCancelled,  // stopped by cancelRequested; what was written is saved
    kNoInput,    // the input is a folder: nothing to convert, nothing said
    kFailed,     // a message said why; an existing workbook is as it was
};

// Converts settings->inputPath into one sheet of settings->outputPath (more
// with SPLITROWS) and saves the workbook. FIELDS=AUTO chooses the delimiter
// for this input only: the settings' delimiter is the same afterwards. Adds
// the records written to recordCount and may fill type-override slots.
// Failures are shown through owner->messages.
RunResult ConversionRun(const RunOwner* owner, ConversionSettings* settings);

// The sheet name a run uses: tableName, or the input's file name without its
// last extension; cut to 31 characters, with : \ / ? * [ ] made "_".
std::string SheetNameFor(const ConversionSettings* settings);

enum class BatchVariant {
    kProgram,  // no output name: a workbook beside each input
    kLibrary,  // the output name decides: one workbook, or one per file in a folder
};

struct BatchResult {
    int matched = 0;    // files the pattern matched (folders and dot-files left out)
    int converted = 0;  // runs that saved their workbook (cancelled ones included)
    int failed = 0;     // runs that failed
};

// Converts every file that settings->inputPath matches, in sorted order.
BatchResult BatchRunner(const RunOwner* owner, ConversionSettings* settings, BatchVariant variant);

}  // namespace engine
