// SPDX-License-Identifier: MIT
// The output page: binds the workbook's name with its recent list and the
// options the wizard offers to the output page model.
#pragma once

#include <QWizardPage>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace wizard {

class OutputPageModel;
class WizardFrame;

class OutputPage : public QWizardPage {
    Q_OBJECT

public:
    explicit OutputPage(WizardFrame* frame);

    void initializePage() override;
    bool validatePage() override;
    bool isComplete() const override;

private:
    void browse();
    // Shows what the model holds now, and any message it has.
    void refresh();

    WizardFrame* m_frame;
    OutputPageModel& m_model;
    QComboBox* m_fileCombo;
    QCheckBox* m_overwriteFileBox;
    QCheckBox* m_overwriteTableBox;
    QComboBox* m_typeList;
    QComboBox* m_dateList;
    QComboBox* m_decimalList;
    QComboBox* m_delimiterCombo;
    QCheckBox* m_allCharacterBox;
    QLineEdit* m_numericEdit;
    QLineEdit* m_booleanEdit;
    QCheckBox* m_typesInFileBox;
};

}  // namespace wizard
