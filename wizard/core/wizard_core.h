// SPDX-License-Identifier: MIT
// The wizard's behaviour without any toolkit: one model per page, the
// recent-file lists over an abstract store, the source preview, the run on
// the worker thread and the command-line export. A view binds its widgets to
// these models: it passes plain events in (text changed, box clicked, choice
// made, Next pressed) and, after each event, shows what the model exposes.
// Every model edits the one settings record in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/conversion_run.h"
#include "engine/legacy_page.h"
#include "engine/settings.h"
#include "platform/code_pages.h"
#include "platform/messages.h"
#include "platform/paths.h"

namespace wizard {

// A message box a model asks its view to show, owned by the page.
struct PageMessage {
    std::string caption;
    std::string text;
    platform::MessageIcon icon = platform::MessageIcon::kError;
};

// ---- Recent-file lists ------------------------------------------------------------

inline constexpr int kRecentItems = 10;
// A stored value longer than this reads as missing.
inline constexpr std::size_t kRecentValueCharacters = 254;

inline constexpr char kLastSourceValue[] = "LastCSVFile";
inline constexpr char kLastOutputValue[] = "LastXLS2File";
inline constexpr char kSourceList[] = "CSVfiles";
inline constexpr char kOutputList[] = "XLS2files";

// Where the wizard keeps its per-user names: string values by name.
// Implementations report no failures; a value that cannot be read is missing.
class RecentStore {
public:
    virtual ~RecentStore() = default;
    virtual std::optional<std::string> Read(std::string_view name) const = 0;
    virtual void Write(std::string_view name, std::string_view text) = 0;
};

// The stored text, or an empty text when the value is missing or holds more
// than kRecentValueCharacters characters.
std::string ReadWizardValue(const RecentStore& store, std::string_view name);

// The list's non-empty entries, position 0 (the most recent) first.
std::vector<std::string> RecentList(const RecentStore& store, std::string_view list);

// Puts `name` at position 0 of the list, removes its other copies in any
// letter case (A to Z), keeps the others in order and drops what falls past
// position 9. All ten positions are rewritten; unused ones hold empty texts.
void AddRecentItem(RecentStore& store, std::string_view list, std::string_view name);

// ---- Source preview and text encodings ---------------------------------------------

inline constexpr std::size_t kPreviewBytes = 655360;  // 640 KiB
inline constexpr std::size_t kDetectBytes = engine::kEncodingSampleBytes;
inline constexpr int kCyrillicAnsiPage = engine::kCyrillicAnsiPage;
inline constexpr int kCyrillicOemPage = engine::kCyrillicOemPage;

// One item of the source page's encoding choice. codePage 0 is "Automatic".
struct EncodingChoice {
    std::string name;
    int codePage = 0;
};

// Automatic, UTF-8, UTF-16, Windows-1251, DOS 866, Windows-1252, then the
// system's ANSI and OEM pages, and, when `givenCodePage` (CODEPAGE=) is none
// of these, one more item for it.
std::vector<EncodingChoice> EncodingChoices(const platform::SystemCodePages& pages,
                                            int givenCodePage);

// How legacy bytes are shown under the automatic choice.
enum class PreviewMode { kAsOem = 0, kAsAnsi = 1, kDetect = -1 };

struct Preview {
    bool legacy = false;  // automatic choice, neither Unicode nor UTF-8: the OEM box applies
    int oemSource = 0;    // with legacy: shown in the OEM page of the pair
    int legacyPage = 0;   // with legacy: the page the text was decoded from
    std::string text;     // UTF-8, up to the first zero character
};

// Decodes the first bytes of a file. A byte-order mark decides by itself.
// Otherwise a fixed `codePage` decodes the bytes; automatic (0) takes
// well-formed UTF-8 as such, and any other bytes as the conversion does:
// each line that is valid UTF-8 as such, the others in the legacy page
// engine::ChooseLegacyPage gives, whose pair's OEM page `mode` may ask for.
Preview DecodePreview(std::string_view bytes, int codePage, PreviewMode mode,
                      const platform::SystemCodePages& pages);

// ---- Welcome page -------------------------------------------------------------

class WelcomePageModel {
public:
    explicit WelcomePageModel(engine::ConversionSettings* settings) : m_settings(settings) {}
    // The page is shown: the first time it writes its status. True when
    // BATCH asks the view to press Next.
    bool Enter();

private:
    engine::ConversionSettings* m_settings;
    bool m_entered = false;
};

// ---- Source page ----------------------------------------------------------------

inline constexpr char kUnableToLoadText[] = "Unable to load this CSV file. ";

class SourcePageModel {
public:
    // `settings` and `store` must outlive the model.
    SourcePageModel(engine::ConversionSettings* settings, RecentStore* store,
                    const platform::SystemCodePages& pages);

