// SPDX-License-Identifier: MIT
#include "wizard/qt/source_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "wizard/qt/wizard_frame.h"

namespace wizard {

SourcePage::SourcePage(WizardFrame* frame) : FieldsPage(frame, frame->sourceModel()) {
    setObjectName(QStringLiteral("sourcePage"));
    setTitle(tr("Select CSV file"));
    setSubTitle(tr("Click 'Browse' button"));

    auto* label = new QLabel(tr("You should enter the name of a .csv file:"), this);
    m_oemBox = new QCheckBox(tr("OEM"), this);
    m_oemBox->setObjectName(QStringLiteral("oemBox"));
    m_fileCombo = newNameCombo(QStringLiteral("sourceCombo"), label);
    auto* browse = newBrowseButton(tr("&Browse"));
    m_encodingList = new QComboBox(this);
    m_encodingList->setObjectName(QStringLiteral("encodingList"));
    for (const EncodingChoice& choice : m_model.encodings()) {
        m_encodingList->addItem(QString::fromStdString(choice.name));
    }
    auto* encodingLabel = new QLabel(tr("&Encoding:"), this);
    encodingLabel->setBuddy(m_encodingList);
    m_preview = new QPlainTextEdit(this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setReadOnly(true);
    m_preview->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_preview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Not every style marks a focused text field; a person tabbing through
    // the page must see where the focus is.
    m_preview->setStyleSheet(
        QStringLiteral("QPlainTextEdit#preview:focus { border: 2px solid palette(highlight); }"));

    auto* encodingRow = new QHBoxLayout;
    encodingRow->addWidget(encodingLabel);
    encodingRow->addWidget(m_encodingList);
    encodingRow->addStretch(1);
    encodingRow->addWidget(m_oemBox);
    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0, 1, 2);
    layout->addWidget(m_fileCombo, 1, 0);
    layout->addWidget(browse, 1, 1);
    layout->addLayout(encodingRow, 2, 0, 1, 2);
    layout->addWidget(m_preview, 3, 0, 1, 2);
    m_previewNote = new QLabel(this);
    m_previewNote->setObjectName(QStringLiteral("previewNote"));
    m_previewNote->setTextFormat(Qt::PlainText);
    m_previewNote->setWordWrap(true);
    m_previewNote->hide();
    layout->addWidget(m_previewNote, 4, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(3, 1);
    setTabOrder(m_fileCombo, browse);
    setTabOrder(browse, m_encodingList);
    setTabOrder(m_encodingList, m_oemBox);
    setTabOrder(m_oemBox, m_preview);

    connect(m_fileCombo, &QComboBox::editTextChanged, this, [this](const QString& text) {
        m_model.NameEdited(text.toStdString());
        refresh();
    });
    connect(m_fileCombo, &QComboBox::activated, this, [this](int index) {
        m_model.NameChosen(m_fileCombo->itemText(index).toStdString());
        refresh();
    });
    connect(m_fileCombo->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        m_model.NameCommitted();
        refresh();
    });
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString name = QFileDialog::getOpenFileName(
            this, tr("Open"), QString::fromStdString(m_model.browseFolder()),
            tr("CSV files (*.csv);;TXT files (*.txt);;All files (*)"));
        m_model.FileBrowsed(name.toStdString());
        refresh();
    });
    connect(m_oemBox, &QCheckBox::clicked, this, [this] {
        m_model.OemClicked();
        refresh();
    });
    connect(m_encodingList, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_model.EncodingChosen(static_cast<std::size_t>(index));
        refresh();
    });
}

void SourcePage::initializePage() {
    const bool pressNext = m_model.Enter();
    entered(pressNext, m_fileCombo);
}

void SourcePage::refresh() {
    {
        const QSignalBlocker comboBlocker(m_fileCombo);
        const QSignalBlocker listBlocker(m_encodingList);
        const QString name = QString::fromStdString(m_model.nameText());
        if (m_fileCombo->currentText() != name) {
            m_fileCombo->setEditText(name);
        }
        m_encodingList->setCurrentIndex(static_cast<int>(m_model.encodingIndex()));
        m_oemBox->setEnabled(m_model.oemEnabled());
        m_oemBox->setChecked(m_model.oemChecked());
        const QString preview = QString::fromStdString(m_model.previewText());
        if (m_preview->toPlainText() != preview) {
            m_preview->setPlainText(preview);
        }
        m_previewNote->setText(QString::fromStdString(m_model.previewNote()));
        m_previewNote->setVisible(!m_model.previewNote().empty());
    }
    emit completeChanged();
    m_frame->showPageMessage(m_model.TakeMessage(), this);
}

}  // namespace wizard
