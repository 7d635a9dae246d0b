// SPDX-License-Identifier: MIT
// Silent mode. Message boxes become "<caption>: <text>" lines on stderr and
// nothing waits for a user; a long conversion shows its progress on stderr
// when that is a terminal, and a wait for a workbook another conversion
// holds is said on stderr in any case.
#include "wizard/silent_mode.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/batch_runner.h"
#include "engine/conversion_run.h"
#include "engine/run_log.h"
#include "engine/settings.h"
#include "platform/console.h"
#include "platform/find_files.h"
#include "wizard/exit_codes.h"

namespace wizard {
namespace {

// Redraws one stderr line at most a few times a second.
class TerminalProgress {
public:
    TerminalProgress() = default;
    ~TerminalProgress() {
        if (drawn_) {
            platform::WriteStandardError("\r\033[K");  // leave a clean line for what follows
        }
    }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // Progress lines only on a terminal, where they can be redrawn.
    engine::ProgressReporter reporter(bool showPosition) {
        engine::ProgressReporter r;
        r.context = this;
        if (showPosition) {
            r.showPosition = [](void* context, std::int64_t position, std::int64_t size,
                                std::int32_t records, std::int64_t) {
                static_cast<TerminalProgress*>(context)->Show(position, size, records);
            };
        }
        r.showWaiting = [](void* context, std::string_view text) {
            static_cast<TerminalProgress*>(context)->ShowWaiting(text);
        };
        return r;
    }

private:
    void ShowWaiting(std::string_view text) {
        if (drawn_) {
            platform::WriteStandardError("\r\033[K");
            drawn_ = false;
        }
        platform::WriteStandardError("Waiting: " + std::string(text) + "\n");
    }

    void Show(std::int64_t position, std::int64_t size, std::int32_t records) {
        // Reading the clock on every record would cost more than the record.
        if ((++calls_ & 1023) != 1) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (drawn_ && now - lastDrawn_ < std::chrono::milliseconds(200)) {
            return;
        }
        lastDrawn_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        char line[160];
        const int length = std::snprintf(
            line, sizeof line, "\r\033[K%.1f of %.1f MB read, %d records, %.0f s elapsed",
            static_cast<double>(position) / 1e6, static_cast<double>(size) / 1e6, records, elapsed);
        if (length > 0) {
            platform::WriteStandardError(std::string_view(
                line, static_cast<std::size_t>(std::min<int>(length, sizeof line - 1))));
            drawn_ = true;
        }
    }

    unsigned calls_ = 0;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn_{};
};

}  // namespace

bool IsSilentRun(const engine::ConversionSettings& settings) {
    return settings.silentMode != 0 ||
           (settings.batchMode != 0 && platform::HasWildcard(engine::TextOf(settings.inputPath)));
}

int RunSilent(engine::ConversionSettings* settings) {
    if (settings->refusedPaths != 0) {
        // The parser named each refused path. The run has ended, and failed:
        // a poller must not go on reading an earlier run's result.
        engine::WriteFinalStatus("Successful", settings, 1);
        return kExitConversionFailed;
    }
    // Said once for the batch, whichever file comes first.
    if ((settings->freezeHeader != 0 || settings->autoFilter != 0) && settings->hasHeader != 1) {
        const char* options = settings->freezeHeader != 0 && settings->autoFilter != 0
                                  ? "/FREEZEHEADER and /AUTOFILTER act"
                              : settings->freezeHeader != 0 ? "/FREEZEHEADER acts"
                                                            : "/AUTOFILTER acts";
        std::fprintf(stderr, "quendle: %s on a title line, which only /HEADER=1 gives; ignored.\n",
                     options);
    }
    engine::BatchResult result;
    {
        TerminalProgress terminal;
        const engine::ProgressReporter reporter =
            terminal.reporter(platform::StandardErrorIsTerminal());
        engine::RunOwner owner;
        owner.progress = &reporter;
        owner.notes = true;
        result = engine::BatchRunner(&owner, settings, engine::BatchVariant::kProgram);
    }
    // "Successful" tells a poller that the batch has ended; the counts tell
    // it whether every conversion worked.
    engine::WriteFinalStatus("Successful", settings, result.failed);
    if (result.matched == 0) {
        std::string_view input = engine::TextOf(settings->inputPath);
        std::fprintf(stderr, "quendle: %s%.*s\n",
                     input.empty() ? "no input file was named" : "nothing matches ",
                     static_cast<int>(input.size()), input.data());
        return kExitNoInput;
    }
    return result.failed > 0 ? kExitConversionFailed : kExitSuccess;
}

}  // namespace wizard