    // The page is shown. The first time it takes the name from the command
    // line or the last one used, previews it and fills the recent list.
    // True when BATCH asks the view to press Next.
    bool Enter();
    // The name's edit text changed: a different non-empty text is taken and
    // previewed, without a message.
    void NameEdited(std::string_view text);
    // Typing ended (Enter, focus left) or a name was chosen from the list: a
    // name that cannot be opened is reported, once per name.
    void NameCommitted();
    void NameChosen(std::string_view text);
    // A file picked in the open dialog.
    void FileBrowsed(std::string_view path);
    // The OEM box was clicked: shows the other page of the pair.
    void OemClicked();
    void EncodingChosen(std::size_t index);
    // Next: refused (and BATCH ended) while the preview is empty; otherwise
    // the name is made absolute and remembered.
    bool Next();

    const std::string& nameText() const { return m_name; }
    const std::string& previewText() const { return m_preview.text; }
    bool oemEnabled() const { return m_preview.legacy; }
    bool oemChecked() const { return m_settings->oemSource != 0; }
    const std::vector<EncodingChoice>& encodings() const { return m_encodings; }
    std::size_t encodingIndex() const { return m_encodingIndex; }
    const std::vector<std::string>& recentNames() const { return m_recent; }
    bool nextEnabled() const { return !m_preview.text.empty(); }
    // Why the preview is blank for the current name, or an empty text.
    const std::string& previewNote() const { return m_note; }
    // The folder the open dialog starts in: the current name's, if any.
    std::string browseFolder() const;
    // A message waiting to be shown, taken once.
    std::optional<PageMessage> TakeMessage();

private:
    void TakeName(std::string_view name);
    void Load(PreviewMode mode);
    void ReportUnloadable();

    engine::ConversionSettings* m_settings;
    RecentStore* m_store;
    platform::SystemCodePages m_pages;
    std::vector<EncodingChoice> m_encodings;
    std::size_t m_encodingIndex = 0;
    std::vector<std::string> m_recent;
    std::string m_name;
    std::string m_bytes;  // the file's first kPreviewBytes
    Preview m_preview;
    bool m_entered = false;
    bool m_unloadable = false;
    std::string m_note;
    std::string m_reportedName;
    std::optional<PageMessage> m_message;
};

// ---- Output page ------------------------------------------------------------------

// The delimiter box takes at most this many characters; the numeric and
// boolean sets at most kCharacterSetLength.
inline constexpr std::size_t kDelimiterTextLength = 16;
inline constexpr std::size_t kCharacterSetLength = 30;

// List items in list order; the position is the stored value.
std::vector<std::string> WorkbookTypeItems();
std::vector<std::string> DateFormatItems();
// Automatic ('\0'), point ('.'), comma (',').
std::vector<std::string> DecimalSeparatorItems();

// The workbook beside the input with the input's base name: sales.csv gives
// sales.xlsx (type 1) or sales.xls (type 0). Empty for an empty input.
std::string ProposeOutputName(std::string_view inputPath, std::int32_t workbookType);

// `name` with the type's extension added when its file name has none.
std::string WithTypeExtension(std::string_view name, std::int32_t workbookType);

class OutputPageModel {
public:
    OutputPageModel(engine::ConversionSettings* settings, RecentStore* store);

    // The page is shown, with the source page's preview text. The first time
    // it fills the controls from the record, taking the name from the
    // command line, the last one used, or a proposal beside the input; later
    // it renews a proposal the user has not changed. True when BATCH asks
    // the view to press Next.
    bool Enter(std::string_view previewText);

    // The name's edit text changed; it is taken as typed.
    void NameEdited(std::string_view text);
    // Typing ended (the field was left, Enter pressed) or a name was chosen
    // from the list: the name's extension is brought in step with the type.
    void NameCommitted();
    // A name picked in the save dialog; its extension, if it has one of
    // ours, chooses the workbook type.
    void FileChosen(std::string_view path);
    void OverwriteFileClicked(bool on);
    void OverwriteTableClicked(bool on);
    void TypeChosen(int index);
    void DateChosen(int index);
    void DelimiterEdited(std::string_view text);
    void AllCharacterClicked(bool on);
    void TypesInFileClicked(bool on);
    void DecimalChosen(int index);
    void NumericEdited(std::string_view text) { m_numeric = text; }
    void BooleanEdited(std::string_view text) { m_boolean = text; }
    // Next: refused (BATCH ended) without a name, with an extension other
    // than .xls or .xlsx, or when its folder is missing or cannot be written
    // (with a message naming it); otherwise the name gets the type's
    // extension, is made absolute and remembered, and the character sets
    // are stored.
    bool Next();

