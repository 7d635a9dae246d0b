// SPDX-License-Identifier: MIT
// The wizard's pages as a user meets them: the output page's controls and
// proposals, the source page's encoding choice and OEM box, the keyboard,
// and the window's size. The rules behind them are tested without Qt in
// tests/wizard/core; these check that the widgets are bound to them.
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "wizard/qt/output_page.h"
#include "wizard_test_support.h"

using namespace wizard;
using namespace wizard_testing;

namespace {

// "Привет, мир" as DOS code page 866 encodes it.
const QByteArray kHelloOem("\x8F\xE0\xA8\xA2\xA5\xE2, \xAC\xA8\xE0");
const QString kHello = QStringLiteral("Привет, мир");

// An editable combo takes the focus for its edit field.
bool HasFocus(QComboBox* combo) {
    QWidget* focus = QApplication::focusWidget();
    return focus != nullptr && (focus == combo || focus == combo->lineEdit());
}

}  // namespace

class WizardParts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Detection must not need a Cyrillic locale: the Western pair here.
        qputenv("QUENDLE_ANSI_CODEPAGE", "1252");
        qputenv("QUENDLE_OEM_CODEPAGE", "437");
    }
    void init() { m_home = std::make_unique<PrivateHome>(); }
    void cleanup() {
        m_home.reset();
        QCOMPARE(TopLevelsLeft(), QStringList());
    }

    void outputPageControls();
    void typedNameKeepsItsKeys();
    void encodingChoiceAndOemBox();
    void keyboardAndFocus();
    void windowResizes();

private:
    std::unique_ptr<PrivateHome> m_home;
};

// The output page shows what the command line set and the proposals, and
// writes each control into the record.
void WizardParts::outputPageControls() {
    const QString input = m_home->file(QStringLiteral("in.csv"));
    WriteFile(input, "1X2\n");
    const QString numeric31 = QStringLiteral("0123456789012345678901234567890");
    auto settings =
        SettingsFor({input, QStringLiteral("/FIELDS=X"), QStringLiteral("/NUMERIC=") + numeric31,
                     QStringLiteral("/OVERWRITETABLE=SKIP"), QStringLiteral("/OPEN=0")});
    WizardFrame frame(settings.get());
    frame.show();
    QVERIFY(PressNext(frame));
    QVERIFY(PressNext(frame));
    QCOMPARE(frame.currentId(), int{kOutputPageId});

    auto* output = frame.findChild<QComboBox*>(QStringLiteral("outputCombo"));
    QCOMPARE(output->currentText(), m_home->file(QStringLiteral("in.xlsx")));
    auto* delimiters = frame.findChild<QComboBox*>(QStringLiteral("delimiterCombo"));
    QCOMPARE(delimiters->count(), 5);
    QCOMPARE(delimiters->currentText(), QStringLiteral("X"));
    const struct {
        const char* typed;
        char delimiter;
    } typedDelimiters[] = {{"tab", '\t'}, {"Pipe", '|'}, {"#x", '#'}, {"", ','}, {"TABS", 'T'}};
    for (const auto& row : typedDelimiters) {
        TypeInto(delimiters, QString::fromLatin1(row.typed));
        QVERIFY2(settings->delimiter == row.delimiter, row.typed);
    }

    auto* skipBox = frame.findChild<QCheckBox*>(QStringLiteral("overwriteTableBox"));
    QVERIFY(skipBox->isChecked());
    QCOMPARE(settings->overwriteTable, 2);  // shown ticked, kept until clicked
    ClickBox(skipBox);
    QCOMPARE(settings->overwriteTable, 0);

    auto* numeric = frame.findChild<QLineEdit*>(QStringLiteral("numericEdit"));
    QVERIFY(!numeric->isEnabled());
    ClickBox(frame.findChild<QCheckBox*>(QStringLiteral("allCharacterBox")));
    QVERIFY(numeric->isEnabled());
    QCOMPARE(settings->allCharacter, 0);

    auto* types = frame.findChild<QComboBox*>(QStringLiteral("typeList"));
    types->setCurrentIndex(0);
    QCOMPARE(output->currentText(), m_home->file(QStringLiteral("in.xls")));
    auto* decimals = frame.findChild<QComboBox*>(QStringLiteral("decimalList"));
    decimals->setCurrentIndex(2);
    QCOMPARE(settings->decimalSeparator, ',');

    // Without an output name Next stays off and refuses.
    TypeInto(output, QString());
    QVERIFY(!PressNext(frame));
    QVERIFY(!frame.validateCurrentPage());
    // A name without an extension gets the type's.
    TypeInto(output, m_home->file(QStringLiteral("o")));
    QVERIFY(PressNext(frame));
    QCOMPARE(Utf8(engine::TextOf(settings->outputPath)), m_home->file(QStringLiteral("o.xls")));
    QCOMPARE(Utf8(engine::TextOf(settings->numericChars)),
             numeric31.left(static_cast<int>(kCharacterSetLength)));
    QTRY_COMPARE_WITH_TIMEOUT(frame.currentId(), int{kCompletionPageId}, 60000);
    QCOMPARE(settings->recordCount, 1);
    frame.reject();
}

