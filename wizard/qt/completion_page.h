// SPDX-License-Identifier: MIT
// The last page: binds the run's result, opening the new workbook, saving
// three options for the next start and the command-line export to the
// completion page model.
#pragma once

#include <QWizardPage>

class QCheckBox;
class QLabel;

namespace wizard {

class CompletionPageModel;
class WizardFrame;

class CompletionPage : public QWizardPage {
    Q_OBJECT

public:
    explicit CompletionPage(WizardFrame* frame);

    void initializePage() override;
    // Finish: saves the settings and opens the workbook as the model says.
    bool validatePage() override;

private:
    void openWorkbook(const QString& path);

    WizardFrame* m_frame;
    CompletionPageModel& m_model;
    QLabel* m_titleLabel;
    QLabel* m_countLabel;
    QLabel* m_sheetLabel;
    QCheckBox* m_openBox;
    QCheckBox* m_saveBox;
};

}  // namespace wizard
