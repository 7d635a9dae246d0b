// SPDX-License-Identifier: MIT
// The output page: binds the workbook's name with its recent list and the
// options the wizard offers to the output page model.
#pragma once

#include "wizard/qt/fields_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace wizard {

class OutputPage : public FieldsPage<OutputPageModel> {
    Q_OBJECT

public:
    explicit OutputPage(WizardFrame* frame);

    void initializePage() override;

private:
    void browse();
    void refresh() override;

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
