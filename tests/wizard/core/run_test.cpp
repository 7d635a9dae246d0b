// SPDX-License-Identifier: MIT
// The worker's run: real conversions read back by an independent reader,
// the reports that reach the view, and their rate limit.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <future>
#include <thread>

#include "platform/workbook_lock.h"
#include "tests/test_support.h"
#include "tests/wizard/core/settings_for.h"
#include "wizard/core/wizard_core.h"

namespace {

using testing_support::TempDir;
using wizard_testing::SettingsFor;

TEST(TimeEstimate, TextOnlyWhenThereIsSomethingToShow) {
    struct Row {
        std::int64_t elapsed, done, total;
        std::string text;
    };
    const Row rows[] = {
        {120, 1000000, 4000000, "Elapsed time:\t00:02:00\nEstimated time:\t00:08:00"},
        {1, 10, 100, ""},
        {0, 10, 100, ""},
        {-5, 10, 100, ""},
        {30, 0, 100, ""},
        {2, 1, 1, "Elapsed time:\t00:00:02\nEstimated time:\t00:00:02"},
        {3599, 1, 1, "Elapsed time:\t00:59:59\nEstimated time:\t00:59:59"},
        // 400 hours; hours are not wrapped.
        {1000, 1, 1440, "Elapsed time:\t00:16:40\nEstimated time:\t400:00:00"},
        // elapsed × total overflows 64 bits; the estimate must not.
        {4000000000, 4000000000000000000, 8000000000000000000,
         "Elapsed time:\t1111111:06:40\nEstimated time:\t2222222:13:20"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.elapsed);
        EXPECT_EQ(wizard::TimeEstimateText(row.elapsed, row.done, row.total), row.text);
    }
}

TEST(ProgressThrottle, PositionsAtMostEvery40MsAndAlwaysAtTheEnd) {
    wizard::ProgressThrottle throttle;
    struct Step {
        std::int64_t ms, position;
        bool due;
    };
    const Step steps[] = {
        {1000, 10, true},  {1010, 20, false}, {1039, 30, false}, {1040, 40, true},
        {1041, 50, false}, {1042, 100, true}, {1043, 100, true}, {1100, 60, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.ms);
        EXPECT_EQ(throttle.PositionDue(step.ms, step.position, 100), step.due);
    }
}

TEST(ProgressThrottle, TimeTextOncePerSecondAfterProgress) {
    wizard::ProgressThrottle throttle;
    EXPECT_FALSE(throttle.TimeDue(100, 0)) << "nothing done yet";
    EXPECT_TRUE(throttle.TimeDue(100, 5));
    EXPECT_FALSE(throttle.TimeDue(100, 9));
    EXPECT_TRUE(throttle.TimeDue(101, 9));
}

// Collects what a view would show; the run calls it on its own thread.
class RecordingSink : public wizard::ProgressSink {
public:
    void ShowFiles(std::string_view text) override { files.emplace_back(text); }
    void ShowPosition(std::int64_t position, std::int64_t size) override {
        positions.emplace_back(position, size);
    }
    void ShowTime(std::string_view text) override { times.emplace_back(text); }

    std::vector<std::string> files;
    std::vector<std::pair<std::int64_t, std::int64_t>> positions;
    std::vector<std::string> times;
};

// Clocks that advance 10 ms and 1 s per reading, so every limit shows. The
// calendar starts now, since the run takes its start time from it too.
std::int64_t g_ms = 0;
std::int64_t g_seconds = 0;
wizard::RunClocks SteppingClocks() {
    g_ms = 0;
    g_seconds = static_cast<std::int64_t>(std::time(nullptr));
    return {[] { return g_ms += 10; }, [] { return ++g_seconds; }};
}

struct SeenMessages {
    std::vector<std::string> texts;
};

platform::MessageSink Recorder(SeenMessages* seen) {
    return {seen,
            [](void* context, std::string_view, std::string_view text, platform::MessageIcon) {
                static_cast<SeenMessages*>(context)->texts.emplace_back(text);
            }};
}

TEST(RunConversion, ConvertsAndReportsThroughTheSink) {
    TempDir dir;
    std::string csv;
    for (int i = 0; i < 50; ++i) {
        csv += "r" + std::to_string(i) + ";" + std::to_string(i) + "\n";
    }
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("in.csv"), csv));
    const auto settings =
        SettingsFor({dir.File("in.csv"), dir.File("out.xlsx"), "/FIELDS=;", "/ALLCHAR=0"});
    RecordingSink sink;
    SeenMessages seen;
    const platform::MessageSink messages = Recorder(&seen);
    const wizard::RunReport report =
        wizard::RunConversion(settings.get(), &messages, &sink, SteppingClocks());
    EXPECT_EQ(report.outcome, wizard::RunOutcome::kConverted);
    EXPECT_TRUE(seen.texts.empty());
    EXPECT_EQ(settings->recordCount, 50);
    ASSERT_EQ(sink.files.size(), 1u);
    EXPECT_EQ(sink.files[0], dir.File("in.csv") + " -> " + dir.File("out.xlsx"));
    // 50 reports 10 ms apart: every fourth passes, and the end.
    ASSERT_FALSE(sink.positions.empty());
    EXPECT_LT(sink.positions.size(), 20u);
    EXPECT_EQ(sink.positions.back().first, static_cast<std::int64_t>(csv.size()));
    EXPECT_FALSE(sink.times.empty());

    const testing_support::CommandResult read = testing_support::RunTool(
        "read_workbook.py", testing_support::ShellQuote(dir.File("out.xlsx")));
    ASSERT_EQ(read.exitCode, 0) << read.output;
    EXPECT_NE(read.output.find("[49, 1, \"n\", 49"), std::string::npos) << read.output;
    EXPECT_NE(read.output.find("[0, 0, \"s\", \"r0\"]"), std::string::npos) << read.output;
}

