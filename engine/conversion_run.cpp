// SPDX-License-Identifier: MIT
// One conversion: a CSV file becomes one sheet of a new or existing workbook.
// A run that fails for any reason saves nothing, so an existing workbook is
// never left with part of the data or without sheets it had. The workbook is
// locked from its load to its save, so runs that meet on one workbook take
// turns and each finds the sheets of those before it.
#include "engine/conversion_run.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "engine/csv_input.h"
#include "engine/name_rules.h"
#include "engine/run_log.h"
#include "engine/settings.h"
#include "engine/text_util.h"
#include "engine/value_classifier.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "platform/workbook_lock.h"
#include "workbook/limits.h"
#include "workbook/workbook.h"

namespace engine {
namespace {

constexpr std::string_view kErrorCaption = "Error";
constexpr std::string_view kWriterName = "QUENDLE";
// The built-in number formats that show a serial number as a date, and as a
// date with its time of day.
constexpr int kDateNumberFormat = 14;
constexpr int kDateTimeNumberFormat = 22;

// Splits `text` at `separator` and gives the n-th entry to column n: it
// replaces the column's first type-override entry (the one lookups find),
// or takes the first empty slot. An empty entry names no type and leaves its
// column as it is; columns the text does not name keep their entries, those
// of CHANGETYPE included. Columns from the table's size on are not named.
void StoreTypeTokens(ConversionSettings* settings, std::string_view text, char separator) {
    constexpr std::size_t kNoSlot = kTypeOverrideSlots;
    // The slot of each column's first entry, found in one pass.
    std::vector<std::size_t> slotOf(kTypeOverrideSlots, kNoSlot);
    for (std::size_t slot = 0; slot < kTypeOverrideSlots; ++slot) {
        const OwnedText& entry = settings->typeOverrides[slot];
        if (!entry || std::strchr(entry.get(), '=') == nullptr) {
            continue;  // an entry without "=" never matches a column
        }
        const std::int32_t column = LeadingInteger(entry.get());
        if (column >= 0 && static_cast<std::size_t>(column) < kTypeOverrideSlots &&
            slotOf[static_cast<std::size_t>(column)] == kNoSlot) {
            slotOf[static_cast<std::size_t>(column)] = slot;
        }
    }
    std::size_t freeSlot = 0;
    std::size_t start = 0;
    for (std::size_t column = 0; column < kTypeOverrideSlots && start <= text.size(); ++column) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start) {
            std::size_t slot = slotOf[column];
            if (slot == kNoSlot) {
                while (freeSlot < kTypeOverrideSlots && settings->typeOverrides[freeSlot]) {
                    ++freeSlot;
                }
                slot = freeSlot;  // kNoSlot when the table is full: the entry is dropped
            }
            SetTypeOverrideSlot(settings, slot, column, text.substr(start, end - start));
        }
        start = end + 1;
    }
}

bool IsAutomaticDateOrder(std::int32_t dateMode) {
    return !(dateMode >= kDateMonthFirst && dateMode <= kDateCompact) &&
           !(dateMode >= kDateDetectedMonthFirst && dateMode <= kDateDetectedYearFirst);
}

class Run {
public:
    Run(const RunOwner* owner, ConversionSettings* settings)
        : messages_(owner != nullptr ? owner->messages : nullptr),
          progress_(owner != nullptr ? owner->progress : nullptr),
          transcript_(owner != nullptr ? owner->transcript : nullptr),
          sheetOutcome_(owner != nullptr ? owner->sheet : nullptr),
          notes_(owner != nullptr && owner->notes),
          s_(settings),
          inputPath_(TextOf(settings->inputPath)),
          outputPath_(TextOf(settings->outputPath)) {}

