// SPDX-License-Identifier: MIT
#include "wizard/qt/command_line_box.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "wizard/core/wizard_core.h"

namespace wizard {
namespace {

// The text's lines are filled to this width; the title bar's buttons and
// icon take about the room added to the title's width.
constexpr int kTextWidth = 460;
constexpr int kTitleBarRoom = 140;

// Breaks each line at blanks only, so that no option is split ("/" then
// "OVERWRITE=0"); a line is at most `width` pixels wide where its arguments
// allow. Only blanks become line breaks, so the text stays the same apart
// from them.
QString WrapBetweenArguments(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList wrapped;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QStringList arguments = line.split(QLatin1Char(' '));
        QString current = arguments.front();
        for (qsizetype i = 1; i < arguments.size(); ++i) {
            const QString longer = current + QLatin1Char(' ') + arguments[i];
            if (metrics.horizontalAdvance(longer) > width && !current.trimmed().isEmpty() &&
                !arguments[i].isEmpty()) {
                wrapped.append(current);
                current = arguments[i];
            } else {
                current = longer;
            }
        }
        wrapped.append(current);
    }
    return wrapped.join(QLatin1Char('\n'));
}

}  // namespace

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

    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("commandLineText"));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setText(WrapBetweenArguments(text, label->fontMetrics(), kTextWidth));
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
    // Wide enough for the whole title, which the window system would cut.
    const QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    setMinimumWidth(QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + kTitleBarRoom);
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
