// SPDX-License-Identifier: MIT
// The welcome page's and the progress page's rules: status texts, the run
// log's start entry, one worker per wizard, and cancelling a run.
#include "engine/run_log.h"
#include "wizard/core/wizard_core.h"

namespace wizard {

bool WelcomePageModel::Enter() {
    if (m_entered) {
        return false;
    }
    m_entered = true;
    engine::WriteStatus("Welcome dialog", m_settings);
    return m_settings->batchMode != 0;
}

bool ProgressPageModel::Enter() {
    // Back is off here and, after a run that saved its workbook, on the
    // completion page, so such a run is the wizard's only one. After a
    // failure the user may go back, correct the output and run again.
    if (m_started && !retryAllowed()) {
        return false;
    }
    if (m_started) {
        m_settings->recordCount = 0;  // the failed run's count is no part of the new one
    }
    m_started = true;
    m_finished = false;
    m_report = RunReport{};
    if (m_settings->logEnabled != 0) {
        engine::WriteLogEntry("QUENDLE", m_settings, engine::kLogStart, "");
    }
    return true;
}

void ProgressPageModel::Cancel() {
    if (!running()) {
        return;  // cancelling on another page writes no status
    }
    engine::WriteStatus("Cancelled", m_settings);
    m_settings->cancelRequested.store(1);
}

void ProgressPageModel::Finished(RunReport report) {
    m_finished = true;
    m_report = std::move(report);
}

}  // namespace wizard
