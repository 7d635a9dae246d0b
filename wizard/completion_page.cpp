// SPDX-License-Identifier: MIT
#include "wizard/completion_page.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <string>

#include "wizard/artwork.h"
#include "wizard/command_line.h"
#include "wizard/wizard_frame.h"

namespace wizard {
namespace {

void WriteCommonKey(std::string_view key, std::int32_t value, const std::string& path) {
    // Best effort: the wizard closes whether or not the file could be written.
    static_cast<void>(platform::WriteProfileString("Common", key, std::to_string(value), path));
}

}  // namespace

void SaveCommonSettings(const engine::ConversionSettings& settings) {
    const std::string path = engine::UserIniPath();
    if (path.empty()) {
        return;
    }
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    WriteCommonKey("Log", settings.logEnabled, path);
    WriteCommonKey("OverWrite", settings.overwriteFile, path);
    WriteCommonKey("Open", settings.openResult, path);
}

CompletionPage::CompletionPage(WizardFrame* frame) : QWizardPage(frame), m_frame(frame) {
    setObjectName(QStringLiteral("completionPage"));
    // Only the two outer pages carry the watermark; the inner ones have the header.
    setPixmap(QWizard::WatermarkPixmap, WatermarkArt(kWatermarkColumn));
    auto* title = new QLabel(tr("Conversion complete"), this);
    title->setFont(frame->titleFont());
    auto* text = new QLabel(tr("Morvik wizard has finished its work."), this);
    m_countLabel = new QLabel(tr("0 records have been exported."), this);
    m_countLabel->setObjectName(QStringLiteral("countLabel"));
    m_openBox = new QCheckBox(tr("Open new file"), this);
    m_openBox->setObjectName(QStringLiteral("openBox"));
    m_saveBox = new QCheckBox(tr("Save new settings"), this);
    m_saveBox->setObjectName(QStringLiteral("saveBox"));
    auto* commandLine = new QPushButton(tr("Show command line parameters"), this);
    commandLine->setObjectName(QStringLiteral("commandLineButton"));
    commandLine->setAutoDefault(false);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(commandLine);
    buttonRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addSpacing(12);
    layout->addWidget(text);
    layout->addWidget(m_countLabel);
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
    engine::ConversionSettings* settings = m_frame->settings();
    if (!m_initialized) {
        m_initialized = true;
        m_openBox->setChecked(settings->openResult != 0);
        if (settings->batchMode != 0 && settings->waitAtEnd == 0) {
            m_frame->pressFinishLater();
        }
    }
    if (settings->logEnabled != 0) {
        engine::WriteLogEntry("QUENDLE", settings, engine::kLogStop, "");
    }
    engine::WriteStatus("Successful", settings);
    if (settings->recordCount != 0) {
        m_countLabel->setText(tr("%1 records have been imported.").arg(settings->recordCount));
    }
}

bool CompletionPage::validatePage() {
    const engine::ConversionSettings& settings = *m_frame->settings();
    if (m_saveBox->isChecked()) {
        SaveCommonSettings(settings);
    }
    if (m_openBox->isChecked()) {
        openWorkbook();
    }
    return true;
}

void CompletionPage::openWorkbook() {
    const QString path = QString::fromUtf8(engine::TextOf(m_frame->settings()->outputPath));
    if (m_frame->openUrl(QUrl::fromLocalFile(path))) {
        return;
    }
    // No program takes the workbook: show its folder, where the user can
    // choose one.
    m_frame->openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

}  // namespace wizard