    const std::string& nameText() const { return m_name; }
    bool overwriteFileChecked() const { return m_settings->overwriteFile != engine::kOverwriteOff; }
    bool overwriteTableChecked() const {
        return m_settings->overwriteTable != engine::kOverwriteOff;
    }
    int typeIndex() const { return m_settings->workbookType == engine::kWorkbookXlsx ? 1 : 0; }
    int dateIndex() const;
    const std::vector<std::string>& delimiterItems() const { return m_delimiterItems; }
    const std::string& delimiterText() const { return m_delimiterText; }
    bool allCharacterChecked() const { return m_settings->allCharacter != 0; }
    bool characterSetsEnabled() const { return m_settings->allCharacter == 0; }
    const std::string& numericText() const { return m_numeric; }
    const std::string& booleanText() const { return m_boolean; }
    bool typesInFileChecked() const { return m_settings->typesInFile != 0; }
    int decimalIndex() const;
    const std::vector<std::string>& recentNames() const { return m_recent; }
    bool nextEnabled() const { return !m_name.empty(); }
    // The folder the save dialog opens in: the current name's, made absolute.
    std::string saveFolder() const;
    std::optional<PageMessage> TakeMessage();

private:
    // After every event: takes the name into the record, its extension
    // first brought in step with the type unless the name is being typed.
    void TakeName(bool adaptExtension = true);

    engine::ConversionSettings* m_settings;
    RecentStore* m_store;
    std::vector<std::string> m_recent;
    std::vector<std::string> m_delimiterItems;
    std::string m_delimiterText;
    std::string m_name;
    std::string m_proposedName;  // the name this page proposed, while unchanged
    bool m_delimiterProposable = false;
    bool m_delimiterTouched = false;
    std::string m_numeric;
    std::string m_boolean;
    bool m_entered = false;
    std::optional<PageMessage> m_message;
};

// ---- Progress page and the run --------------------------------------------------------

// What the run reports, called on the worker thread. The view forwards each
// call to its own thread.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // "<input> -> <output>", once the run has opened its files; while the
    // run waits for a workbook another conversion holds, a text saying so.
    virtual void ShowFiles(std::string_view text) = 0;
    // The byte position reached, at most every kPositionIntervalMs and
    // always at the end of the input.
    virtual void ShowPosition(std::int64_t position, std::int64_t size) = 0;
    // The elapsed and estimated time, at most once a second.
    virtual void ShowTime(std::string_view text) = 0;
};

inline constexpr std::int64_t kPositionIntervalMs = 40;

// The elapsed and estimated time text, or an empty text when there is
// nothing to show yet (less than two seconds, or nothing done). The estimate
// is the whole run's duration, elapsed × total ÷ done, rounded down, without
// overflow for any sizes.
std::string TimeEstimateText(std::int64_t elapsedSeconds, std::int64_t done, std::int64_t total);

// Decides which progress reports go through, given the times they come at.
class ProgressThrottle {
public:
    // True when a position report is due: the first one, one at the end of
    // the input, or one kPositionIntervalMs after the last that went through.
    bool PositionDue(std::int64_t nowMs, std::int64_t position, std::int64_t size);
    // True when the time text may change: a new calendar second and some
    // progress made.
    bool TimeDue(std::int64_t nowSeconds, std::int64_t position);

private:
    std::optional<std::int64_t> m_lastPositionMs;
    std::int64_t m_lastSecond = 0;
};

enum class RunOutcome {
    kConverted,  // the workbook was saved
    kCancelled,  // stopped by the cancel flag; what was written is saved
    kFailed,     // nothing was saved; `reason` says why
};

struct RunReport {
    RunOutcome outcome = RunOutcome::kFailed;
    // With kFailed: the run's own message, or a general one, followed by the
    // system's reason on a line of its own where the run gave one.
    std::string reason;
    // The run's warnings (fields kept as text, a quote never closed), kept
    // for the completion page rather than shown while the run goes on.
    std::vector<std::string> warnings{};
    engine::SheetOutcome sheet{};  // what the run did to its sheet
};

// Clocks the run reads; tests give their own.
struct RunClocks {
    std::int64_t (*steadyMs)() = nullptr;   // a monotonic clock in milliseconds
    std::int64_t (*calendarS)() = nullptr;  // calendar time in seconds, as the run's start time
};
RunClocks SystemClocks();

// Runs the conversion on the calling thread (the worker's), reporting
// through `sink` and showing the run's messages through `messages`. This is
// the worker's entry: nothing escapes it; running out of memory or any other
// exception becomes a failure with its message.
RunReport RunConversion(engine::ConversionSettings* settings, const platform::MessageSink* messages,
                        ProgressSink* sink, const RunClocks& clocks);

