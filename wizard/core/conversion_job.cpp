// SPDX-License-Identifier: MIT
// The worker's side of a wizard conversion: the run itself, the rate limit
// on its reports and the time estimate. Repainting the bar for every record
// would flood the user's thread on big files; a few updates a second look
// the same.
#include <chrono>
#include <ctime>
#include <limits>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "wizard/core/wizard_core.h"

namespace wizard {
namespace {

std::string ClockText(std::int64_t seconds) {
    const auto two = [](std::int64_t n) {
        std::string text = std::to_string(n);
        return text.size() < 2 ? "0" + text : text;
    };
    return two(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" + two(seconds % 60);
}

// What the run's callbacks need; lives on the worker's stack.
struct RunContext {
    ProgressSink* sink = nullptr;
    const RunClocks* clocks = nullptr;
    ProgressThrottle throttle;
    const platform::MessageSink* messages = nullptr;
    std::string lastError;
    std::vector<std::string> warnings;
    // What the run said without an icon: the system's reason for a failure
    // (a full disk), shown under the workbook's name before the run's own
    // message, which alone would lose it.
    std::string systemReason;
};

void ShowFiles(void* context, std::string_view text) {
    auto* run = static_cast<RunContext*>(context);
    if (run->sink != nullptr) {
        run->sink->ShowFiles(text);
    }
}

void ShowPosition(void* context, std::int64_t position, std::int64_t size, std::int32_t,
                  std::int64_t startTime) {
    auto* run = static_cast<RunContext*>(context);
    if (run->sink == nullptr) {
        return;
    }
    if (run->throttle.PositionDue(run->clocks->steadyMs(), position, size)) {
        run->sink->ShowPosition(position, size);
    }
    const std::int64_t now = run->clocks->calendarS();
    if (run->throttle.TimeDue(now, position)) {
        const std::string text = TimeEstimateText(now - startTime, position, size);
        if (!text.empty()) {
            run->sink->ShowTime(text);
        }
    }
}

// A wait for the workbook is shown where the files' line is until it ends.
void ShowWaiting(void* context, std::string_view text) {
    ShowFiles(context, text);
}

// Passes every message on but warnings, which the completion page shows,
// and keeps the last error's text as the reason.
void ShowMessage(void* context, std::string_view caption, std::string_view text,
                 platform::MessageIcon icon) {
    auto* run = static_cast<RunContext*>(context);
    if (icon == platform::MessageIcon::kWarning) {
        run->warnings.emplace_back(text);
        return;
    }
    if (icon == platform::MessageIcon::kError) {
        run->lastError = std::string(text);
    } else if (icon == platform::MessageIcon::kNone) {
        run->systemReason = std::string(text);
    }
    platform::ShowMessage(run->messages, caption, text, icon);
}

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t CalendarS() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace

std::string TimeEstimateText(std::int64_t elapsedSeconds, std::int64_t done, std::int64_t total) {
    if (done <= 0 || elapsedSeconds <= 1 || total < 0) {
        return {};
    }
    std::int64_t estimated = 0;
    if (total <= std::numeric_limits<std::int64_t>::max() / elapsedSeconds) {
        estimated = elapsedSeconds * total / done;
    } else {
        estimated = static_cast<std::int64_t>(static_cast<long double>(elapsedSeconds) *
                                              static_cast<long double>(total) /
                                              static_cast<long double>(done));
    }
    return "Elapsed time:\t" + ClockText(elapsedSeconds) + "\nEstimated time:\t" +
           ClockText(estimated);
}

bool ProgressThrottle::PositionDue(std::int64_t nowMs, std::int64_t position, std::int64_t size) {
    if (m_lastPositionMs && position < size && nowMs - *m_lastPositionMs < kPositionIntervalMs) {
        return false;
    }
    m_lastPositionMs = nowMs;
    return true;
}

bool ProgressThrottle::TimeDue(std::int64_t nowSeconds, std::int64_t position) {
    if (nowSeconds == m_lastSecond || position == 0) {
        return false;
    }
    m_lastSecond = nowSeconds;
    return true;
}

RunClocks SystemClocks() {
    return RunClocks{&SteadyMs, &CalendarS};
}

RunReport RunConversion(engine::ConversionSettings* settings, const platform::MessageSink* messages,
                        ProgressSink* sink, const RunClocks& clocks) {
    RunContext context;
    context.sink = sink;
    context.clocks = &clocks;
    context.messages = messages;
    RunReport report;
    // One of the two places that catch everything: what escapes the run
    // becomes a failure with a message, and the wizard still moves on.
    try {
        engine::ProgressReporter reporter;
        reporter.context = &context;
        reporter.showFiles = &ShowFiles;
        reporter.showPosition = &ShowPosition;
        reporter.showWaiting = &ShowWaiting;
        platform::MessageSink capturing{&context, &ShowMessage};
        engine::RunOwner owner;
        owner.messages = &capturing;
        owner.progress = &reporter;
        owner.sheet = &report.sheet;
        const engine::RunResult result = engine::ConversionRun(&owner, settings);
        report.warnings = std::move(context.warnings);
        switch (result) {
            case engine::RunResult::kConverted:
                report.outcome = RunOutcome::kConverted;
                return report;
            case engine::RunResult::kCancelled:
                report.outcome = RunOutcome::kCancelled;
                return report;
            case engine::RunResult::kNoInput:
                report.reason = "The input is a folder; there is nothing to convert.";
                return report;
            case engine::RunResult::kFailed:
                report.reason =
                    context.lastError.empty() ? "The conversion failed." : context.lastError;
                if (!context.systemReason.empty() &&
                    report.reason.find(context.systemReason) == std::string::npos) {
                    report.reason += "\n" + context.systemReason;
                }
                return report;
        }
    } catch (const std::bad_alloc&) {
        // The run's memory is freed by now, so the longer text can be made.
        try {
            report.reason = "The conversion of " +
                            std::string(engine::TextOf(settings->inputPath)) +
                            " ran out of memory.";
        } catch (const std::bad_alloc&) {
            report.reason = "The conversion ran out of memory.";
        }
    } catch (...) {
        report.reason = "The conversion stopped unexpectedly.";
    }
    report.outcome = RunOutcome::kFailed;
    platform::ShowMessage(messages, "Error", report.reason, platform::MessageIcon::kError);
    return report;
}

}  // namespace wizard
