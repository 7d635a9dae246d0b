// SPDX-License-Identifier: MIT
// The source page: binds the file name with its recent list, the preview,
// the encoding choice and the OEM box to the source page model.
#pragma once

#include "wizard/qt/fields_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace wizard {

class SourcePage : public FieldsPage<SourcePageModel> {
    Q_OBJECT

public:
    explicit SourcePage(WizardFrame* frame);

    void initializePage() override;

private:
    void refresh() override;

    QComboBox* m_fileCombo;
    QComboBox* m_encodingList;
    QCheckBox* m_oemBox;
    QPlainTextEdit* m_preview;
    QLabel* m_previewNote;
};

}  // namespace wizard
