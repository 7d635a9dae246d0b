// SPDX-License-Identifier: MIT
// The batch runner: one conversion run per file that the input pattern
// matches, each into the workbook that the output name gives. When every
// input has a workbook of its own and no run can change how the next one
// reads its input, several runs go at once, one per hardware thread; what
// they say is kept and said in input order, so the messages, the run log
// and the status file come out as they do one run at a time.
#include "engine/batch_runner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/conversion_run.h"
#include "engine/name_rules.h"
#include "engine/run_log.h"
#include "engine/settings.h"
#include "engine/text_util.h"
#include "platform/find_files.h"
#include "platform/messages.h"
#include "platform/path_names.h"
#include "platform/paths.h"
#include "workbook/workbook.h"

namespace engine {
namespace {

// The input's file name without its last extension.
std::string_view BaseNameOf(std::string_view path) {
    std::string_view name = platform::FileNameOf(path);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

// A sheet a run of this batch made, in the workbook it went to.
struct MadeSheet {
    std::string output;
    std::string name;
};

bool MadeEarlier(const std::vector<MadeSheet>& made, std::string_view output,
                 std::string_view name) {
    for (const MadeSheet& sheet : made) {
        if (sheet.output == output && workbook::SameSheetName(sheet.name, name)) {
            return true;
        }
    }
    return false;
}

// `name` with the first " (n)" from 2 on that no sheet made earlier in the
// same workbook has, the name cut so that the whole is a valid sheet name.
std::string UniqueSheetName(const std::vector<MadeSheet>& made, std::string_view output,
                            std::string_view name) {
    for (int n = 2;; ++n) {
        std::string candidate = NumberedSheetName(name, n);
        if (!MadeEarlier(made, output, candidate)) {
            return candidate;
        }
    }
}

// One input of the batch and the workbook it goes to.
struct BatchItem {
    std::string input;
    std::string output;
};

const platform::MessageSink* MessagesOf(const RunOwner* owner) {
    return owner != nullptr ? owner->messages : nullptr;
}

std::string PathTooLongText(const std::string& path) {
    return "The path of " + path + " is longer than " + std::to_string(kPathCapacity - 1) +
           " bytes. It was not converted.";
}

void Count(RunResult run, BatchResult* result) {
    switch (run) {
        case RunResult::kConverted:
        case RunResult::kCancelled:
            ++result->converted;
            break;
        case RunResult::kNoInput:
            --result->matched;
            break;
        case RunResult::kFailed:
            ++result->failed;
            break;
    }
}

// Converts one input with the caller's settings, as the batch always did.
// False when the batch was cancelled.
bool RunOne(const RunOwner* owner, ConversionSettings* settings, const BatchItem& item,
            std::vector<MadeSheet>* made, BatchResult* result) {
    const bool inputFits = CopyText(settings->inputPath, item.input);
    if (!inputFits || !CopyText(settings->outputPath, item.output)) {
        // A cut name would read or write another file.
        platform::ShowMessage(MessagesOf(owner), "Error",
                              PathTooLongText(inputFits ? item.output : item.input),
                              platform::MessageIcon::kError);
        ++result->failed;
        return true;
    }

    // Two inputs whose sheet names come out alike (cut at 31 characters,
    // or equal but for letter case) must not replace each other's sheet.
    const std::string name = SheetNameFor(settings);
    if (settings->overwriteTable != kOverwriteOff && MadeEarlier(*made, item.output, name)) {
        const std::string unique = UniqueSheetName(*made, item.output, name);
        (void)CopyText(settings->tableName, unique);  // at most 31 characters: fits
        const std::string text = "The sheet name " + name + " for " + item.input +
                                 " was already used in this batch; the sheet is named " + unique +
                                 " instead.";
        if (settings->logEnabled != 0) {
            WriteLogEntry("QUENDLE", settings, kLogOwnText, "Warning: " + text);
        }
        platform::ShowMessage(MessagesOf(owner), "Warning", text, platform::MessageIcon::kWarning);
    }
    // The sheets SPLITROWS went on to are the batch's too: a later input
    // must not replace one of them either.
    SheetOutcome outcome;
    RunOwner runOwner = owner != nullptr ? *owner : RunOwner{};
    runOwner.sheet = &outcome;
    const RunResult run = ConversionRun(&runOwner, settings);
    if (owner != nullptr && owner->sheet != nullptr) {
        *owner->sheet = outcome;
    }
    if (run == RunResult::kConverted || run == RunResult::kCancelled) {
        made->push_back({item.output, SheetNameFor(settings)});
        for (const std::string& sheet : outcome.continued) {
            made->push_back({item.output, sheet});
        }
    }
    Count(run, result);
    // Only the first file may replace the workbook or use TABLENAME=;
    // the later ones add their own sheets to what the first one wrote.
    settings->overwriteFile = kOverwriteOff;
    settings->tableName[0] = '\0';
    return settings->cancelRequested.load(std::memory_order_relaxed) == 0;
}

// ---- Several runs at once ---------------------------------------------------------

// Conversions at once: QUENDLE_JOBS when it names a positive number (1 runs
// one at a time), else one per hardware thread.
unsigned WorkerCount() {
    constexpr unsigned kMostWorkers = 64;
    const char* jobs = std::getenv("QUENDLE_JOBS");
    if (jobs != nullptr && LeadingInteger(jobs) > 0) {
        return std::min(static_cast<unsigned>(LeadingInteger(jobs)), kMostWorkers);
    }
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMostWorkers);
}

// No two inputs write one workbook: two writers on one file would lose one
// of them, and the second run must find the first one's sheets. Letter case
// is ignored, as some file systems do.
bool OutputsAreDistinct(const std::vector<BatchItem>& items) {
    std::set<std::string> seen;
    for (const BatchItem& item : items) {
        if (!seen.insert(platform::AsciiLowered(item.output)).second) {
            return false;
        }
    }
    return true;
}

// A run leaves the settings to the next run changed in two ways only: an
// automatic date order becomes the order of the first date it reads, and
// field types read from an input line fill the type-override table. Where
// neither can happen from here on, each run reads its input as it would
// one at a time. (A run also adds to recordCount, which the batch sums.)
bool LaterRunsAreIndependent(const ConversionSettings& settings) {
    const std::int32_t mode = settings.dateMode;
    const bool dateOrderFixed = (mode >= kDateMonthFirst && mode <= kDateCompact) ||
                                (mode >= kDateDetectedMonthFirst && mode <= kDateDetectedYearFirst);
    const bool noDates = settings.allCharacter == 1 || settings.importRecords == 0;
    return settings.typesInFile == 0 && (dateOrderFixed || noDates);
}

bool SameTypeOverrides(const ConversionSettings& a, const ConversionSettings& b) {
    for (std::size_t i = 0; i < kTypeOverrideSlots; ++i) {
        const OwnedText& x = a.typeOverrides[i];
        const OwnedText& y = b.typeOverrides[i];
        if (static_cast<bool>(x) != static_cast<bool>(y) ||
            (x && std::strcmp(x.get(), y.get()) != 0)) {
            return false;
        }
    }
    return true;
}

// Says what a run kept in its transcript, as the run would have said it.
void Replay(const RunTranscript& transcript, const RunOwner* owner,
            const ConversionSettings* settings) {
    for (const RunTranscript::Entry& entry : transcript.entries) {
        switch (entry.kind) {
            case RunTranscript::Kind::kStatus:
                WriteStatus(entry.text, settings);
                break;
            case RunTranscript::Kind::kLog:
                WriteLogEntry("QUENDLE", settings, entry.logKind, entry.text);
                break;
            case RunTranscript::Kind::kMessage:
                platform::ShowMessage(MessagesOf(owner), entry.caption, entry.text, entry.icon);
                break;
        }
    }
}

// Progress from several workers, one report at a time.
struct SharedProgress {
    const ProgressReporter* target = nullptr;
    std::mutex mutex;
};

ProgressReporter SharedReporter(SharedProgress* shared) {
    ProgressReporter reporter;
    reporter.context = shared;
    if (shared->target->showFiles != nullptr) {
        reporter.showFiles = [](void* context, std::string_view text) {
            auto* progress = static_cast<SharedProgress*>(context);
            const std::lock_guard<std::mutex> lock(progress->mutex);
            progress->target->showFiles(progress->target->context, text);
        };
    }
    if (shared->target->showWaiting != nullptr) {
        reporter.showWaiting = [](void* context, std::string_view text) {
            auto* progress = static_cast<SharedProgress*>(context);
            const std::lock_guard<std::mutex> lock(progress->mutex);
            progress->target->showWaiting(progress->target->context, text);
        };
    }
    if (shared->target->showPosition != nullptr) {
        reporter.showPosition = [](void* context, std::int64_t position, std::int64_t size,
                                   std::int32_t records, std::int64_t startTime) {
            auto* progress = static_cast<SharedProgress*>(context);
            const std::lock_guard<std::mutex> lock(progress->mutex);
            progress->target->showPosition(progress->target->context, position, size, records,
                                           startTime);
        };
    }
    return reporter;
}

// One input of the part of the batch that runs at once.
struct Job {
    const BatchItem* item = nullptr;
    bool pathTooLong = false;
    RunTranscript transcript;
    RunResult run = RunResult::kFailed;
    std::int32_t records = 0;
    bool outOfMemory = false;  // the run threw (ran out of memory); the caller's thread says so
    bool done = false;
};

std::string OutOfMemoryText(const std::string& input) {
    return "Out of memory while converting " + input + ".";
}

// What the workers share with the caller's thread while items run at once.
struct JobQueue {
    // A worker: converts the next job with `own`, its copy of the settings,
    // until none is left, the caller cancels or the caller's thread leaves.
    void Work(ConversionSettings* own);