TEST(RunConversion, AWaitForTheWorkbookShowsOnTheFilesLine) {
    TempDir dir;
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("in.csv"), "a,b\n"));
    const std::string output = dir.File("out.xlsx");
    // Another conversion's hold on the workbook, let go once the wait shows.
    platform::WorkbookLock other;
    std::string error;
    ASSERT_EQ(other.Acquire(output, std::chrono::milliseconds(0), {}, error),
              platform::LockStatus::kOk)
        << error;
    class WaitingSink : public RecordingSink {
    public:
        void ShowFiles(std::string_view text) override {
            RecordingSink::ShowFiles(text);
            if (text.find("is being changed by another conversion") != std::string_view::npos) {
                shown.set_value();
            }
        }
        std::promise<void> shown;
    } sink;
    std::future<void> shown = sink.shown.get_future();
    const auto settings = SettingsFor({dir.File("in.csv"), output});
    SeenMessages seen;
    const platform::MessageSink messages = Recorder(&seen);
    wizard::RunReport report;
    std::thread worker([&] {
        report = wizard::RunConversion(settings.get(), &messages, &sink, wizard::SystemClocks());
    });
    const bool waited = shown.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    other.Release();
    worker.join();
    ASSERT_TRUE(waited);
    EXPECT_EQ(report.outcome, wizard::RunOutcome::kConverted);
    EXPECT_TRUE(seen.texts.empty());
    const std::string files = dir.File("in.csv") + " -> " + output;
    ASSERT_EQ(sink.files.size(), 3u);
    EXPECT_EQ(sink.files[0], files);
    EXPECT_EQ(sink.files[1], output +
                                 " is being changed by another conversion; this one waits for it "
                                 "(at most 30 seconds).");
    EXPECT_EQ(sink.files[2], files);
}

TEST(RunConversion, WarningsWaitForTheCompletionPage) {
    TempDir dir;
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("in.csv"), "12.31.2024\n15.02.2024\n"));
    const auto settings =
        SettingsFor({dir.File("in.csv"), dir.File("out.xlsx"), "/ALLCHAR=0", "/AUTODATE"});
    SeenMessages seen;
    const platform::MessageSink messages = Recorder(&seen);
    const wizard::RunReport report =
        wizard::RunConversion(settings.get(), &messages, nullptr, wizard::SystemClocks());
    EXPECT_EQ(report.outcome, wizard::RunOutcome::kConverted);
    EXPECT_EQ(seen.texts, std::vector<std::string>{});
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_EQ(report.warnings[0], dir.File("in.csv") +
                                      ": 1 field that looks like a date does not fit the date "
                                      "order MM.DD.YYYY and was kept as text.");
    wizard::CompletionPageModel page(settings.get());
    (void)page.Enter(report);
    EXPECT_EQ(page.resultText(), "2 records have been imported.\n" + report.warnings[0]);
}

