// SPDX-License-Identifier: MIT
// One conversion: a CSV file becomes one sheet of a new or existing workbook.
// A run that fails for any reason saves nothing, so an existing workbook is
// never left with part of the data or without sheets it had.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "engine/csv_input.h"
#include "engine/engine.h"
#include "engine/text_util.h"
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

// Splits `text` at `separator`; runs of separators count as one and
// separators at either end make no token. The n-th token fills slot n.
void StoreTypeTokens(ConversionSettings* settings, std::string_view text, char separator) {
    std::size_t slot = 0;
    std::size_t start = 0;
    while (start < text.size() && slot < kTypeOverrideSlots) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start) {
            SetTypeOverrideSlot(settings, slot++, text.substr(start, end - start));
        }
        start = end + 1;
    }
}

class Run {
public:
    Run(const RunOwner* owner, ConversionSettings* settings)
        : messages_(owner != nullptr ? owner->messages : nullptr),
          progress_(owner != nullptr ? owner->progress : nullptr),
          transcript_(owner != nullptr ? owner->transcript : nullptr),
          sheetOutcome_(owner != nullptr ? owner->sheet : nullptr),
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
    bool OpenBook();
    bool FindOrAddSheet();
    void NoteSheet(SheetOutcome::Kind kind, const std::string& name) const;
    bool ConvertRecords(CsvInput& input);
    bool WriteField(int column, std::string_view field, bool asText);
    void ReportFailedWrite(int column);
    void ReportOverlongField(std::int64_t column);
    void ReportLineFailure(std::int64_t column, std::string_view reason);
    std::string UnclosedQuoteText() const;

    const platform::MessageSink* messages_;
    const ProgressReporter* progress_;
    RunTranscript* transcript_;
    SheetOutcome* sheetOutcome_;
    ConversionSettings* s_;
    std::string inputPath_;
    std::string outputPath_;
    workbook::BookPtr book_;
    workbook::Sheet* sheet_ = nullptr;
    const workbook::Format* dateFormat_ = nullptr;
    const workbook::Format* dateTimeFormat_ = nullptr;
    TypeOverrideIndex overrides_;
    int row_ = 0;
    std::int64_t line_ = 0;            // the input line where the current record starts
    std::int64_t openQuoteLine_ = -1;  // where a quote that is never closed opened
    bool cancelled_ = false;
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
        ShowError(s_->workbookType == 1 ? "Cannot save XLSX file." : "Cannot save XLS file.");
        return RunResult::kFailed;
    }
    return cancelled_ ? RunResult::kCancelled : RunResult::kConverted;
}

bool Run::OpenBook() {
    book_.reset(workbook::CreateBook(s_->workbookType == 1 ? workbook::BookKind::kXlsx
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
    if (s_->overwriteFile == 0 && platform::PathExists(outputPath_)) {
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
    bool replaced = false;
    for (int i = 0; i < workbook::SheetCount(book_.get()); ++i) {
        workbook::Sheet* sheet = workbook::GetSheet(book_.get(), i);
        if (sheet == nullptr || !workbook::SameSheetName(workbook::SheetName(sheet), name)) {
            continue;
        }
        if (s_->overwriteTable == 0) {
            sheet_ = sheet;
            row_ = workbook::LastRow(sheet);
            NoteSheet(SheetOutcome::Kind::kAppended, name);
            return true;
        }
        if (!workbook::DeleteSheet(book_.get(), i)) {
            ShowError("Cannot replace the sheet " + name + ": " +
                      workbook::ErrorMessage(book_.get()));
            return false;
        }
        replaced = true;
        break;
    }
    sheet_ = workbook::AddSheet(book_.get(), name);
    if (sheet_ == nullptr) {
        ShowError("Cannot create a sheet.");
        return false;
    }
    row_ = 0;
    NoteSheet(replaced ? SheetOutcome::Kind::kReplaced : SheetOutcome::Kind::kAdded, name);
    return true;
}

void Run::NoteSheet(SheetOutcome::Kind kind, const std::string& name) const {
    if (sheetOutcome_ != nullptr) {
        *sheetOutcome_ = SheetOutcome{kind, name, row_};
    }
}

bool Run::ConvertRecords(CsvInput& input) {
    const std::int64_t startTime = static_cast<std::int64_t>(std::time(nullptr));
    const bool reportPosition = progress_ != nullptr && progress_->showPosition != nullptr;
    bool firstRecord = true;
    bool typesLinePending = s_->typesInFile != 0;
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
        if (!header && typesLinePending) {
            typesLinePending = false;
            StoreTypeTokens(s_, record.text, s_->delimiter);
            overrides_.Build(s_);
            continue;
        }
        if (reportPosition) {
            progress_->showPosition(progress_->context, input.position(), input.size(),
                                    s_->recordCount, startTime);
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
    return true;
}

std::string Run::UnclosedQuoteText() const {
    return "The quote opened on line " + std::to_string(openQuoteLine_) + " is never closed.";
}

bool Run::WriteField(int column, std::string_view field, bool asText) {
    workbook::Sheet* sheet = sheet_;
    if (!asText) {
        // The classification reads the value too; a column forced to another
        // type reads the field again as that type.
        const FieldValue read = ClassifyFieldValue(s_, book_.get(), field);
        switch (overrides_.Lookup(column, read.letter)) {
            case 'd':
            case 'D': {
                bool hasTime = read.hasTime;
                const double date = read.letter == kDateType
                                        ? read.value
                                        : DateValue(s_, book_.get(), field, &hasTime);
                // A text that is no date keeps its text rather than vanish.
                if (date != 0.0) {
                    return workbook::WriteNumber(sheet, row_, column, date,
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