    std::vector<Job>& jobs;
    const ConversionSettings* settings = nullptr;  // the caller's, for its cancel flag
    std::size_t firstRun = 0;                      // the job that keeps OVERWRITE= and TABLENAME=
    const RunOwner& workerOwner;
    std::mutex mutex{};  // guards the jobs' results and `next`
    std::condition_variable jobDone{};
    std::size_t next = 0;
    unsigned running = 0;   // workers not yet finished
    bool stopping = false;  // the caller's thread is leaving early
};

void JobQueue::Work(ConversionSettings* own) {
    for (;;) {
        std::size_t index = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (stopping || next == jobs.size() ||
                settings->cancelRequested.load(std::memory_order_relaxed) != 0) {
                break;
            }
            index = next++;
        }
        Job& job = jobs[index];
        if (!job.pathTooLong) {
            (void)CopyText(own->inputPath, job.item->input);
            (void)CopyText(own->outputPath, job.item->output);
            if (index != firstRun) {
                own->overwriteFile = kOverwriteOff;
                own->tableName[0] = '\0';
            }
            own->recordCount = 0;
            RunOwner runOwner = workerOwner;
            runOwner.transcript = &job.transcript;
            // The worker's entry: nothing may escape a thread. What the
            // run ran out of is said by the caller's thread, since saying
            // it here would need memory too.
            try {
                job.run = ConversionRun(&runOwner, own);
            } catch (...) {
                job.run = RunResult::kFailed;
                job.outOfMemory = true;
            }
            job.records = own->recordCount;
        }
        const std::lock_guard<std::mutex> lock(mutex);
        job.done = true;
        jobDone.notify_all();
    }
    const std::lock_guard<std::mutex> lock(mutex);
    --running;
    jobDone.notify_all();
}

// What one run at a time leaves in the caller's settings: the last input
// and output said, OVERWRITE= and TABLENAME= spent once the first run ran,
// and the FIELDTYPES= table the runs left.
void LeaveSettingsAsOneRunAtATime(
    ConversionSettings* settings, const BatchItem* last, const std::vector<Job>& jobs,
    std::size_t firstRun, const std::vector<std::unique_ptr<ConversionSettings>>& workerSettings) {
    if (last != nullptr) {
        (void)CopyText(settings->inputPath, last->input);
        (void)CopyText(settings->outputPath, last->output);
    }
    if (firstRun < jobs.size() && jobs[firstRun].done) {
        settings->overwriteFile = kOverwriteOff;
        settings->tableName[0] = '\0';
    }
    // FIELDTYPES= fills the same slots in every run that reads records: a
    // worker whose table changed holds what one run at a time leaves.
    for (const auto& own : workerSettings) {
        if (!SameTypeOverrides(*own, *settings)) {
            for (std::size_t i = 0; i < kTypeOverrideSlots; ++i) {
                settings->typeOverrides[i] = CopyOwnedText(own->typeOverrides[i]);
            }
            break;
        }
    }
}

// Converts items[first..] several at once with copies of the settings, then
// says each run's part and counts it in input order, as soon as the runs
// before it are done. The caller's settings end as one run at a time leaves
// them.
void RunAtOnce(const RunOwner* owner, ConversionSettings* settings,
               const std::vector<BatchItem>& items, std::size_t first, unsigned workerCount,
               BatchResult* result) {
    std::vector<Job> jobs(items.size() - first);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        jobs[i].item = &items[first + i];
        jobs[i].pathTooLong = jobs[i].item->input.size() >= kPathCapacity ||
                              jobs[i].item->output.size() >= kPathCapacity;
    }
    // The first job that runs uses OVERWRITE= and TABLENAME=, as RunOne
    // leaves them only after a run.
    std::size_t firstRun = 0;
    while (firstRun < jobs.size() && jobs[firstRun].pathTooLong) {
        ++firstRun;
    }
    workerCount = static_cast<unsigned>(std::min<std::size_t>(workerCount, jobs.size()));
    std::vector<std::unique_ptr<ConversionSettings>> workerSettings;
    for (unsigned w = 0; w < workerCount; ++w) {
        workerSettings.push_back(std::make_unique<ConversionSettings>());
        CopySettings(*settings, workerSettings.back().get());
    }
    SharedProgress sharedProgress;
    ProgressReporter reporter;
    RunOwner workerOwner;
    workerOwner.notes = owner != nullptr && owner->notes;
    if (owner != nullptr && owner->progress != nullptr) {
        sharedProgress.target = owner->progress;
        reporter = SharedReporter(&sharedProgress);
        workerOwner.progress = &reporter;
    }

