// SPDX-License-Identifier: MIT
// The run log and the status file, both written on a best-effort basis.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/settings.h"

namespace engine {

// Run-log message kinds; any other kind logs the caller's text.
enum LogKind : std::uint32_t {
    kLogStart = 0,         // "Start. %s -> %s"
    kLogStop = 1,          // "Stop. %d records have been imported."
    kLogCannotCreate = 2,  // "Cannot create output file."
    kLogCannotOverwrite = 3,
    kLogCannotCreateTable = 4,
    kLogOwnText = 5,  // the text passed in
};

// The run log's full path: <app-data folder>/wizards.log; empty when there is
// no app-data folder.
std::string RunLogPath();

// Appends one entry to the run log. Best effort: a log that cannot be opened
// or written loses the entry, and nothing is reported.
void WriteLogEntry(std::string_view writer, const ConversionSettings* settings, std::uint32_t kind,
                   std::string_view text);

// The same, to the log file named.
void WriteLogEntryTo(const std::string& logPath, std::string_view writer,
                     const ConversionSettings* settings, std::uint32_t kind, std::string_view text);

// Sets "Result" of section "QUENDLE" in the status file to `text` when a
// status file is named; the process's first status write to that file also
// sets "Records" and "Errors" to 0, so that no earlier run's counts stand
// beside this run's stages. Best effort: failures are ignored.
void WriteStatus(std::string_view text, const ConversionSettings* settings);

// The final status of a silent batch: "Records" (recordCount) and "Errors"
// (failed conversions) beside "Result", written before it, so that a reader
// that sees the final Result also sees the counts. Best effort.
void WriteFinalStatus(std::string_view text, const ConversionSettings* settings, int errors);

}  // namespace engine
