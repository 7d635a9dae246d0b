// SPDX-License-Identifier: MIT
// The last page: the record count, opening the new workbook, saving three
// options for the next start, and the command-line export.
#pragma once

#include <QWizardPage>

#include "engine/engine.h"

class QCheckBox;
class QLabel;

namespace wizard {

class WizardFrame;

// Writes "Log", "OverWrite" and "Open" of section "Common" into the per-user
// INI file, creating its folder. Failures are ignored.
void SaveCommonSettings(const engine::ConversionSettings& settings);

class CompletionPage : public QWizardPage {
    Q_OBJECT

public:
    explicit CompletionPage(WizardFrame* frame);

    void initializePage() override;
    // Finish: saves the settings and opens the workbook as the boxes say.
    bool validatePage() override;

private:
    void openWorkbook();

    WizardFrame* m_frame;
    QLabel* m_countLabel;
    QCheckBox* m_openBox;
    QCheckBox* m_saveBox;
    bool m_initialized = false;
};

}  // namespace wizard