    JobQueue queue{.jobs = jobs,
                   .settings = settings,
                   .firstRun = firstRun,
                   .workerOwner = workerOwner,
                   .running = workerCount};
    // Every thread started is joined on every way out, an exception on
    // this thread included; the workers stop after their current input.
    std::vector<std::thread> threads;
    struct Joiner {
        std::vector<std::thread>& threads;
        std::mutex& mutex;
        bool& stopping;
        ~Joiner() {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                stopping = true;
            }
            for (std::thread& thread : threads) {
                if (thread.joinable()) {
                    thread.join();
                }
            }
        }
    } joiner{threads, queue.mutex, queue.stopping};
    // Threads that cannot be started leave the batch to those that were;
    // with none, this thread converts every input itself.
    threads.reserve(workerCount);
    char threadFailure[160] = "";
    for (unsigned w = 0; w < workerCount; ++w) {
        try {
            threads.emplace_back(&JobQueue::Work, &queue, workerSettings[w].get());
        } catch (const std::exception& error) {
            (void)CopyText(threadFailure, error.what());  // cut when long; only shown
            break;
        }
    }
    if (threads.size() < workerCount) {
        {
            const std::lock_guard<std::mutex> lock(queue.mutex);
            queue.running -= workerCount - static_cast<unsigned>(threads.size());
        }
        platform::ShowMessage(
            MessagesOf(owner), "Warning",
            "Only " + std::to_string(threads.size()) + " of " + std::to_string(workerCount) +
                " conversion threads could be started (" + threadFailure + "); the batch goes on " +
                (threads.empty() ? "one input at a time." : "with those."),
            platform::MessageIcon::kWarning);
        if (threads.empty()) {
            ++queue.running;
            queue.Work(workerSettings[0].get());
        }
    }

    const BatchItem* last = nullptr;
    for (Job& job : jobs) {
        {
            std::unique_lock<std::mutex> lock(queue.mutex);
            while (!job.done && queue.running > 0) {
                // The cancel flag is the caller's; each worker's run reads its own.
                if (settings->cancelRequested.load(std::memory_order_relaxed) != 0) {
                    for (const auto& own : workerSettings) {
                        own->cancelRequested.store(1, std::memory_order_relaxed);
                    }
                }
                queue.jobDone.wait_for(lock, std::chrono::milliseconds(50));
            }
            if (!job.done) {
                break;  // cancelled before it started
            }
        }
        last = job.item;
        if (job.pathTooLong) {
            const bool inputFits = job.item->input.size() < kPathCapacity;
            platform::ShowMessage(MessagesOf(owner), "Error",
                                  PathTooLongText(inputFits ? job.item->output : job.item->input),
                                  platform::MessageIcon::kError);
            ++result->failed;
            continue;
        }
        Replay(job.transcript, owner, settings);
        if (job.outOfMemory) {
            platform::ShowMessage(MessagesOf(owner), "Error", OutOfMemoryText(job.item->input),
                                  platform::MessageIcon::kError);
        }
        Count(job.run, result);
        settings->recordCount += job.records;
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    threads.clear();
    LeaveSettingsAsOneRunAtATime(settings, last, jobs, firstRun, workerSettings);
}

}  // namespace

