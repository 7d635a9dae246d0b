// SPDX-License-Identifier: MIT
// The program's conversions without a window: the batch runner over the
// command line's pattern, messages on stderr, a progress line on a terminal.
#pragma once

#include "engine/settings.h"

namespace wizard {

// True when the settings ask for a conversion without the wizard: SILENT,
// or BATCH with a wildcard in the input name.
bool IsSilentRun(const engine::ConversionSettings& settings);

// Runs the batch and writes the final status; gives the exit status.
int RunSilent(engine::ConversionSettings* settings);

}  // namespace wizard
