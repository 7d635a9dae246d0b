// SPDX-License-Identifier: MIT
// The source page: the CSV file's name with its recent list, a preview of
// the file's start and the OEM box for input in a legacy code page.
#pragma once

#include <QWizardPage>

#include "wizard/source_preview.h"

class QCheckBox;
class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace wizard {

class WizardFrame;

inline constexpr char kUnableToLoadText[] = "Unable to load this CSV file. ";

class SourcePage : public QWizardPage {
    Q_OBJECT

public:
    explicit SourcePage(WizardFrame* frame);

    void initializePage() override;
    bool validatePage() override;
    bool isComplete() const override;

private slots:
    void takeTypedName(const QString& text);
    void takeChosenName(int index);
    void finishTyping();
    void browse();
    void switchOem();

private:
    // Takes `name` as the source unless it is empty or already taken.
    void takeName(const QString& name);
    void loadPreview(PreviewMode mode);
    // Shows "Unable to load" once per name that could not be opened.
    void reportUnloadable();

    WizardFrame* m_frame;
    QComboBox* m_fileCombo;
    QCheckBox* m_oemBox;
    QPlainTextEdit* m_preview;
    bool m_initialized = false;
    bool m_unloadable = false;
    QString m_reportedName;
};

}  // namespace wizard
