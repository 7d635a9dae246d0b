// SPDX-License-Identifier: MIT
// The source page. Typing reloads the preview on every change, silently;
// the "Unable to load" box waits until a name is committed (chosen from the
// list, entered, or given on the command line), so that it never interrupts
// typing.
#include "wizard/source_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "wizard/recent_files.h"
#include "wizard/wizard_frame.h"

namespace wizard {

SourcePage::SourcePage(WizardFrame* frame) : QWizardPage(frame), m_frame(frame) {
    setObjectName(QStringLiteral("sourcePage"));
    setTitle(tr("Select CSV file"));
    setSubTitle(tr("Click 'Browse' button"));

    auto* label = new QLabel(tr("You should enter the name of a .csv file:"), this);
    m_oemBox = new QCheckBox(tr("OEM"), this);
    m_oemBox->setObjectName(QStringLiteral("oemBox"));
    m_oemBox->setEnabled(false);
    m_fileCombo = new QComboBox(this);
    m_fileCombo->setObjectName(QStringLiteral("sourceCombo"));
    m_fileCombo->setEditable(true);
    m_fileCombo->setInsertPolicy(QComboBox::NoInsert);
    m_fileCombo->lineEdit()->setMaxLength(static_cast<int>(engine::kPathCharacters));
    label->setBuddy(m_fileCombo);
    auto* browse = new QPushButton(tr("&Browse"), this);
    browse->setObjectName(QStringLiteral("browseButton"));
    m_preview = new QPlainTextEdit(this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setReadOnly(true);
    m_preview->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_preview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_oemBox, 0, 1);
    layout->addWidget(m_fileCombo, 1, 0);
    layout->addWidget(browse, 1, 1);
    layout->addWidget(m_preview, 2, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(2, 1);

    connect(m_fileCombo, &QComboBox::editTextChanged, this, &SourcePage::takeTypedName);
    connect(m_fileCombo, &QComboBox::activated, this, &SourcePage::takeChosenName);
    connect(m_fileCombo->lineEdit(), &QLineEdit::editingFinished, this, &SourcePage::finishTyping);
    connect(browse, &QPushButton::clicked, this, &SourcePage::browse);
    connect(m_oemBox, &QCheckBox::clicked, this, &SourcePage::switchOem);
}

void SourcePage::initializePage() {
    if (m_initialized) {
        return;
    }
    m_initialized = true;
    engine::ConversionSettings* settings = m_frame->settings();
    QString name = QString::fromUtf8(engine::TextOf(settings->inputPath));
    if (name.isEmpty()) {
        name = ReadWizardValue(QString::fromLatin1(kLastSourceValue));
        engine::CopyText(settings->inputPath, name.toStdString());
    }
    FillRecentList(m_fileCombo, QString::fromLatin1(kSourceList));
    m_fileCombo->setEditText(name);  // equal to inputPath, so no reload here
    if (!name.isEmpty()) {
        loadPreview(PreviewMode::kDetect);
        reportUnloadable();
    }
    engine::WriteStatus("Source file selection", settings);
    if (settings->batchMode != 0) {
        m_frame->pressNextLater(this);
    }
}

bool SourcePage::isComplete() const {
    return !m_preview->document()->isEmpty();
}

bool SourcePage::validatePage() {
    engine::ConversionSettings* settings = m_frame->settings();
    if (!isComplete()) {
        settings->batchMode = 0;
        return false;
    }
    const QString name = QString::fromUtf8(engine::TextOf(settings->inputPath));
    WriteWizardValue(QString::fromLatin1(kLastSourceValue), name);
    AddRecentItem(QString::fromLatin1(kSourceList), name);
    return true;
}

void SourcePage::takeTypedName(const QString& text) {
    takeName(text);
}

void SourcePage::takeChosenName(int index) {
    takeName(m_fileCombo->itemText(index));
    reportUnloadable();
}

void SourcePage::finishTyping() {
    reportUnloadable();
}

void SourcePage::browse() {
    const QString name = QFileDialog::getOpenFileName(
        this, tr("Open"), QString(), tr("CSV files (*.csv);;TXT files (*.txt);;All files (*)"));
    if (name.isEmpty()) {
        return;
    }
    engine::CopyText(m_frame->settings()->inputPath, name.toStdString());
    loadPreview(PreviewMode::kDetect);
    m_fileCombo->setEditText(name);
}

void SourcePage::switchOem() {
    engine::ConversionSettings* settings = m_frame->settings();
    loadPreview(settings->oemSource != 0 ? PreviewMode::kAsAnsi : PreviewMode::kAsOem);
}

void SourcePage::takeName(const QString& name) {
    engine::ConversionSettings* settings = m_frame->settings();
    const std::string bytes = name.toStdString();
    if (name.isEmpty() || bytes == engine::TextOf(settings->inputPath)) {
        return;
    }
    engine::CopyText(settings->inputPath, bytes);
    loadPreview(PreviewMode::kDetect);
}

void SourcePage::loadPreview(PreviewMode mode) {
    engine::ConversionSettings* settings = m_frame->settings();
    const Preview preview = LoadPreview(QString::fromUtf8(engine::TextOf(settings->inputPath)),
                                        mode, settings->inputCodePage);
    // Unicode input needs no OEM decision; the box then stays off.
    settings->oemSource = preview.legacy ? preview.oemSource : 0;
    m_oemBox->setEnabled(preview.legacy);
    m_oemBox->setChecked(settings->oemSource != 0);
    m_preview->setPlainText(preview.text);
    m_unloadable = !preview.opened;
    if (preview.opened) {
        m_reportedName.clear();
    }
    emit completeChanged();
}

void SourcePage::reportUnloadable() {
    const QString name = QString::fromUtf8(engine::TextOf(m_frame->settings()->inputPath));
    if (!m_unloadable || name == m_reportedName) {
        return;
    }
    m_reportedName = name;
    QMessageBox::critical(this, tr("Error"), QString::fromLatin1(kUnableToLoadText));
}

}  // namespace wizard
