// SPDX-License-Identifier: MIT
// The source page: binds the file name with its recent list, the preview,
// the encoding choice and the OEM box to the source page model.
#pragma once

#include <QWizardPage>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace wizard {

class SourcePageModel;
class WizardFrame;

class SourcePage : public QWizardPage {
    Q_OBJECT

public:
    explicit SourcePage(WizardFrame* frame);

    void initializePage() override;
    bool validatePage() override;
    bool isComplete() const override;

private:
    // Shows what the model holds now, and any message it has.
    void refresh();

    WizardFrame* m_frame;
    SourcePageModel& m_model;
    QComboBox* m_fileCombo;
    QComboBox* m_encodingList;
    QCheckBox* m_oemBox;
    QPlainTextEdit* m_preview;
    QLabel* m_previewNote;
};

}  // namespace wizard
