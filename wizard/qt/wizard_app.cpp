// SPDX-License-Identifier: MIT
#include "wizard/qt/wizard_app.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "wizard/exit_codes.h"
#include "wizard/qt/artwork_painter.h"
#include "wizard/qt/wizard_frame.h"

namespace wizard {
namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);  // read once at start-up, before any thread
    return value != nullptr && value[0] != '\0';
}

}  // namespace

bool HasDisplay() {
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM");
}

int RunWizard(engine::ConversionSettings* settings, int argc, char** argv) {
    if (!HasDisplay()) {
        // Qt would abort without a display; say what to do instead.
        std::fputs(
            "quendle: no display for the wizard (DISPLAY, WAYLAND_DISPLAY and "
            "QT_QPA_PLATFORM are unset); convert with /SILENT, see quendle --help.\n",
            stderr);
        return kExitNoWizard;
    }
    QApplication application(argc, argv);
    QApplication::setWindowIcon(ApplicationIcon());
    WizardFrame frame(settings);
    frame.exec();
    // After a cancel the worker stops before its next record and saves
    // what it has written; the record must live until then.
    frame.waitForWorker();
    return WizardExitStatus(frame.progressModel());
}

}  // namespace wizard
