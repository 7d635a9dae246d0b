// SPDX-License-Identifier: MIT
#include "wizard/qt/completion_page.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <string>

#include "wizard/qt/artwork_painter.h"
#include "wizard/qt/command_line_box.h"
#include "wizard/qt/wizard_frame.h"

namespace wizard {

CompletionPage::CompletionPage(WizardFrame* frame)
    : QWizardPage(frame), m_frame(frame), m_model(frame->completionModel()) {
    setObjectName(QStringLiteral("completionPage"));
    // Only the two outer pages carry the watermark; the inner ones have the header.
    setPixmap(QWizard::WatermarkPixmap, WatermarkArt(kWatermarkColumn));
    m_titleLabel = new QLabel(tr("Conversion complete"), this);
    m_titleLabel->setObjectName(QStringLiteral("titleLabel"));
    m_titleLabel->setFont(frame->titleFont());
    auto* text = new QLabel(tr("Morvik wizard has finished its work."), this);
    m_countLabel = new QLabel(tr("0 records have been exported."), this);
    m_countLabel->setObjectName(QStringLiteral("countLabel"));
    m_countLabel->setWordWrap(true);
    m_countLabel->setTextFormat(Qt::PlainText);
    m_sheetLabel = new QLabel(this);
    m_sheetLabel->setObjectName(QStringLiteral("sheetLabel"));
    m_sheetLabel->setWordWrap(true);
    m_sheetLabel->setTextFormat(Qt::PlainText);
    m_openBox = new QCheckBox(tr("&Open new file"), this);
    m_openBox->setObjectName(QStringLiteral("openBox"));
    m_saveBox = new QCheckBox(tr("&Save new settings"), this);
    m_saveBox->setObjectName(QStringLiteral("saveBox"));
    auto* commandLine = new QPushButton(tr("Show &command line parameters"), this);
    commandLine->setObjectName(QStringLiteral("commandLineButton"));
    commandLine->setAutoDefault(false);
    connect(m_openBox, &QCheckBox::clicked, this, [this](bool on) { m_model.OpenClicked(on); });
    connect(m_saveBox, &QCheckBox::clicked, this, [this](bool on) { m_model.SaveClicked(on); });

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(commandLine);
    buttonRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_titleLabel);
    layout->addSpacing(12);
    layout->addWidget(text);
    layout->addWidget(m_countLabel);
    layout->addWidget(m_sheetLabel);
    layout->addSpacing(6);
    layout->addWidget(m_openBox);
    layout->addWidget(m_saveBox);
    layout->addSpacing(6);
    layout->addLayout(buttonRow);
    layout->addStretch(1);

    connect(commandLine, &QPushButton::clicked, this,
            [this] { ShowCommandLine(this, *m_frame->settings()); });
}

void CompletionPage::initializePage() {
    const bool pressFinish = m_model.Enter(m_frame->progressModel().report());
    m_titleLabel->setText(QString::fromLatin1(m_model.titleText()));
    m_countLabel->setText(QString::fromStdString(m_model.resultText()));
    m_sheetLabel->setText(QString::fromStdString(m_model.sheetText()));
    m_sheetLabel->setVisible(!m_model.sheetText().empty());
    m_frame->completionShown();
    m_openBox->setEnabled(m_model.openEnabled());
    m_openBox->setChecked(m_model.openChecked());
    m_saveBox->setChecked(m_model.saveChecked());
    m_openBox->setFocus();
    if (pressFinish) {
        m_frame->pressFinishLater();
    }
}

bool CompletionPage::validatePage() {
    const std::string workbook = m_model.Finish(engine::UserIniPath());
    if (!workbook.empty()) {
        openWorkbook(QString::fromStdString(workbook));
    }
    return true;
}

void CompletionPage::openWorkbook(const QString& path) {
    if (m_frame->openUrl(QUrl::fromLocalFile(path))) {
        return;
    }
    // No program takes the workbook: show its folder, where the user can
    // choose one.
    m_frame->openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

}  // namespace wizard
