// SPDX-License-Identifier: MIT
// Command-line export. The pieces keep the order users have long pasted
// into scripts, including ALLCHAR twice; parsing the text back gives the
// same settings except what the parameter language cannot carry (blanks in
// names, overwrite mode 2, empty character sets, header and log flags).
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

namespace wizard {
namespace {

void AppendPiece(std::string& text, std::string_view piece) {
    text.append(piece);
}

void AppendValue(std::string& text, std::string_view keyword, std::string_view value,
                 std::string_view after = " ") {
    text.append(keyword);
    text.append(value);
    text.append(after);
}

const char* OnOff(std::int32_t flag, const char* on, const char* off) {
    return flag != 0 ? on : off;
}

}  // namespace

std::string CommandLineText(const engine::ConversionSettings& s) {
    std::string text;
    text.reserve(512);
    AppendValue(text, "", engine::TextOf(s.outputPath));
    if (!engine::TextOf(s.tableName).empty()) {
        AppendValue(text, "/TABLENAME=", engine::TextOf(s.tableName));
    }
    AppendValue(text, "", engine::TextOf(s.inputPath));
    AppendPiece(text, OnOff(s.overwriteFile, "/OVERWRITE=1 ", "/OVERWRITE=0 "));
    AppendPiece(text, s.overwriteTable == 1   ? "/OVERWRITETABLE=1 "
                      : s.overwriteTable == 2 ? "/OVERWRITETABLE=SKIP "
                                              : "/OVERWRITETABLE=0 ");
    switch (s.dateMode) {
        case 1:
            AppendPiece(text, "/MM.DD.YYYY ");
            break;
        case 2:
            AppendPiece(text, "/DD.MM.YYYY ");
            break;
        case 3:
            AppendPiece(text, "/YYYY.MM.DD ");
            break;
        default:
            AppendPiece(text, "/AUTODATE ");
            break;  // 4 and the detected 11-13 too
    }
    const char* allChar = OnOff(s.allCharacter, "/ALLCHAR=1 ", "/ALLCHAR=0 ");
    AppendPiece(text, allChar);
    AppendPiece(text, OnOff(s.dropFlag, "/DROP=1 ", "/DROP=0 "));
    if (s.importRecords == 0) {
        AppendPiece(text, "/RECORDS=0 ");
    }
    if (s.maxLength != 0) {
        AppendValue(text, "/MAXLEN=", std::to_string(s.maxLength));
    }
    AppendPiece(text, OnOff(s.typesInFile, "/TYPESINFILE=1 ", "/TYPESINFILE=0 "));
    if (s.fieldTypes != nullptr) {
        AppendValue(text, "/FIELDTYPES=", s.fieldTypes.get());
    }
    AppendPiece(text, OnOff(s.workbookType, "/TYPE=2007 ", "/TYPE=ANY "));
    if (s.delimiter == '\t') {
        AppendPiece(text, "/FIELDS=TAB ");
    } else if (s.delimiter == '|') {
        AppendPiece(text, "/FIELDS=PIPE ");
    } else {
        AppendValue(text, "/FIELDS=", std::string_view(&s.delimiter, 1));
    }
    AppendPiece(text, allChar);
    if (!engine::TextOf(s.numericChars).empty()) {
        AppendValue(text, "/NUMERIC=", engine::TextOf(s.numericChars), "  ");
    }
    if (!engine::TextOf(s.booleanChars).empty()) {
        AppendValue(text, "/BOOLEAN=", engine::TextOf(s.booleanChars), "  ");
    }
    if (!engine::TextOf(s.orderText).empty()) {
        AppendValue(text, "/ORDER=", engine::TextOf(s.orderText));
    }
    for (const engine::OwnedText& entry : s.typeOverrides) {
        if (entry != nullptr) {
            AppendValue(text, "/CT:", entry.get());
        }
    }
    if (!engine::TextOf(s.statusPath).empty()) {
        AppendValue(text, "/STATUS=", engine::TextOf(s.statusPath));
    }
    if (s.inputCodePage != 0) {
        AppendValue(text, "/CODEPAGE=",
                    s.inputCodePage == platform::kCodePageUtf8 ? std::string("UTF-8")
                                                               : std::to_string(s.inputCodePage));
    }
    AppendPiece(text, OnOff(s.openResult, "/OPEN=1 ", "/OPEN=0 "));
    if (s.batchMode != 0) {
        AppendPiece(text, "/BATCH ");
    }
    if (s.waitAtEnd != 0) {
        AppendPiece(text, "/WAIT ");
    }
    AppendPiece(text, "\n/SILENT ");
    return text;
}

CommandLineDialog::CommandLineDialog(const QString& text, QWidget* parent)
    : QDialog(parent), m_text(text) {
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

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* copy = buttons->addButton(tr("&Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("copyButton"));
    copy->setAutoDefault(false);
    connect(copy, &QPushButton::clicked, this, &CommandLineDialog::copyText);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(label, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

QString CommandLineDialog::copyAllText() const {
    // The layout a Windows message box puts on the clipboard, so that
    // instructions written for it hold here too.
    const QString rule = QStringLiteral("---------------------------\n");
    return rule + windowTitle() + QLatin1Char('\n') + rule + m_text + QLatin1Char('\n') + rule +
           QStringLiteral("OK\n") + rule;
}

void CommandLineDialog::copyText() {
    QApplication::clipboard()->setText(m_text);
}

void CommandLineDialog::copyAll() {
    QApplication::clipboard()->setText(copyAllText());
}

void CommandLineDialog::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copyAll();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ShowCommandLine(QWidget* owner, const engine::ConversionSettings& settings) {
    CommandLineDialog dialog(QString::fromStdString(CommandLineText(settings)), owner);
    dialog.exec();
}

}  // namespace wizard
