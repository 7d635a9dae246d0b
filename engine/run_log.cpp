// SPDX-License-Identifier: MIT
// The run log "wizards.log" and the status file. Both are best effort: a
// failure to write them never stops a conversion and is not reported.
#include "engine/run_log.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <set>
#include <string>

#include "engine/settings.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile_file.h"

namespace engine {
namespace {

std::string LogMessage(const ConversionSettings* settings, std::uint32_t kind,
                       std::string_view text) {
    switch (kind) {
        case kLogStart:
            return "Start. " + std::string(TextOf(settings->inputPath)) + " -> " +
                   std::string(TextOf(settings->outputPath));
        case kLogStop:
            return "Stop. " + std::to_string(settings->recordCount) +
                   " records have been imported.";
        case kLogCannotCreate:
            return "Cannot create output file.";
        case kLogCannotOverwrite:
            return "Cannot overwrite an existing table.";
        case kLogCannotCreateTable:
            return "Cannot create a table. Try delete it.";
        default:
            return std::string(text);
    }
}

// Whether no status has been written to `path` yet by this process, which
// is one run of the program; marks it written. The wizard's pages and its
// worker both write status, hence the lock.
bool FirstStatusOfThisRun(const std::string& path) {
    static std::mutex mutex;
    static std::set<std::string> written;
    const std::lock_guard<std::mutex> lock(mutex);
    return written.insert(path).second;
}

}  // namespace

std::string RunLogPath() {
    const std::string folder = platform::AppDataFolder();
    if (folder.empty()) {
        return {};
    }
    return platform::JoinPath(folder, "wizards.log");
}

void WriteLogEntryTo(const std::string& logPath, std::string_view writer,
                     const ConversionSettings* settings, std::uint32_t kind,
                     std::string_view text) {
    if (logPath.empty()) {
        return;  // no application-data folder: the entry is dropped
    }
    platform::File file;
    std::string ignored;
    if (platform::OpenFileForAppending(logPath, file, ignored) != platform::FileStatus::kOk) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!platform::LocalTime(now, &local)) {
        return;
    }
    const std::string message = LogMessage(settings, kind, text);
    const std::string name(writer);
    // One write per entry, so entries of concurrent writers do not interleave;
    // the line break comes first, so the file starts with an empty line and
    // its last entry has no line end.
    char stamp[128];
    const int length = std::snprintf(stamp, sizeof stamp, "\n%04d.%02d.%02d %02d:%02d:%02d %-10s ",
                                     local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                     local.tm_hour, local.tm_min, local.tm_sec, name.c_str());
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof stamp) {
        return;
    }
    std::string entry(stamp, static_cast<std::size_t>(length));
    entry += message;
    (void)file.WriteAll(entry);  // best effort, like every log write
}

void WriteLogEntry(std::string_view writer, const ConversionSettings* settings, std::uint32_t kind,
                   std::string_view text) {
    WriteLogEntryTo(RunLogPath(), writer, settings, kind, text);
}

void WriteStatus(std::string_view text, const ConversionSettings* settings) {
    if (settings->statusPath[0] == '\0') {
        return;
    }
    const std::string path(TextOf(settings->statusPath));
    // Best effort: a status file that cannot be written is ignored.
    (void)platform::WriteProfileString("QUENDLE", "Result", text, path);
    if (FirstStatusOfThisRun(path)) {
        // The counts an earlier run left are not this run's. They go after
        // the new Result, so a reader never sees them beside an old end.
        (void)platform::WriteProfileString("QUENDLE", "Records", "0", path);
        (void)platform::WriteProfileString("QUENDLE", "Errors", "0", path);
    }
}

void WriteFinalStatus(std::string_view text, const ConversionSettings* settings, int errors) {
    if (settings->statusPath[0] == '\0') {
        return;
    }
    const std::string path(TextOf(settings->statusPath));
    (void)FirstStatusOfThisRun(path);  // the counts below are this run's
    // Best effort, like every status write.
    (void)platform::WriteProfileString("QUENDLE", "Records", std::to_string(settings->recordCount),
                                       path);
    (void)platform::WriteProfileString("QUENDLE", "Errors", std::to_string(errors), path);
    (void)platform::WriteProfileString("QUENDLE", "Result", text, path);
}

}  // namespace engine