    RunResult Execute();

private:
    // Shows a failure and, with logging on, keeps it in the run log too, so
    // that unattended conversions leave a trace of why they failed.
    void Report(std::string_view caption, std::string_view text, platform::MessageIcon icon,
                bool log = true) const {
        if (log && s_->logEnabled != 0) {
            Log(kLogOwnText, std::string(caption) + ": " + std::string(text));
        }
        if (!Kept(RunTranscript::Kind::kMessage, 0, icon, caption, text)) {
            platform::ShowMessage(messages_, caption, text, icon);
        }
    }
    // The run log and the status file, or the transcript in their stead.
    void Log(std::uint32_t kind, std::string_view text) const {
        if (!Kept(RunTranscript::Kind::kLog, kind, platform::MessageIcon::kNone, {}, text)) {
            WriteLogEntry(kWriterName, s_, kind, text);
        }
    }
    void Status(std::string_view text) const {
        if (!Kept(RunTranscript::Kind::kStatus, 0, platform::MessageIcon::kNone, {}, text)) {
            WriteStatus(text, s_);
        }
    }
    // With a transcript, what the run says is kept there rather than said.
    bool Kept(RunTranscript::Kind kind, std::uint32_t logKind, platform::MessageIcon icon,
              std::string_view caption, std::string_view text) const {
        if (transcript_ == nullptr) {
            return false;
        }
        transcript_->entries.push_back(
            {kind, logKind, icon, std::string(caption), std::string(text)});
        return true;
    }
    void ShowError(std::string_view text, bool log = true) const {
        Report(kErrorCaption, text, platform::MessageIcon::kError, log);
    }
    // What the run chose or did beyond its sheet: in the run log with
    // logging on, and said only where the owner asks for notes.
    void Note(std::string_view caption, std::string_view text) const {
        if (s_->logEnabled != 0) {
            Log(kLogOwnText, std::string(caption) + ": " + std::string(text));
        }
        if (notes_ && !Kept(RunTranscript::Kind::kMessage, 0, platform::MessageIcon::kInformation,
                            caption, text)) {
            platform::ShowMessage(messages_, caption, text, platform::MessageIcon::kInformation);
        }
    }
    void ChooseDelimiter(CsvInput& input);
    bool LockWorkbook();
    bool OpenBook();
    bool FindOrAddSheet();
    void LayOut(workbook::Sheet* sheet, bool titled) const;
    bool ContinueOnNewSheet(bool titleRecord);
    void NoteSheets() const;
    void NoteSheet(SheetOutcome::Kind kind, const std::string& name) const;
    bool ConvertRecords(CsvInput& input);
    bool WriteField(int column, std::string_view field, bool asText);
    bool SheetStartsWithTitles(const std::vector<std::string_view>& fields) const;
    void SettleDateOrder(std::string_view field);
    unsigned LookAheadDateOrder() const;
    void ReportMisfitDates() const;
    void ReportFailedWrite(int column);
    void ReportOverlongField(std::int64_t column);
    void ReportLineFailure(std::int64_t column, std::string_view reason);
    std::string UnclosedQuoteText() const;

    const platform::MessageSink* messages_;
    const ProgressReporter* progress_;
    RunTranscript* transcript_;
    SheetOutcome* sheetOutcome_;
    bool notes_;
    ConversionSettings* s_;
    std::string inputPath_;
    std::string outputPath_;
    // The delimiter of this input: the settings' one, or what FIELDS=AUTO
    // found, which the settings do not keep, so that the next input of a
    // batch chooses afresh.
    char delimiter_ = s_->delimiter;
    platform::WorkbookLock lock_;  // released after the book, which may read the file
    workbook::BookPtr book_;
    workbook::Sheet* sheet_ = nullptr;
    std::string sheetName_;  // the run's first sheet
    bool appended_ = false;  // the first sheet was there: the rows go below its own
    // SPLITROWS: the sheets the records went on to, in order, and the number
    // the next one's name is tried with.
    std::vector<std::string> continued_;
    int nextSheetNumber_ = 2;
    std::vector<std::string> titles_;  // HEADER=1: the title line, for the sheets that follow
    const workbook::Format* dateFormat_ = nullptr;
    const workbook::Format* dateTimeFormat_ = nullptr;
    TypeOverrideIndex overrides_;
    // Typed fields are read while no date has fixed an automatic date order.
    bool dateOrderOpen_ = s_->allCharacter != 1 && IsAutomaticDateOrder(s_->dateMode);
    std::int64_t misfitDates_ = 0;  // fields kept as text for not fitting the date order
    int row_ = 0;
    std::int64_t line_ = 0;            // the input line where the current record starts
    std::int64_t openQuoteLine_ = -1;  // where a quote that is never closed opened
    bool cancelled_ = false;
    std::int64_t inputSize_ = 0;  // 0 for a pipe, which cannot be read twice
    bool waited_ = false;         // the lock had to wait, and the progress line said so
};

