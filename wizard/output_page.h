// SPDX-License-Identifier: MIT
// The output page: the workbook's name with its recent list and the
// options the wizard offers. Every control writes its settings field at once,
// except the character sets and the type, which are taken again on Next.
#pragma once

#include <QWizardPage>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace wizard {

class WizardFrame;

// The delimiter box takes at most this many characters; the numeric and
// boolean sets at most kCharacterSetLength.
inline constexpr int kDelimiterTextLength = 16;
inline constexpr int kCharacterSetLength = 30;

// Keeps a name's extension in step with the workbook type: for .xlsx (1) a
// name ending in "xls" (any case) gets an "x", unless it already has the
// longest length a path may have; for .xls (0) a name ending in "xlsx" loses
// its last letter. Other names come back unchanged.
QString FixExtension(const QString& name, int workbookType);

// The delimiter a text in the delimiter box stands for: "TAB" and "PIPE" (any
// case) name the tab and the vertical bar, an empty text the comma, any other
// text its first character.
char DelimiterFromText(const QString& text);

class OutputPage : public QWizardPage {
    Q_OBJECT

public:
    explicit OutputPage(WizardFrame* frame);

    void initializePage() override;
    bool validatePage() override;
    bool isComplete() const override;

private slots:
    // After any control changes: fixes the name's extension and takes it.
    void takeOutputName();
    void browse();
    void takeDelimiter(const QString& text);
    void takeAllCharacter(bool checked);

private:
    WizardFrame* m_frame;
    QComboBox* m_fileCombo;
    QCheckBox* m_overwriteFileBox;
    QCheckBox* m_overwriteTableBox;
    QComboBox* m_typeList;
    QComboBox* m_dateList;
    QComboBox* m_delimiterCombo;
    QCheckBox* m_allCharacterBox;
    QLineEdit* m_numericEdit;
    QLineEdit* m_booleanEdit;
    QCheckBox* m_typesInFileBox;
    bool m_initialized = false;
    bool m_fixing = false;
};

}  // namespace wizard
