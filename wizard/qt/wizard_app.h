// SPDX-License-Identifier: MIT
// The program's wizard mode: the Qt application around the wizard frame.
#pragma once

#include "engine/settings.h"

namespace wizard {

// True when Qt has somewhere to show windows: an X or Wayland display, or a
// platform plugin chosen through QT_QPA_PLATFORM.
bool HasDisplay();

// Shows the wizard on `settings` (which must outlive the call) and returns
// the program's exit status once the wizard has closed and any conversion
// still stopping after a cancel has ended. Without a display it says so on
// stderr and returns kExitNoWizard.
int RunWizard(engine::ConversionSettings* settings, int argc, char** argv);

}  // namespace wizard