RunResult Run::Execute() {
    Status("Conversion In Progress");
    if (progress_ != nullptr && progress_->showFiles != nullptr) {
        progress_->showFiles(progress_->context, inputPath_ + " -> " + outputPath_);
    }
    if (platform::IsDirectory(inputPath_)) {
        return RunResult::kNoInput;
    }
    CsvInput input;
    if (!input.Open(inputPath_, *s_)) {
        ShowError("Cannot read the input file " + inputPath_ + ": " +
                  std::string(input.errorText()));
        return RunResult::kFailed;
    }
    inputSize_ = input.size();
    if (s_->autoDelimiter != 0) {
        ChooseDelimiter(input);
    }
    if (!LockWorkbook()) {
        // Cancelled while it waited: nothing was written, so nothing is saved.
        return cancelled_ ? RunResult::kCancelled : RunResult::kFailed;
    }
    if (!OpenBook() || !FindOrAddSheet()) {
        return RunResult::kFailed;
    }
    if (s_->importRecords != 0) {
        workbook::Format* format = workbook::AddFormat(book_.get());
        workbook::Format* timeFormat = workbook::AddFormat(book_.get());
        if (format == nullptr || timeFormat == nullptr) {
            ShowError("Cannot create the date format.");
            return RunResult::kFailed;
        }
        LayOut(sheet_, !appended_);
        workbook::SetNumFormat(format, kDateNumberFormat);
        workbook::SetNumFormat(timeFormat, kDateTimeNumberFormat);
        dateFormat_ = format;
        dateTimeFormat_ = timeFormat;
        if (s_->fieldTypes) {
            StoreTypeTokens(s_, s_->fieldTypes.get(), ';');
        }
        overrides_.Build(s_);
        if (!ConvertRecords(input)) {
            return RunResult::kFailed;
        }
    }
    if (!workbook::SaveBook(book_.get(), outputPath_)) {
        // The library's reason first, under the workbook's name, then the
        // run's own message.
        Report(outputPath_, workbook::ErrorMessage(book_.get()), platform::MessageIcon::kNone);
        ShowError(s_->workbookType == kWorkbookXlsx ? "Cannot save XLSX file."
                                                    : "Cannot save XLS file.");
        return RunResult::kFailed;
    }
    if (!continued_.empty()) {
        NoteSheets();
    }
    return cancelled_ ? RunResult::kCancelled : RunResult::kConverted;
}

// FIELDS=AUTO: the delimiter the input's first lines plainly use, by the
// rule of the wizard's proposal; the default one when they give no clear
// answer.
void Run::ChooseDelimiter(CsvInput& input) {
    bool cut = false;
    const std::string_view start = input.Start(&cut);
    const std::optional<char> found = FindDelimiter(start, s_->delimiter, cut);
    if (found) {
        delimiter_ = *found;
        input.SetDelimiter(*found);
        Note("Delimiter", DelimiterName(*found) + " (found in the input " + inputPath_ + ")");
    } else {
        Note("Delimiter", DelimiterName(s_->delimiter) + " (the default: the first lines of " +
                              inputPath_ + " show no clear delimiter)");
    }
}

void Run::NoteSheets() const {
    std::string names = "\"" + sheetName_ + "\"";
    for (const std::string& name : continued_) {
        names += ", \"" + name + "\"";
    }
    Note("Sheets", std::to_string(continued_.size() + 1) + " written from " + inputPath_ + " (" +
                       names + "): the records went on past the last row of a sheet.");
    if (sheetOutcome_ != nullptr) {
        sheetOutcome_->continued = continued_;
    }
}

bool Run::LockWorkbook() {
    platform::LockWaitNotice notice;
    notice.context = this;
    notice.cancel = &s_->cancelRequested;
    if (progress_ != nullptr && progress_->showWaiting != nullptr) {
        notice.waiting = [](void* context) {
            Run* run = static_cast<Run*>(context);
            run->waited_ = true;
            run->progress_->showWaiting(
                run->progress_->context,
                run->outputPath_ +
                    " is being changed by another conversion; this one waits for it (at most " +
                    std::to_string(kWorkbookWait.count()) + " seconds).");
        };
    }
    std::string error;
    const platform::LockStatus status = lock_.Acquire(outputPath_, kWorkbookWait, notice, error);
    if (status == platform::LockStatus::kCancelled) {
        cancelled_ = true;
        return false;
    }
    if (status != platform::LockStatus::kOk) {
        ShowError(error);
        return false;
    }
    if (waited_ && progress_->showFiles != nullptr) {
        progress_->showFiles(progress_->context, inputPath_ + " -> " + outputPath_);
    }
    return true;
}

