// SPDX-License-Identifier: MIT
#include "wizard/command_line.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "wizard/core/wizard_core.h"

namespace wizard {

CommandLineDialog::CommandLineDialog(const QString& text, const QString& readyToRun,
                                     QWidget* parent)
    : QDialog(parent), m_readyToRun(readyToRun) {
    setWindowTitle(QString::fromLatin1(kCommandLineCaption));
    setObjectName(QStringLiteral("commandLineDialog"));

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto* label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("commandLineText"));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    label->setMinimumWidth(420);
    m_copiedLabel = new QLabel(this);
    m_copiedLabel->setObjectName(QStringLiteral("copiedLabel"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* copy = buttons->addButton(tr("&Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("copyButton"));
    copy->setAutoDefault(false);
    connect(copy, &QPushButton::clicked, this, &CommandLineDialog::copyReadyToRun);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(label, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(m_copiedLabel);
    layout->addWidget(buttons);
}

void CommandLineDialog::copyReadyToRun() {
    QApplication::clipboard()->setText(m_readyToRun);
    m_copiedLabel->setText(QString::fromLatin1(kCopiedText));
}

void CommandLineDialog::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copyReadyToRun();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ShowCommandLine(QWidget* owner, const engine::ConversionSettings& settings) {
    const std::string readyToRun =
        ReadyToRunCommandLine(settings, platform::ProgramPath(), platform::NativeShellQuoting());
    CommandLineDialog dialog(QString::fromStdString(CommandLineText(settings)),
                             QString::fromStdString(readyToRun), owner);
    dialog.exec();
}

}  // namespace wizard