BatchResult BatchRunner(const RunOwner* owner, ConversionSettings* settings, BatchVariant variant) {
    BatchResult result;
    const std::string pattern(TextOf(settings->inputPath));
    const std::string outputTemplate(TextOf(settings->outputPath));

    // Without TYPE= the output name's extension chooses the format.
    if (settings->workbookTypeGiven == 0 && !outputTemplate.empty()) {
        settings->workbookType =
            EndsWithIgnoringCase(outputTemplate, ".xlsx") ? kWorkbookXlsx : kWorkbookXls;
    }

    // The target: one workbook for all files (oneBook), or one per file in
    // `folder` (beside each input when the program has no output name).
    bool oneBook = !outputTemplate.empty();
    bool besideInput = outputTemplate.empty();
    std::string folder;
    if (variant == BatchVariant::kLibrary && !outputTemplate.empty()) {
        if (platform::IsDirectory(outputTemplate)) {
            oneBook = false;
            folder = outputTemplate;
            if (!platform::IsPathSeparator(folder.back())) {
                folder += platform::kPathSeparator;
            }
        } else if (platform::PathExists(outputTemplate) &&
                   EndsWithIgnoringCase(outputTemplate, ".xlsx")) {
            // An existing .xlsx name stands for its folder; a bare name for
            // the current folder.
            oneBook = false;
            folder = std::string(platform::FolderPrefixOf(outputTemplate));
        }
    }

    std::vector<BatchItem> items;
    for (const platform::FoundFile& found : platform::FindFiles(pattern)) {
        if (found.name.empty() || found.name[0] == '.' || found.isDirectory) {
            continue;
        }
        ++result.matched;
        BatchItem item;
        item.input = std::string(platform::FolderPrefixOf(pattern)) + found.name;
        if (oneBook) {
            item.output = outputTemplate;
        } else {
            item.output = besideInput ? std::string(platform::FolderPrefixOf(item.input)) : folder;
            item.output += BaseNameOf(item.input);
            item.output += ".xls";
        }
        item.output = AdaptExtension(item.output, settings->workbookType);
        items.push_back(std::move(item));
    }

    const unsigned workers = WorkerCount();
    const bool ownWorkbooks = !oneBook && workers > 1 && OutputsAreDistinct(items);
    std::vector<MadeSheet> made;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (ownWorkbooks && items.size() - i > 1 && LaterRunsAreIndependent(*settings)) {
            RunAtOnce(owner, settings, items, i, workers, &result);
            break;
        }
        if (!RunOne(owner, settings, items[i], &made, &result)) {
            break;
        }
    }
    return result;
}

}  // namespace engine