bool Run::OpenBook() {
    book_.reset(workbook::CreateBook(s_->workbookType == kWorkbookXlsx ? workbook::BookKind::kXlsx
                                                                       : workbook::BookKind::kXls));
    if (!book_) {
        if (s_->logEnabled != 0) {
            Log(kLogCannotCreate, "");
        }
        ShowError("Cannot create XLS file.", false);  // logged above in its own words
        return false;
    }
    (void)workbook::SetLocale(book_.get(), "");
    // With OVERWRITE the workbook is not loaded: the save replaces the old
    // file only once the new one is complete, so a failed run loses nothing.
    if (s_->overwriteFile == kOverwriteOff && platform::PathExists(outputPath_)) {
        if (!workbook::LoadBook(book_.get(), outputPath_)) {
            ShowError("Cannot open the existing workbook " + outputPath_ + ": " +
                      workbook::ErrorMessage(book_.get()) + " The workbook was left unchanged.");
            return false;
        }
    }
    return true;
}

bool Run::FindOrAddSheet() {
    const std::string name = SheetNameFor(s_);
    for (int i = 0; i < workbook::SheetCount(book_.get()); ++i) {
        workbook::Sheet* sheet = workbook::GetSheet(book_.get(), i);
        if (sheet == nullptr || !workbook::SameSheetName(workbook::SheetName(sheet), name)) {
            continue;
        }
        sheetName_ = name;
        if (s_->overwriteTable == kOverwriteOff) {
            sheet_ = sheet;
            row_ = workbook::LastRow(sheet);
            appended_ = true;
            NoteSheet(SheetOutcome::Kind::kAppended, name);
            return true;
        }
        // The new sheet takes the old one's place, so that the tab order,
        // the shown tab and what refers to sheets by place stay as they were.
        sheet_ = workbook::ReplaceSheet(book_.get(), i, name);
        if (sheet_ == nullptr) {
            ShowError("Cannot replace the sheet " + name + ": " +
                      workbook::ErrorMessage(book_.get()));
            return false;
        }
        row_ = 0;
        NoteSheet(SheetOutcome::Kind::kReplaced, name);
        return true;
    }
    sheetName_ = name;
    sheet_ = workbook::AddSheet(book_.get(), name);
    if (sheet_ == nullptr) {
        ShowError("Cannot create a sheet.");
        return false;
    }
    row_ = 0;
    NoteSheet(SheetOutcome::Kind::kAdded, name);
    return true;
}

// The layout options, before the sheet's first write. The title row's pane
// and filter go only on a sheet that the run's title line heads, never on
// one the rows are appended below.
void Run::LayOut(workbook::Sheet* sheet, bool titled) const {
    if (s_->autoFit != 0) {
        workbook::SetAutoFit(sheet, true);
    }
    if (titled && s_->hasHeader == 1) {
        if (s_->freezeHeader != 0) {
            workbook::FreezeRows(sheet, 1);
        }
        if (s_->autoFilter != 0) {
            workbook::SetAutoFilter(sheet, 0);
        }
    }
}