// Keys land in the name as typed; the extension follows the type once the
// field is left, and Next refuses a name that is no workbook's.
void WizardParts::typedNameKeepsItsKeys() {
    const QString input = m_home->file(QStringLiteral("in.csv"));
    WriteFile(input, "a,b\n");
    auto settings = SettingsFor({input, QStringLiteral("/TYPE=2007")});
    ModalWatcher watcher;
    WizardFrame frame(settings.get());
    frame.show();
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    QVERIFY(PressNext(frame));
    QVERIFY(PressNext(frame));
    auto* output = frame.findChild<QComboBox*>(QStringLiteral("outputCombo"));
    const QString report = m_home->file(QStringLiteral("report.xls"));
    TypeInto(output, report);
    QCOMPARE(output->currentText(), report);
    QTest::keyClick(output->lineEdit(), Qt::Key_X);
    QCOMPARE(output->currentText(), report + QStringLiteral("x"));
    QCOMPARE(Utf8(engine::TextOf(settings->outputPath)), report + QStringLiteral("x"));

    TypeInto(output, report);
    frame.findChild<QComboBox*>(QStringLiteral("dateList"))->setFocus();
    QTRY_COMPARE(output->currentText(), report + QStringLiteral("x"));

    TypeInto(output, report + QStringLiteral("xx"));
    QVERIFY(!frame.validateCurrentPage());
    QCOMPARE(frame.currentId(), int{kOutputPageId});
    QCOMPARE(watcher.seen().size(), std::size_t{1});
    QVERIFY2(watcher.seen()[0].text.startsWith(
                 QStringLiteral("The workbook name must end in .xls or .xlsx:")),
             qPrintable(watcher.seen()[0].text));
    QVERIFY(!QSettings(QStringLiteral("Morvik"), QStringLiteral("Wizards"))
                 .contains(QStringLiteral("LastXLS2File")));
    frame.reject();
}

// A DOS file is recognised under a Western locale; the box and the list
// switch the preview at once.
void WizardParts::encodingChoiceAndOemBox() {
    const QString path = m_home->file(QStringLiteral("dos.csv"));
    WriteFile(path, kHelloOem);
    auto settings = SettingsFor({path});
    WizardFrame frame(settings.get());
    frame.show();
    QVERIFY(PressNext(frame));
    auto* box = frame.findChild<QCheckBox*>(QStringLiteral("oemBox"));
    auto* preview = frame.findChild<QPlainTextEdit*>(QStringLiteral("preview"));
    auto* encodings = frame.findChild<QComboBox*>(QStringLiteral("encodingList"));
    QCOMPARE(encodings->currentText(), QStringLiteral("Automatic"));
    QVERIFY(box->isEnabled());
    const struct {
        bool checked;
        bool greeting;
    } states[] = {{true, true}, {false, false}, {true, true}};
    for (std::size_t click = 0; click < std::size(states); ++click) {
        if (click > 0) {
            ClickBox(box);
        }
        QCOMPARE(box->isChecked(), states[click].checked);
        QCOMPARE(settings->oemSource, states[click].checked ? 1 : 0);
        QCOMPARE(preview->toPlainText() == kHello, states[click].greeting);
    }
    encodings->setCurrentIndex(encodings->findText(QStringLiteral("Windows-1251")));
    QVERIFY(!box->isEnabled());
    QVERIFY(preview->toPlainText() != kHello);
    QCOMPARE(settings->inputCodePage, 1251);
    encodings->setCurrentIndex(encodings->findText(QStringLiteral("DOS 866")));
    QCOMPARE(preview->toPlainText(), kHello);
    QCOMPARE(settings->inputCodePage, 866);
    frame.reject();
}

