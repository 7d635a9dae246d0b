// SPDX-License-Identifier: MIT
// The completion page's rules. A run that saved nothing says so and never
// offers to open a workbook; a cancelled run saved what it had converted,
// which can be opened.
#include "engine/run_log.h"
#include "platform/profile_file.h"
#include "wizard/core/wizard_core.h"

namespace wizard {
namespace {

void WriteCommonKey(std::string_view key, std::int32_t value, const std::string& path) {
    // Best effort: the wizard closes whether or not the file could be written.
    static_cast<void>(platform::WriteProfileString("Common", key, std::to_string(value), path));
}

std::string FirstSheetText(const engine::SheetOutcome& sheet, std::string_view workbook) {
    const std::string name = "the sheet \"" + sheet.name + "\"";
    switch (sheet.kind) {
        case engine::SheetOutcome::Kind::kAdded:
            return "Added " + name + " to " + std::string(workbook) + ".";
        case engine::SheetOutcome::Kind::kAppended:
            return "Appended below the rows of " + name + " in " + std::string(workbook) +
                   ", from row " + std::to_string(sheet.firstRow + 1) + ".";
        case engine::SheetOutcome::Kind::kReplaced:
            return "Replaced " + name + " in " + std::string(workbook) + ".";
        case engine::SheetOutcome::Kind::kNone:
            break;
    }
    return {};
}

// SPLITROWS's sheets follow the first one's line.
std::string SheetText(const engine::SheetOutcome& sheet, std::string_view workbook) {
    std::string text = FirstSheetText(sheet, workbook);
    if (text.empty() || sheet.continued.empty()) {
        return text;
    }
    text += " The records went on in";
    for (std::size_t i = 0; i < sheet.continued.size(); ++i) {
        text += (i == 0 ? " \"" : ", \"") + sheet.continued[i] + "\"";
    }
    text += ": " + std::to_string(sheet.continued.size() + 1) + " sheets written.";
    return text;
}

}  // namespace

void SaveCommonSettings(const engine::ConversionSettings& settings, const std::string& iniPath) {
    if (iniPath.empty()) {
        return;
    }
    const std::string folder = platform::FolderOf(iniPath);
    if (!folder.empty()) {
        static_cast<void>(platform::CreateFolders(folder));  // a failure shows in the writes
    }
    WriteCommonKey("Log", settings.logEnabled, iniPath);
    WriteCommonKey("OverWrite", settings.overwriteFile, iniPath);
    WriteCommonKey("Open", settings.openResult, iniPath);
}

CompletionPageModel::CompletionPageModel(engine::ConversionSettings* settings)
    : m_settings(settings) {}

bool CompletionPageModel::Enter(const RunReport& report) {
    const bool first = !m_entered;
    m_entered = true;
    m_failed = report.outcome == RunOutcome::kFailed;
    if (m_failed) {
        m_resultText = "Conversion failed: " + report.reason;
    } else if (m_settings->recordCount != 0) {
        m_resultText = std::to_string(m_settings->recordCount) + " records have been imported.";
    } else {
        m_resultText = "0 records have been exported.";
    }
    for (const std::string& warning : report.warnings) {
        m_resultText += "\n" + warning;
    }
    // A failed run saved nothing, whatever it had prepared.
    m_sheetText =
        m_failed ? std::string() : SheetText(report.sheet, engine::TextOf(m_settings->outputPath));
    if (first) {
        m_open = !m_failed && m_settings->openResult != 0;
    }
    m_openEnabled = !m_failed;
    m_open = m_open && m_openEnabled;
    if (m_settings->logEnabled != 0) {
        engine::WriteLogEntry("QUENDLE", m_settings, engine::kLogStop, "");
    }
    // "Successful" marks the end of the wizard; Errors tells how the run went.
    engine::WriteFinalStatus("Successful", m_settings, m_failed ? 1 : 0);
    return first && m_settings->batchMode != 0 && m_settings->waitAtEnd == 0;
}

std::string CompletionPageModel::Finish(const std::string& userIniPath) {
    if (m_save) {
        SaveCommonSettings(*m_settings, userIniPath);
    }
    if (!m_open || !m_openEnabled) {
        return {};
    }
    return std::string(engine::TextOf(m_settings->outputPath));
}

}  // namespace wizard