// SPLITROWS: the current sheet is full; the records go on in the next sheet
// named after the first, with " (2)", " (3)" and so on. Replacing, the
// sheet of that name is replaced in place: it holds the rest of the table
// being replaced. Otherwise a name no sheet has is used and no other sheet
// is touched. With HEADER=1 the sheet starts with the title line, unless
// the record that goes there is the title line itself.
bool Run::ContinueOnNewSheet(bool titleRecord) {
    const bool replace = s_->overwriteTable != kOverwriteOff;
    workbook::Sheet* sheet = nullptr;
    std::string name;
    for (;; ++nextSheetNumber_) {
        name = NumberedSheetName(sheetName_, nextSheetNumber_);
        int index = -1;
        for (int i = 0; i < workbook::SheetCount(book_.get()) && index < 0; ++i) {
            const workbook::Sheet* other = workbook::GetSheet(book_.get(), i);
            if (other != nullptr && workbook::SameSheetName(workbook::SheetName(other), name)) {
                index = i;
            }
        }
        if (index < 0) {
            sheet = workbook::AddSheet(book_.get(), name);
            break;
        }
        if (replace) {
            sheet = workbook::ReplaceSheet(book_.get(), index, name);
            break;
        }
    }
    ++nextSheetNumber_;
    if (sheet == nullptr) {
        ShowError("Line " + std::to_string(line_) + " of " + inputPath_ + ": the sheet " +
                  (continued_.empty() ? sheetName_ : continued_.back()) +
                  " is full, and the sheet " + name + " for the rows that follow cannot be " +
                  (replace ? "made: " : "added: ") + workbook::ErrorMessage(book_.get()) +
                  " Nothing was saved, so no workbook lacks part of the data.");
        return false;
    }
    sheet_ = sheet;
    row_ = 0;
    continued_.push_back(name);
    LayOut(sheet_, true);
    if (s_->hasHeader == 1 && !titleRecord) {
        for (std::size_t column = 0; column < titles_.size(); ++column) {
            const int columnNumber = static_cast<int>(column);
            if (!WriteField(columnNumber, titles_[column], true)) {
                ReportFailedWrite(columnNumber);
                return false;
            }
        }
        row_ = 1;
    }
    return true;
}

void Run::NoteSheet(SheetOutcome::Kind kind, const std::string& name) const {
    if (sheetOutcome_ != nullptr) {
        *sheetOutcome_ = SheetOutcome{kind, name, row_, {}};
    }
}

bool Run::ConvertRecords(CsvInput& input) {
    const std::int64_t startTime = static_cast<std::int64_t>(std::time(nullptr));
    const bool reportPosition = progress_ != nullptr && progress_->showPosition != nullptr;
    bool firstRecord = true;
    bool typesLinePending = s_->typesInFile != 0;
    // A record cannot bring more fields than the sheet has columns; the
    // reader gives up a longer one rather than hold all of its fields.
    const bool xlsx = workbook::KindOf(book_.get()) == workbook::BookKind::kXlsx;
    const int columns = xlsx ? workbook::kXlsxMaxColumns : workbook::kXlsMaxColumns;
    const int rows = xlsx ? workbook::kXlsxMaxRows : workbook::kXlsMaxRows;
    input.LimitFields(static_cast<std::size_t>(columns));
    CsvRecord record;
    std::int64_t nextLine = 1;
    for (;;) {
        if (s_->cancelRequested.load(std::memory_order_relaxed) != 0) {
            cancelled_ = true;
            break;
        }
        if (!input.ReadRecord(record)) {
            break;
        }
        line_ = nextLine;
        nextLine += 1 + CountLineEnds(record.text);
        if (record.openQuoteLine >= 0) {
            openQuoteLine_ = line_ + record.openQuoteLine;
        }
        if (record.overlongField >= 0) {
            ReportOverlongField(record.overlongField);
            return false;
        }
        const bool header = firstRecord && s_->hasHeader == 1;
        const bool typesLine = !header && typesLinePending;
        // A types line may name more columns than the sheet has, as long as
        // the reader kept its text.
        if (record.fieldPastLimit >= 0 && (!typesLine || record.text.empty())) {
            ReportLineFailure(
                record.fieldPastLimit,
                "The line has more fields than the " + std::to_string(columns) +
                    (xlsx ? " columns of an .xlsx sheet." : " columns of an .xls sheet."));
            return false;
        }
        if (typesLine) {
            typesLinePending = false;
            StoreTypeTokens(s_, record.text, delimiter_);
            overrides_.Build(s_);
            continue;
        }
        if (header && s_->splitRows != 0) {
            titles_.assign(record.fields.begin(), record.fields.end());
        }
        if (header && row_ > 0 && SheetStartsWithTitles(record.fields)) {
            // Rows go below a sheet that starts with these very titles: they
            // are not written again, and a line not written is not counted
            // in recordCount either.
            firstRecord = false;
            continue;
        }
        if (reportPosition) {
            progress_->showPosition(progress_->context, input.position(), input.size(),
                                    s_->recordCount, startTime);
        }
        // Without SPLITROWS a row past the last one fails below as it
        // always did, naming the limit.
        if (row_ >= rows && s_->splitRows != 0 && !ContinueOnNewSheet(header)) {
            return false;
        }
        const bool asText = header || s_->allCharacter == 1;
        for (std::size_t column = 0; column < record.fields.size(); ++column) {
            const int columnNumber = static_cast<int>(std::min<std::size_t>(column, INT32_MAX));
            if (!WriteField(columnNumber, record.fields[column], asText)) {
                ReportFailedWrite(columnNumber);
                return false;
            }
        }
        firstRecord = false;
        ++row_;
        ++s_->recordCount;
    }
    if (!input.errorText().empty()) {
        ShowError("Cannot read the input file " + inputPath_ + ": " +
                  std::string(input.errorText()) + " Nothing was saved.");
        return false;
    }
    if (openQuoteLine_ >= 0) {
        // The data is kept as read, but a stray quote usually means the
        // file is damaged, and it must not go unnoticed.
        Report("Warning",
               inputPath_ + ": " + UnclosedQuoteText() +
                   " The rest of the file became one field of the last record.",
               platform::MessageIcon::kWarning);
    }
    if (misfitDates_ > 0) {
        ReportMisfitDates();
    }
    return true;
}