// The progress page's rules around the worker the view starts.
class ProgressPageModel {
public:
    explicit ProgressPageModel(engine::ConversionSettings* settings) : m_settings(settings) {}
    // The page is shown. True the first time and after a failed run: the
    // view then starts one worker thread, which calls RunConversion. Writes
    // the run log's start entry before that thread exists.
    bool Enter();
    // The user cancels the wizard. While a run is on, the status says so and
    // the run stops before its next record, keeping what it has written.
    void Cancel();
    // The worker has returned with `report`.
    void Finished(RunReport report);

    bool running() const { return m_started && !m_finished; }
    bool finished() const { return m_finished; }
    // A run that failed has finished: Enter starts another.
    bool retryAllowed() const { return m_finished && m_report.outcome == RunOutcome::kFailed; }
    const RunReport& report() const { return m_report; }

private:
    engine::ConversionSettings* m_settings;
    bool m_started = false;
    bool m_finished = false;
    RunReport m_report;
};

// ---- Completion page ----------------------------------------------------------------

inline constexpr char kCommandLineCaption[] =
    "Press Ctrl-C to copy command line parameters to the clipboard";
inline constexpr char kCopiedText[] =
    "Copied to the clipboard as one line, ready to run in a terminal.";

class CompletionPageModel {
public:
    explicit CompletionPageModel(engine::ConversionSettings* settings);

    // The page is shown after the run. Writes the stop entry and the final
    // status; the first time it sets the boxes. True when BATCH without
    // WAIT asks the view to press Finish.
    bool Enter(const RunReport& report);
    void OpenClicked(bool on) { m_open = on && m_openEnabled; }
    void SaveClicked(bool on) { m_save = on; }

    // Finish: writes the INI keys when "Save new settings" is ticked (into
    // `userIniPath`, creating its folder); gives the workbook to open, or an
    // empty text when nothing is to be opened.
    std::string Finish(const std::string& userIniPath);

    // The page's heading, which the window's title repeats.
    const char* titleText() const { return m_failed ? "Conversion failed" : "Conversion complete"; }
    const std::string& resultText() const { return m_resultText; }
    // The line under it: the workbook, the sheet, and whether the sheet was
    // added, appended to (from which row) or replaced. Empty after a failure.
    const std::string& sheetText() const { return m_sheetText; }
    bool failed() const { return m_failed; }
    // After a failure Back leads to the output page, where the user can
    // correct the workbook's name or options and run again.
    bool backEnabled() const { return m_failed; }
    bool openEnabled() const { return m_openEnabled; }
    bool openChecked() const { return m_open; }
    bool saveChecked() const { return m_save; }

private:
    engine::ConversionSettings* m_settings;
    std::string m_resultText = "0 records have been exported.";
    std::string m_sheetText;
    bool m_entered = false;
    bool m_failed = false;
    bool m_openEnabled = true;
    bool m_open = false;
    bool m_save = false;
};

// Writes "Log", "OverWrite" and "Open" of section "Common" into the INI file
// named, creating its folder. Best effort: failures are ignored.
void SaveCommonSettings(const engine::ConversionSettings& settings, const std::string& iniPath);

// ---- Command-line export ---------------------------------------------------------------

// The parameters that repeat the conversion, in a fixed order, each piece
// followed by a blank (two after the NUMERIC= and BOOLEAN= values) and the
// closing "/SILENT " on a line of its own. Names are not quoted.
std::string CommandLineText(const engine::ConversionSettings& settings);

// The same parameters as separate arguments, blanks and line break dropped.
std::vector<std::string> CommandLineArguments(const engine::ConversionSettings& settings);

// One argument quoted so that the shell gives it back unchanged: POSIX sh
// single quotes, or the rules by which CommandLineToArgvW splits a line
// (quotes around blanks and shell characters, backslashes doubled before a
// quote, embedded quotes escaped).
std::string QuoteArgument(std::string_view argument, platform::ShellQuoting quoting);

// Why there is no ready-to-run command for cmd.exe: an argument (the
// program's path included) holds %, ! or ", which cmd.exe expands or takes
// as the end of quoting even inside quotes, so the line would not run as
// shown and could run another command. Empty for POSIX sh, and when every
// argument is safe.
std::string ReadyToRunRefusal(const engine::ConversionSettings& settings,
                              std::string_view programPath, platform::ShellQuoting quoting);

// The ready-to-run command: the program's full path and every argument,
// each quoted for the shell, on one line.
std::string ReadyToRunCommandLine(const engine::ConversionSettings& settings,
                                  std::string_view programPath, platform::ShellQuoting quoting);

}  // namespace wizard