TEST(RunConversion, FailureAndCancelComeBackAsOutcomes) {
    TempDir dir;
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("in.csv"), "a,b\nc,d\n"));
    struct Row {
        const char* what;
        std::string output;
        bool cancel;
        wizard::RunOutcome outcome;
        bool saved;
    };
    const Row rows[] = {
        {"output folder gone", dir.File("gone/out.xls"), false, wizard::RunOutcome::kFailed, false},
        {"cancelled before the first line", dir.File("c.xls"), true, wizard::RunOutcome::kCancelled,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto settings = SettingsFor({dir.File("in.csv"), row.output});
        settings->cancelRequested.store(row.cancel ? 1 : 0);
        SeenMessages seen;
        const platform::MessageSink messages = Recorder(&seen);
        const wizard::RunReport report =
            wizard::RunConversion(settings.get(), &messages, nullptr, wizard::SystemClocks());
        EXPECT_EQ(report.outcome, row.outcome);
        EXPECT_EQ(platform::PathExists(row.output), row.saved);
        if (row.outcome == wizard::RunOutcome::kFailed) {
            // The reason is the run's own message, which the user also saw,
            // with the system's reason given before it on a line of its own.
            ASSERT_EQ(seen.texts.size(), 2u);
            EXPECT_EQ(report.reason, seen.texts[1] + "\n" + seen.texts[0]);
        } else {
            EXPECT_TRUE(seen.texts.empty());
        }
    }
}

// Three runs into one workbook: the sheet is added, appended to below its
// rows, then replaced; the last page names the workbook, the sheet and what
// happened to it.
TEST(RunConversion, SaysWhatItDidToTheSheet) {
    TempDir dir;
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("sales.csv"), "a,b\nc,d\n"));
    const std::string book = dir.File("book.xlsx");
    struct Row {
        const char* what;
        const char* overwriteTable;
        engine::SheetOutcome::Kind kind;
        int firstRow;
        std::string text;
    };
    const Row rows[] = {
        {"new workbook", "/OVERWRITETABLE=0", engine::SheetOutcome::Kind::kAdded, 0,
         "Added the sheet \"sales\" to " + book + "."},
        {"same sheet again", "/OVERWRITETABLE=0", engine::SheetOutcome::Kind::kAppended, 2,
         "Appended below the rows of the sheet \"sales\" in " + book + ", from row 3."},
        {"replacing it", "/OVERWRITETABLE=1", engine::SheetOutcome::Kind::kReplaced, 0,
         "Replaced the sheet \"sales\" in " + book + "."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto settings =
            SettingsFor({dir.File("sales.csv"), book, "/OVERWRITE=0", row.overwriteTable});
        SeenMessages seen;
        const platform::MessageSink messages = Recorder(&seen);
        const wizard::RunReport report =
            wizard::RunConversion(settings.get(), &messages, nullptr, wizard::SystemClocks());
        ASSERT_EQ(report.outcome, wizard::RunOutcome::kConverted);
        EXPECT_EQ(report.sheet.kind, row.kind);
        EXPECT_EQ(report.sheet.name, "sales");
        EXPECT_EQ(report.sheet.firstRow, row.firstRow);
        wizard::CompletionPageModel page(settings.get());
        page.Enter(report);
        EXPECT_EQ(page.sheetText(), row.text);
    }
    // A failed run names no sheet: nothing was saved.
    const auto settings = SettingsFor({dir.File("sales.csv"), dir.File("gone/book.xlsx")});
    SeenMessages seen;
    const platform::MessageSink messages = Recorder(&seen);
    const wizard::RunReport report =
        wizard::RunConversion(settings.get(), &messages, nullptr, wizard::SystemClocks());
    wizard::CompletionPageModel page(settings.get());
    page.Enter(report);
    EXPECT_EQ(page.sheetText(), "");
}

// SPLITROWS and FIELDS=AUTO in the wizard: the last page names the sheets
// the records went on to; the notes a silent run gives stay out of the
// wizard's message boxes.
TEST(RunConversion, NamesTheSheetsTheRecordsWentOnTo) {
    TempDir dir;
    std::string csv = "x;y\n";
    for (int i = 0; i < 65536; ++i) {
        csv += std::to_string(i) + ";v\n";
    }
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("sales.csv"), csv));
    const std::string book = dir.File("book.xls");
    const auto settings =
        SettingsFor({dir.File("sales.csv"), book, "/FIELDS=AUTO", "/HEADER=1", "/SPLITROWS"});
    SeenMessages seen;
    const platform::MessageSink messages = Recorder(&seen);
    const wizard::RunReport report =
        wizard::RunConversion(settings.get(), &messages, nullptr, wizard::SystemClocks());
    ASSERT_EQ(report.outcome, wizard::RunOutcome::kConverted);
    EXPECT_EQ(seen.texts, std::vector<std::string>{});
    EXPECT_TRUE(report.warnings.empty());
    EXPECT_EQ(report.sheet.continued, std::vector<std::string>{"sales (2)"});
    EXPECT_EQ(settings->delimiter, ',') << "the choice was for this input only";
    EXPECT_EQ(settings->recordCount, 65537);
    wizard::CompletionPageModel page(settings.get());
    page.Enter(report);
    EXPECT_EQ(page.sheetText(), "Added the sheet \"sales\" to " + book +
                                    ". The records went on in \"sales (2)\": 2 sheets written.");
}

}  // namespace
