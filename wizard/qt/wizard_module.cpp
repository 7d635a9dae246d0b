// SPDX-License-Identifier: MIT
// The wizard as a module that the program loads only when it shows a window,
// so silent conversions neither load Qt nor need it installed.
#include "wizard/qt/wizard_app.h"

extern "C" __attribute__((visibility("default"))) int QuendleRunWizard(
    engine::ConversionSettings* settings, int argc, char** argv) {
    return wizard::RunWizard(settings, argc, argv);
}
