// SPDX-License-Identifier: MIT
// One conversion run: an input file becomes one sheet of a workbook; and
// what a run reports and says while it works.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/settings.h"
#include "platform/messages.h"

namespace engine {

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

}  // namespace engine
