// SPDX-License-Identifier: MIT
// The settings record that drives a conversion, its fixed text buffers and
// named field values, defaults, copies, the INI files and the type-override
// table. The engine's text is UTF-8 throughout.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

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

// workbookType: the workbook's format.
inline constexpr std::int32_t kWorkbookXls = 0;   // BIFF8 .xls
inline constexpr std::int32_t kWorkbookXlsx = 1;  // Office Open XML .xlsx

// overwriteFile and overwriteTable: whether an existing workbook (sheet) is
// replaced. The SKIP spelling replaces as "on" does; it is kept apart so that
// the command-line export gives back what was typed.
inline constexpr std::int32_t kOverwriteOff = 0;   // add to the workbook, append to the sheet
inline constexpr std::int32_t kOverwriteOn = 1;    // replace it
inline constexpr std::int32_t kOverwriteSkip = 2;  // SKIP: replace it

// dateMode: the order of day, month and year in date fields. Any value
// other than the fixed and detected ones below is automatic, as kDateAuto.
inline constexpr std::int32_t kDateAuto = 0;                 // decided by the first date read
inline constexpr std::int32_t kDateMonthFirst = 1;           // MM.DD.YYYY
inline constexpr std::int32_t kDateDayFirst = 2;             // DD.MM.YYYY
inline constexpr std::int32_t kDateYearFirst = 3;            // YYYY.MM.DD
inline constexpr std::int32_t kDateCompact = 4;              // eight digits YYYYMMDD
inline constexpr std::int32_t kDateDetectedMonthFirst = 11;  // automatic, found month first
inline constexpr std::int32_t kDateDetectedDayFirst = 12;    // automatic, found day first
inline constexpr std::int32_t kDateDetectedYearFirst = 13;   // automatic, found year first

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

// ---- Defaults, copies and INI files ---------------------------------------------

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

// ---- The type-override table ----------------------------------------------------

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

}  // namespace engine