// Whether the sheet's first row holds the texts of `fields`, empty ones at
// the end aside; a line of empty titles matches nothing.
bool Run::SheetStartsWithTitles(const std::vector<std::string_view>& fields) const {
    std::vector<std::string> titles;
    if (!workbook::FirstRowTexts(sheet_, titles)) {
        return false;
    }
    const auto used = [](const auto& texts) {
        std::size_t count = texts.size();
        while (count > 0 && texts[count - 1].empty()) {
            --count;
        }
        return count;
    };
    const std::size_t count = used(fields);
    return count > 0 && count == used(titles) &&
           std::equal(fields.begin(), fields.begin() + static_cast<std::ptrdiff_t>(count),
                      titles.begin());
}

// The first date fixes an automatic order. One that reads either way
// (03.01.2024) would fix month first, and a day-first file would come out
// with the wrong dates and its days past 12 as text, so the input is read
// on to the first date that tells.
void Run::SettleDateOrder(std::string_view field) {
    const unsigned orders = DateOrdersOf(book_.get(), field);
    if ((orders & kMonthFirst) == 0 || (orders & kDayFirst) == 0) {
        return;
    }
    if (LookAheadDateOrder() == kDayFirst) {
        s_->dateMode = kDateDetectedDayFirst;
    }
}

// Whether the first date in the input that reads only one way of day and
// month reads day first (kDayFirst) or month first (kMonthFirst); 0 when no
// date tells. A date written year first (2024-01-03) tells nothing of the
// two. Reads the input again from its start, a
// block at a time, as the run reads it (the records before the current one
// hold no date); a pipe cannot be read twice and gives 0.
unsigned Run::LookAheadDateOrder() const {
    // Opening a pipe again would take bytes from the run's own reading.
    if (inputSize_ <= 0) {
        return 0;
    }
    CsvInput ahead;
    if (!ahead.Open(inputPath_, *s_) || ahead.size() == 0) {
        return 0;
    }
    ahead.SetDelimiter(delimiter_);
    CsvRecord record;
    bool first = true;
    bool typesLinePending = s_->typesInFile != 0;
    while (s_->cancelRequested.load(std::memory_order_relaxed) == 0 && ahead.ReadRecord(record)) {
        const bool header = first && s_->hasHeader == 1;
        first = false;
        if (header || typesLinePending) {
            typesLinePending = typesLinePending && header;
            continue;
        }
        for (const std::string_view field : record.fields) {
            const unsigned orders = DateOrdersOf(book_.get(), field) & (kMonthFirst | kDayFirst);
            if (orders == kMonthFirst || orders == kDayFirst) {
                return orders;
            }
        }
    }
    return 0;
}

