// SPDX-License-Identifier: MIT
// The program's exit statuses, shared by its start-up, silent mode and both
// wizard views, and the status a closed wizard gives.
#pragma once

#include "wizard/core/wizard_core.h"

namespace wizard {

// Exit statuses of the program, for scripts.
inline constexpr int kExitSuccess = 0;           // every conversion succeeded
inline constexpr int kExitConversionFailed = 1;  // at least one conversion failed
inline constexpr int kExitNoInput = 2;           // no input name, or nothing matched it
inline constexpr int kExitNoWizard = 3;          // the wizard cannot be shown here
inline constexpr int kExitOutOfMemory = 4;       // the program ran out of memory
inline constexpr int kExitCancelled = 5;         // the wizard closed before its conversion ended

// The exit status after the wizard has closed: its last run's outcome, or
// kExitCancelled when no run ended (cancelled on a page or during the run).
inline int WizardExitStatus(const ProgressPageModel& progress) {
    if (!progress.finished()) {
        return kExitCancelled;
    }
    switch (progress.report().outcome) {
        case RunOutcome::kConverted:
            return kExitSuccess;
        case RunOutcome::kFailed:
            return kExitConversionFailed;
        case RunOutcome::kCancelled:
            break;
    }
    return kExitCancelled;
}

}  // namespace wizard