void WizardParts::keyboardAndFocus() {
    const QString input = m_home->file(QStringLiteral("in.csv"));
    WriteFile(input, "a,b\n");
    auto settings = SettingsFor({input});
    WizardFrame frame(settings.get());
    frame.show();
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    QVERIFY(PressNext(frame));
    QTRY_VERIFY(HasFocus(frame.findChild<QComboBox*>(QStringLiteral("sourceCombo"))));
    // No mnemonic is taken twice on the page.
    const QString back = frame.button(QWizard::BackButton)->text();
    const QString browse =
        frame.currentPage()->findChild<QPushButton*>(QStringLiteral("browseButton"))->text();
    const auto mnemonic = [](const QString& text) {
        const qsizetype at = text.indexOf(QLatin1Char('&'));
        return at < 0 ? QString() : QString(text.at(at + 1).toLower());
    };
    QVERIFY2(mnemonic(back) != mnemonic(browse), qPrintable(back + QLatin1Char(' ') + browse));
    // Every control of the output and completion pages has a mnemonic of
    // its own or through its label, and none is taken twice with the
    // wizard's buttons.
    const auto checkMnemonics = [&](QWizardPage* page, int controls) {
        QStringList taken;
        for (QWizard::WizardButton which : {QWizard::BackButton, QWizard::NextButton,
                                            QWizard::CommitButton, QWizard::FinishButton}) {
            taken.append(mnemonic(frame.buttonText(which)));
        }
        int reachable = 0;
        for (QWidget* widget : page->findChildren<QWidget*>()) {
            QString text;
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                text = button->text();
            } else if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy()) {
                text = label->text();
            } else {
                continue;
            }
            const QString letter = mnemonic(text);
            QVERIFY2(!letter.isNull(), qPrintable(text));
            QVERIFY2(!taken.contains(letter), qPrintable(text));
            taken.append(letter);
            ++reachable;
        }
        QCOMPARE(reachable, controls);
    };
    checkMnemonics(frame.page(kOutputPageId), 12);
    checkMnemonics(frame.page(kCompletionPageId), 3);
    // Enter on a focused Back button does not go back.
    QVERIFY(PressNext(frame));
    QCOMPARE(frame.currentId(), int{kOutputPageId});
    QTRY_VERIFY(HasFocus(frame.findChild<QComboBox*>(QStringLiteral("outputCombo"))));
    frame.button(QWizard::BackButton)->setFocus();
    QTest::keyClick(frame.button(QWizard::BackButton), Qt::Key_Return);
    QVERIFY(frame.currentId() != kSourcePageId);
    frame.reject();
    frame.waitForWorker();
}

// The window shrinks to fit a 1280 x 800 screen at a scale factor of 2
// (640 x 400 logical pixels, less a title bar) with its buttons in view on
// every page, and grows with the preview and the name fields taking the room.
void WizardParts::windowResizes() {
    const QString input = m_home->file(QStringLiteral("in.csv"));
    WriteFile(input, "a,b\n");
    auto settings = SettingsFor({input, QStringLiteral("/OPEN=0")});
    const QSize screen(640, 400 - 40);
    WizardFrame frame(settings.get());
    frame.show();
    QCOMPARE(frame.size(), kStartSize);
    // The progress page passes too quickly to be measured here; its layout
    // is the smallest of the header pages.
    for (int page : {kWelcomePageId, kSourcePageId, kOutputPageId, kCompletionPageId}) {
        if (page > kWelcomePageId) {
            QVERIFY(PressNext(frame));
        }
        QTRY_COMPARE_WITH_TIMEOUT(frame.currentId(), page, 60000);
        const QSize smallest = frame.minimumSizeHint().expandedTo(frame.minimumSize());
        QVERIFY2(smallest.width() <= screen.width() && smallest.height() <= screen.height(),
                 qPrintable(QStringLiteral("page %1 needs %2 x %3")
                                .arg(page)
                                .arg(smallest.width())
                                .arg(smallest.height())));
        frame.resize(screen);
        QTRY_COMPARE(frame.size(), screen);
        for (QWizard::WizardButton which : {QWizard::BackButton, QWizard::CancelButton}) {
            QAbstractButton* button = frame.button(which);
            const QRect place(button->mapTo(&frame, QPoint(0, 0)), button->size());
            QVERIFY2(frame.rect().contains(place), qPrintable(button->text()));
        }
        if (page == kSourcePageId || page == kOutputPageId) {
            QWidget* field = frame.currentPage()->findChild<QWidget*>(
                page == kSourcePageId ? QStringLiteral("preview") : QStringLiteral("outputCombo"));
            const int narrow = field->width();
            frame.resize(screen + QSize(300, 200));
            QTRY_COMPARE(frame.size(), screen + QSize(300, 200));
            QVERIFY2(field->width() >= narrow + 250, qPrintable(QString::number(field->width())));
        }
    }
    frame.reject();
}

QTEST_MAIN(WizardParts)
#include "test_wizard_parts.moc"