void Run::ReportMisfitDates() const {
    const std::int32_t mode = s_->dateMode;
    const char* order = mode == kDateMonthFirst || mode == kDateDetectedMonthFirst ? "MM.DD.YYYY"
                        : mode == kDateDayFirst || mode == kDateDetectedDayFirst   ? "DD.MM.YYYY"
                                                                                   : "YYYY.MM.DD";
    const bool one = misfitDates_ == 1;
    Report("Warning",
           inputPath_ + ": " + std::to_string(misfitDates_) +
               (one ? " field that looks like a date does" : " fields that look like dates do") +
               " not fit the date order " + order + " and " + (one ? "was" : "were") +
               " kept as text.",
           platform::MessageIcon::kWarning);
}

std::string Run::UnclosedQuoteText() const {
    return "The quote opened on line " + std::to_string(openQuoteLine_) + " is never closed.";
}

bool Run::WriteField(int column, std::string_view field, bool asText) {
    workbook::Sheet* sheet = sheet_;
    bool misfit = false;
    if (!asText) {
        // The classification reads the value too; a column forced to another
        // type reads the field again as that type.
        FieldValue read = ClassifyFieldValue(s_, book_.get(), field);
        if (dateOrderOpen_ && !IsAutomaticDateOrder(s_->dateMode)) [[unlikely]] {
            dateOrderOpen_ = false;
            SettleDateOrder(field);
            read = ClassifyFieldValue(s_, book_.get(), field);
        }
        const char letter = overrides_.Lookup(column, read.letter);
        // A column forced to text keeps its dates as text by choice.
        misfit = read.undatedDate && (letter != kCharacterType || !overrides_.Has(column)) &&
                 DateOrdersOf(book_.get(), field) != 0;
        switch (letter) {
            case 'd':
            case 'D': {
                bool hasTime = read.hasTime;
                const std::optional<double> date =
                    read.letter == kDateType ? std::optional<double>(read.value)
                                             : DateValue(s_, book_.get(), field, &hasTime);
                // A text that is no date keeps its text rather than vanish.
                if (date) {
                    return workbook::WriteNumber(sheet, row_, column, *date,
                                                 hasTime ? dateTimeFormat_ : dateFormat_);
                }
                break;
            }
            case 'l':
            case 'L':
                return workbook::WriteBool(sheet, row_, column, BooleanValue(field), nullptr);
            case 'n':
            case 'N': {
                double number = read.value;
                // A text that is no number keeps its text rather than become 0.
                if (read.letter == kNumericType
                        ? read.hasNumber
                        : NumberValue(field, &number, s_->decimalSeparator)) {
                    return workbook::WriteNumber(sheet, row_, column, number, nullptr);
                }
                break;
            }
            default:
                break;
        }
    }
    misfitDates_ += misfit ? 1 : 0;
    return workbook::WriteText(sheet, row_, column, field, nullptr);
}

void Run::ReportFailedWrite(int column) {
    ReportLineFailure(column, workbook::ErrorMessage(book_.get()));
}

void Run::ReportOverlongField(std::int64_t column) {
    // The reader stopped keeping the field once it passed the limit, so
    // its full length is not known.
    ReportLineFailure(column, "A text of more than " +
                                  std::to_string(workbook::kMaxCellCharacters) +
                                  " characters is longer than a cell holds.");
}

void Run::ReportLineFailure(std::int64_t column, std::string_view reason) {
    ShowError("Line " + std::to_string(line_) + ", field " + std::to_string(column + 1) + " of " +
              inputPath_ + ": " + std::string(reason) +
              (openQuoteLine_ >= 0 ? " " + UnclosedQuoteText() : std::string()) +
              " Nothing was saved, so no workbook lacks part of the data.");
}

}  // namespace

std::string SheetNameFor(const ConversionSettings* settings) {
    std::string name(TextOf(settings->tableName));
    if (name.empty()) {
        std::string_view path = TextOf(settings->inputPath);
        const std::size_t slash = platform::LastSeparator(path);
        if (slash != std::string_view::npos) {
            path.remove_prefix(slash + 1);
        }
        const std::size_t dot = path.find_last_of('.');
        name = std::string(dot == std::string_view::npos ? path : path.substr(0, dot));
    }
    return workbook::MakeValidSheetName(name);
}

RunResult ConversionRun(const RunOwner* owner, ConversionSettings* settings) {
    Run run(owner, settings);
    return run.Execute();
}

}  // namespace engine
