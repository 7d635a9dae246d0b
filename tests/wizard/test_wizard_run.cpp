// SPDX-License-Identifier: MIT
// The wizard end to end, driven as a user drives it: type names, pick
// options, press the buttons, answer the boxes; then the workbook is read
// back by an independent reader and the INI, recent-file, status and log
// files are checked.
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

#include "engine/run_log.h"
#include "wizard/qt/command_line_box.h"
#include "wizard_test_support.h"

using namespace wizard;
using namespace wizard_testing;

namespace {

// Cells as "row,column kind value" texts, for readable comparisons.
QStringList CellTexts(const QJsonValue& cells) {
    QStringList texts;
    for (const QJsonValue& cell : cells.toArray()) {
        const QJsonArray c = cell.toArray();
        texts.append(QStringLiteral("%1,%2 %3 %4")
                         .arg(c[0].toInt())
                         .arg(c[1].toInt())
                         .arg(c[2].toString(), c[3].toVariant().toString()));
    }
    return texts;
}

}  // namespace

class WizardRun : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_home = std::make_unique<PrivateHome>();
        m_opened.clear();
    }
    void cleanup() {
        m_home.reset();
        QCOMPARE(TopLevelsLeft(), QStringList());
    }

    void convertsAsAUserWould_data();
    void convertsAsAUserWould();
    void refusesSourceWithoutPreview_data();
    void refusesSourceWithoutPreview();
    void batchRunsItself_data();
    void batchRunsItself();
    void cancelStopsTheRunAndKeepsWhatItWrote();
    void failedRunReportsAndStillCompletes();
    void failedRunLeadsBackToTheOutputPage();
    void exportsTheCommandLine();
    void helpOpensThePageBesideTheProgram();
    void programNeedsADisplayForTheWizard_data();
    void programNeedsADisplayForTheWizard();

private:
    // Starts a wizard on `settings` whose "open" requests are only noted.
    void prepare(WizardFrame& frame) {
        frame.setUrlOpener([this](const QUrl& url) {
            m_opened.append(url);
            return true;
        });
        frame.show();
    }

    std::unique_ptr<PrivateHome> m_home;
    QList<QUrl> m_opened;
};

void WizardRun::convertsAsAUserWould_data() {
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<int>("typeIndex");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<bool>("classify");
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<int>("records");
    QTest::addColumn<QStringList>("expectedCells");

    QTest::newRow("xlsx, semicolon, typed cells")
        << QByteArray("name;qty;paid\nAnna;12;Y\n\xD0\x91\xD0\xBE\xD1\x80\xD0\xB8\xD1\x81;3,5;N\n")
        << 1 << ";" << true << "book.xlsx" << 3
        << QStringList{"0,0 s name", "0,1 s qty",   "0,2 s paid", "1,0 s Anna", "1,1 n 12",
                       "1,2 b true", "2,0 s Борис", "2,1 n 3.5",  "2,2 b false"};
    QTest::newRow("xls, tab, all text")
        << QByteArray("a\tb\n1\tY\n") << 0 << "TAB" << false << "book.xls" << 2
        << QStringList{"0,0 s a", "0,1 s b", "1,0 s 1", "1,1 s Y"};
}

void WizardRun::convertsAsAUserWould() {
    QFETCH(QByteArray, csv);
    QFETCH(int, typeIndex);
    QFETCH(QString, delimiter);
    QFETCH(bool, classify);
    QFETCH(QString, expectedName);
    QFETCH(int, records);
    QFETCH(QStringList, expectedCells);

    const QString input = m_home->file(QStringLiteral("people.csv"));
    WriteFile(input, csv);
    const QString status = m_home->file(QStringLiteral("status.ini"));
    auto settings = SettingsFor({QStringLiteral("/STATUS=") + status, QStringLiteral("/LOG")});
    ModalWatcher watcher;
    QStringList statuses;
    {
        WizardFrame frame(settings.get());
        prepare(frame);
        const QString name = ProgramName(frame);
        QVERIFY(!name.isEmpty());
        statuses << StatusOf(status);

        QVERIFY(PressNext(frame));
        QCOMPARE(frame.currentId(), int{kSourcePageId});
        QCOMPARE(frame.windowTitle(), ExpectedCaption(frame, name));
        statuses << StatusOf(status);
        QVERIFY2(!frame.button(QWizard::NextButton)->isEnabled(), "Next before any file");
        // Names typed relative to the current folder are remembered whole.
        const QString startFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QFileInfo(input).absolutePath()));
        TypeInto(frame.findChild<QComboBox*>(QStringLiteral("sourceCombo")),
                 QStringLiteral("people.csv"));
        const QString preview =
            frame.findChild<QPlainTextEdit*>(QStringLiteral("preview"))->toPlainText();
        QCOMPARE(preview, QString::fromUtf8(csv));
        QVERIFY(!frame.findChild<QCheckBox*>(QStringLiteral("oemBox"))->isEnabled());

        QVERIFY(PressNext(frame));
        QCOMPARE(frame.currentId(), int{kOutputPageId});
        QCOMPARE(frame.windowTitle(), ExpectedCaption(frame, name));
        statuses << StatusOf(status);
        auto* output = frame.findChild<QComboBox*>(QStringLiteral("outputCombo"));
        // Proposed: a workbook beside the input, split as the preview shows.
        QCOMPARE(output->currentText(), input.chopped(3) + QStringLiteral("xlsx"));
        auto* delimiters = frame.findChild<QComboBox*>(QStringLiteral("delimiterCombo"));
        QCOMPARE(delimiters->currentText(), delimiter);
        TypeInto(output, QStringLiteral("book.xls"));
        frame.findChild<QComboBox*>(QStringLiteral("typeList"))->setCurrentIndex(typeIndex);
        if (classify) {
            ClickBox(frame.findChild<QCheckBox*>(QStringLiteral("allCharacterBox")));
        }

        QVERIFY(PressNext(frame));
        // Next brings the typed name's extension in step with the type.
        QCOMPARE(output->currentText(), m_home->file(expectedName));
        QVERIFY(QDir::setCurrent(startFolder));
        QTRY_COMPARE_WITH_TIMEOUT(frame.currentId(), int{kCompletionPageId}, 60000);
        QVERIFY(!frame.completionModel().failed());
        QCOMPARE(frame.windowTitle(), ExpectedCaption(frame, name));
        statuses << StatusOf(status);
        QCOMPARE(frame.findChild<QLabel*>(QStringLiteral("countLabel"))->text(),
                 QStringLiteral("%1 records have been imported.").arg(records));
        QCOMPARE(
            frame.findChild<QLabel*>(QStringLiteral("sheetLabel"))->text(),
            QStringLiteral("Added the sheet \"people\" to %1.").arg(m_home->file(expectedName)));
        QVERIFY(!frame.button(QWizard::BackButton)->isEnabled());
        ClickBox(frame.findChild<QCheckBox*>(QStringLiteral("saveBox")));
        ClickBox(frame.findChild<QCheckBox*>(QStringLiteral("openBox")));
        QTest::mouseClick(frame.button(QWizard::FinishButton), Qt::LeftButton);
        QVERIFY(frame.isClosed());
        QCOMPARE(frame.result(), int{QDialog::Accepted});
    }
    QVERIFY(watcher.seen().empty());
    QCOMPARE(statuses, (QStringList{"Welcome dialog", "Source file selection",
                                    "Output file selection", "Successful"}));
    QVERIFY2(m_opened.isEmpty(), "the user unticked Open new file");

    const QString book = m_home->file(expectedName);
    QCOMPARE(CellTexts(ReadWorkbook(book)[QStringLiteral("people")]), expectedCells);

    // "Save new settings" stores the start-up Open value, not the box's.
    QSettings ini(Utf8(engine::UserIniPath()), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Common/Log")).toString(), QStringLiteral("1"));
    QCOMPARE(ini.value(QStringLiteral("Common/OverWrite")).toString(), QStringLiteral("0"));
    QCOMPARE(ini.value(QStringLiteral("Common/Open")).toString(), QStringLiteral("1"));

    QSettings recent(QStringLiteral("Morvik"), QStringLiteral("Wizards"));
    QCOMPARE(recent.value(QStringLiteral("LastCSVFile")).toString(), input);
    QCOMPARE(recent.value(QStringLiteral("CSVfiles0")).toString(), input);
    QCOMPARE(recent.value(QStringLiteral("LastXLS2File")).toString(), book);
    QCOMPARE(recent.value(QStringLiteral("XLS2files0")).toString(), book);
    QCOMPARE(recent.value(QStringLiteral("XLS2files9")).toString(), QString());

    QFile log(Utf8(engine::RunLogPath()));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList entries = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'));
    QCOMPARE(entries.size(), 3);  // a new log starts with an empty line
    QVERIFY2(entries[1].endsWith(QStringLiteral(" QUENDLE    Start. ") + input +
                                 QStringLiteral(" -> ") + book),
             qPrintable(entries[1]));
    QVERIFY2(entries[2].endsWith(
                 QStringLiteral(" QUENDLE    Stop. %1 records have been imported.").arg(records)),
             qPrintable(entries[2]));
}

void WizardRun::refusesSourceWithoutPreview_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("reported");
    QTest::newRow("missing") << "missing" << true;
    QTest::newRow("folder") << "folder" << true;
    QTest::newRow("empty") << "empty" << false;
}

// Started in BATCH mode with a source that shows no preview, the wizard stops
// on the source page, leaves BATCH mode and waits for the user.
void WizardRun::refusesSourceWithoutPreview() {
    QFETCH(QString, kind);
    QFETCH(bool, reported);
    QString input = m_home->file(QStringLiteral("input.csv"));
    if (kind == QLatin1String("folder")) {
        QDir().mkpath(m_home->file(QStringLiteral("folder.csv")));
        input = m_home->file(QStringLiteral("folder.csv"));
    } else if (kind == QLatin1String("empty")) {
        WriteFile(input, {});
    }
    auto settings =
        SettingsFor({input, m_home->file(QStringLiteral("out.xlsx")), QStringLiteral("/BATCH")});
    ModalWatcher watcher;
    WizardFrame frame(settings.get());
    prepare(frame);
    QTRY_COMPARE(settings->batchMode, 0);
    QCOMPARE(frame.currentId(), int{kSourcePageId});
    QVERIFY(!frame.button(QWizard::NextButton)->isEnabled());
    QStringList seen;
    for (const SeenBox& box : watcher.seen()) {
        seen.append(box.text);
    }
    // Under the blank preview the page says why.
    auto* note = frame.findChild<QLabel*>(QStringLiteral("previewNote"));
    QVERIFY(note->isVisible());
    QCOMPARE(note->text(),
             QString::fromLatin1(kind == QLatin1String("missing")
                                     ? "Unable to load this CSV file. There is no such file."
                                 : kind == QLatin1String("folder")
                                     ? "Unable to load this CSV file. This is a folder."
                                     : "The file is empty: there is nothing to convert."));
    // The message names the file, on a line of its own.
    QCOMPARE(seen, reported
                       ? QStringList{QStringLiteral("Unable to load this CSV file. \n") + input}
                       : QStringList{});
    QVERIFY(!QSettings(QStringLiteral("Morvik"), QStringLiteral("Wizards"))
                 .contains(QStringLiteral("LastCSVFile")));

    // The user takes over with a file that can be read.
    const QString good = m_home->file(QStringLiteral("good.csv"));
    WriteFile(good, "x,y\n");
    TypeInto(frame.findChild<QComboBox*>(QStringLiteral("sourceCombo")), good);
    QVERIFY(frame.button(QWizard::NextButton)->isEnabled());
    QVERIFY(note->isHidden());
    frame.reject();
}

void WizardRun::batchRunsItself_data() {
    QTest::addColumn<bool>("wait");
    QTest::newRow("BATCH closes itself") << false;
    QTest::newRow("BATCH WAIT stays on the last page") << true;
}

void WizardRun::batchRunsItself() {
    QFETCH(bool, wait);
    const QString input = m_home->file(QStringLiteral("rows.csv"));
    WriteFile(input, "1,2\n3,4\n5,6\n");
    const QString output = m_home->file(QStringLiteral("rows.xlsx"));
    const QString status = m_home->file(QStringLiteral("status.ini"));
    QStringList arguments{input, output, QStringLiteral("/BATCH"),
                          QStringLiteral("/STATUS=") + status};
    if (wait) {
        arguments << QStringLiteral("/WAIT");
    }
    auto settings = SettingsFor(arguments);
    WizardFrame frame(settings.get());
    prepare(frame);
    QTRY_COMPARE_WITH_TIMEOUT(frame.currentId(), int{kCompletionPageId}, 60000);
    QCoreApplication::processEvents();  // delivers a press-Finish, if one was posted
    QCOMPARE(frame.isClosed(), !wait);
    if (wait) {
        QVERIFY(m_opened.isEmpty());
        QTest::mouseClick(frame.button(QWizard::FinishButton), Qt::LeftButton);
        QVERIFY(frame.isClosed());
    }
    QCOMPARE(frame.result(), int{QDialog::Accepted});
    QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(output)});
    QCOMPARE(StatusOf(status), QStringLiteral("Successful"));
    QCOMPARE(CellTexts(ReadWorkbook(output)[QStringLiteral("rows")]).size(), 6);
}

void WizardRun::cancelStopsTheRunAndKeepsWhatItWrote() {
    constexpr int kLines = 1000000;
    const QString input = m_home->file(QStringLiteral("big.csv"));
    {
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray chunk;
        for (int line = 0; line < kLines; ++line) {
            chunk += QByteArray::number(line) + ",row\n";
            if (chunk.size() > (1 << 20) || line == kLines - 1) {
                QCOMPARE(file.write(chunk), chunk.size());
                chunk.clear();
            }
        }
    }
    const QString output = m_home->file(QStringLiteral("big.xlsx"));
    const QString status = m_home->file(QStringLiteral("status.ini"));
    auto settings = SettingsFor(
        {input, output, QStringLiteral("/OPEN=0"), QStringLiteral("/STATUS=") + status});
    {
        WizardFrame frame(settings.get());
        prepare(frame);
        QVERIFY(PressNext(frame));
        QVERIFY(PressNext(frame));
        // Cancel as soon as the bar first moves.
        auto* bar = frame.findChild<QProgressBar*>(QStringLiteral("progressBar"));
        connect(bar, &QProgressBar::valueChanged, &frame, [&frame] {
            if (!frame.isClosed()) {
                QTest::mouseClick(frame.button(QWizard::CancelButton), Qt::LeftButton);
            }
        });
        QSignalSpy pages(&frame, &QWizard::currentIdChanged);
        QVERIFY(PressNext(frame));
        QTRY_VERIFY_WITH_TIMEOUT(frame.isClosed(), 60000);
        QCOMPARE(frame.result(), int{QDialog::Rejected});
        frame.waitForWorker();
        QCoreApplication::processEvents();  // the worker's last press-Next
        for (const QList<QVariant>& page : pages) {
            QVERIFY(page[0].toInt() != kCompletionPageId);
        }
    }
    QCOMPARE(StatusOf(status), QStringLiteral("Cancelled"));
    QVERIFY2(settings->recordCount > 0 && settings->recordCount < kLines,
             qPrintable(QString::number(settings->recordCount)));
    const QJsonObject book = ReadWorkbook(output);
    QCOMPARE(book[QStringLiteral("big")].toArray().size(), 2 * settings->recordCount);
}

void WizardRun::failedRunReportsAndStillCompletes() {
    const QString input = m_home->file(QStringLiteral("in.csv"));
    WriteFile(input, "a,b\n");
    // A workbook that cannot be loaded: the page's checks cannot see that.
    const QString output = m_home->file(QStringLiteral("out.xlsx"));
    WriteFile(output, "not a workbook");
    const QString status = m_home->file(QStringLiteral("status.ini"));
    auto settings =
        SettingsFor({input, output, QStringLiteral("/BATCH"), QStringLiteral("/WAIT"),
                     QStringLiteral("/OVERWRITE=0"), QStringLiteral("/STATUS=") + status});
    ModalWatcher watcher(status);
    WizardFrame frame(settings.get());
    prepare(frame);
    QTRY_COMPARE_WITH_TIMEOUT(frame.currentId(), int{kCompletionPageId}, 60000);
    // Unattended, no box waits for a person: the last page says why, and
    // offers nothing to open.
    QCOMPARE(watcher.seen().size(), std::size_t{0});
    const QString result = frame.findChild<QLabel*>(QStringLiteral("countLabel"))->text();
    QVERIFY2(
        result.startsWith(QStringLiteral("Conversion failed: Cannot open the existing workbook ") +
                          output) &&
            result.endsWith(QStringLiteral("The workbook was left unchanged.")),
        qPrintable(result));
    auto* open = frame.findChild<QCheckBox*>(QStringLiteral("openBox"));
    QVERIFY(!open->isEnabled());
    QVERIFY(!open->isChecked());
    QCOMPARE(StatusOf(status), QStringLiteral("Successful"));
    QTest::mouseClick(frame.button(QWizard::FinishButton), Qt::LeftButton);
    QVERIFY(frame.isClosed());
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(QSettings(status, QSettings::IniFormat).value(QStringLiteral("QUENDLE/Errors")),
             QVariant(QStringLiteral("1")));
}

// By hand: the last page of a failed run says so in its heading and title,
// keeps the reason, and Back leads to the output page, from which a
// corrected name converts.
void WizardRun::failedRunLeadsBackToTheOutputPage() {
    const QString input = m_home->file(QStringLiteral("in.csv"));
    WriteFile(input, "a,b\n1,2\n");
    const QString broken = m_home->file(QStringLiteral("broken.xlsx"));
    WriteFile(broken, "not a workbook");
    auto settings =
        SettingsFor({input, broken, QStringLiteral("/OVERWRITE=0"), QStringLiteral("/OPEN=0")});
    ModalWatcher watcher;
    WizardFrame frame(settings.get());
    prepare(frame);
    const QString name = ProgramName(frame);
    QVERIFY(!name.isEmpty());
    QVERIFY(PressNext(frame));
    QVERIFY(PressNext(frame));
    QVERIFY(PressNext(frame));
    QTRY_COMPARE_WITH_TIMEOUT(frame.currentId(), int{kCompletionPageId}, 60000);
    QVERIFY(frame.completionModel().failed());
    const QString failedCaption = frame.windowTitle();
    QCOMPARE(failedCaption, ExpectedCaption(frame, name));
    QVERIFY(!watcher.seen().empty());
    QCOMPARE(frame.findChild<QLabel*>(QStringLiteral("countLabel"))->text(),
             QStringLiteral("Conversion failed: ") + watcher.seen().back().text);
    QVERIFY(frame.findChild<QLabel*>(QStringLiteral("sheetLabel"))->isHidden());
    QAbstractButton* back = frame.button(QWizard::BackButton);
    QVERIFY(back->isVisible() && back->isEnabled());
    QTest::mouseClick(back, Qt::LeftButton);
    QCOMPARE(frame.currentId(), int{kOutputPageId});
    // Elsewhere Back still goes one page back.
    QTest::mouseClick(back, Qt::LeftButton);
    QCOMPARE(frame.currentId(), int{kSourcePageId});
    QVERIFY(PressNext(frame));
    QCOMPARE(frame.currentId(), int{kOutputPageId});

    const QString good = m_home->file(QStringLiteral("good.xlsx"));
    TypeInto(frame.findChild<QComboBox*>(QStringLiteral("outputCombo")), good);
    QVERIFY(PressNext(frame));
    QTRY_COMPARE_WITH_TIMEOUT(frame.currentId(), int{kCompletionPageId}, 60000);
    QVERIFY(!frame.completionModel().failed());
    // The second run's heading and caption no longer say it failed.
    QCOMPARE(frame.windowTitle(), ExpectedCaption(frame, name));
    QVERIFY(frame.windowTitle() != failedCaption);
    QCOMPARE(frame.findChild<QLabel*>(QStringLiteral("countLabel"))->text(),
             QStringLiteral("2 records have been imported."));
    QCOMPARE(frame.findChild<QLabel*>(QStringLiteral("sheetLabel"))->text(),
             QStringLiteral("Added the sheet \"in\" to %1.").arg(good));
    QVERIFY(!frame.button(QWizard::BackButton)->isEnabled());
    QTest::mouseClick(frame.button(QWizard::FinishButton), Qt::LeftButton);
    QVERIFY(frame.isClosed());
    QCOMPARE(CellTexts(ReadWorkbook(good)[QStringLiteral("in")]).size(), 4);
    QCOMPARE(QFile(broken).size(), qint64{14});
}

// The box shows the parameters; Copy and Ctrl+C give one line that runs in
// a shell as it stands, names with blanks and a ";" delimiter included.
void WizardRun::exportsTheCommandLine() {
    QDir().mkpath(m_home->file(QStringLiteral("my data")));
    const QString input = m_home->file(QStringLiteral("my data/in put.csv"));
    WriteFile(input, "a;b\n1;2\n");
    const QString output = m_home->file(QStringLiteral("my data/out book.xls"));
    auto settings = SettingsFor({input, output, QStringLiteral("/BATCH"), QStringLiteral("/WAIT"),
                                 QStringLiteral("/FIELDS=;"), QStringLiteral("/OPEN=0")});
    ModalWatcher watcher;
    QString shown;
    QStringList copied;
    QString said;
    bool titleFits = false;
    watcher.onDialog = [&](QDialog* dialog) {
        titleFits = dialog->width() > QFontMetrics(QApplication::font("QMdiSubWindowTitleBar"))
                                          .horizontalAdvance(dialog->windowTitle());
        auto* label = dialog->findChild<QLabel*>(QStringLiteral("commandLineText"));
        QVERIFY(label != nullptr);
        QVERIFY(label->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
        shown = label->text();
        QApplication::clipboard()->clear();
        QTest::keyClick(dialog, Qt::Key_C, Qt::ControlModifier);
        copied << QApplication::clipboard()->text();
        said = dialog->findChild<QLabel*>(QStringLiteral("copiedLabel"))->text();
        QApplication::clipboard()->clear();
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("copyButton")),
                          Qt::LeftButton);
        copied << QApplication::clipboard()->text();
        QVERIFY(dialog->isVisible());  // Copy leaves the box open
    };
    WizardFrame frame(settings.get());
    prepare(frame);
    QTRY_COMPARE_WITH_TIMEOUT(frame.currentId(), int{kCompletionPageId}, 60000);
    QTest::mouseClick(frame.findChild<QPushButton*>(QStringLiteral("commandLineButton")),
                      Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), std::size_t{1});
    QCOMPARE(watcher.seen()[0].title, QString::fromLatin1(kCommandLineCaption));
    QVERIFY2(titleFits, "the box is narrower than its title");
    const QString expected = QString::fromStdString(CommandLineText(*settings));
    // Lines break only where the text has a blank, so no option is split.
    QCOMPARE(shown.size(), expected.size());
    for (qsizetype i = 0; i < shown.size(); ++i) {
        QVERIFY2(shown[i] == expected[i] ||
                     (shown[i] == QLatin1Char('\n') && expected[i] == QLatin1Char(' ')),
                 qPrintable(shown.left(i + 1)));
    }
    QVERIFY2(shown.count(QLatin1Char('\n')) > expected.count(QLatin1Char('\n')),
             "a long export is wrapped");
    QVERIFY(expected.contains(QStringLiteral(" /FIELDS=; ")));
    QCOMPARE(said, QString::fromLatin1(kCopiedText));
    QCOMPARE(copied.size(), 2);
    QCOMPARE(copied[0], copied[1]);
    const QString line = copied[0];
    QVERIFY(!line.contains(QLatin1Char('\n')));
    frame.reject();

    // Pasted into a shell, with this test's path swapped for the program's,
    // the line converts again: into a fresh workbook here.
    const QString program = QString::fromStdString(
        QuoteArgument(platform::ProgramPath(), platform::ShellQuoting::kPosix));
    QVERIFY2(line.startsWith(program + QLatin1Char(' ')), qPrintable(line));
    QFile::remove(output);
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("'" QUENDLE_PROGRAM_DIR "/quendle'") + line.mid(program.size())});
    QVERIFY(shell.waitForFinished(60000));
    QVERIFY2(shell.exitCode() == 0, shell.readAllStandardError().constData());
    QCOMPARE(CellTexts(ReadWorkbook(output)[QStringLiteral("in put")]),
             (QStringList{"0,0 s a", "0,1 s b", "1,0 s 1", "1,1 s 2"}));
}

void WizardRun::helpOpensThePageBesideTheProgram() {
    auto settings = SettingsFor({});
    WizardFrame frame(settings.get());
    prepare(frame);
    QTest::mouseClick(frame.button(QWizard::HelpButton), Qt::LeftButton);
    QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(QCoreApplication::applicationDirPath() +
                                                       QStringLiteral("/wizards.html"))});
    // The build puts the page beside the program too; it names each inner
    // page by the title that page shows.
    QFile page(QStringLiteral(QUENDLE_PROGRAM_DIR "/wizards.html"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString help = QString::fromUtf8(page.readAll());
    for (const int id : {kSourcePageId, kOutputPageId, kProgressPageId}) {
        const QString title = frame.page(id)->title();
        QVERIFY2(!title.isEmpty() && help.contains(title), qPrintable(title));
    }
    frame.reject();
}

void WizardRun::programNeedsADisplayForTheWizard_data() {
    QTest::addColumn<QString>("platform");  // QT_QPA_PLATFORM; empty: no display at all
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("converted");
    QTest::addColumn<bool>("brokenOutput");  // an existing file that is no workbook
    QTest::newRow("wizard without a display") << ""
                                              << "/BATCH" << 3 << false << false;
    QTest::newRow("silent without a display") << ""
                                              << "/SILENT" << 0 << true << false;
    QTest::newRow("wizard offscreen") << "offscreen"
                                      << "/BATCH" << 0 << true << false;
    // No box waits for a person; the status says the conversion failed.
    QTest::newRow("wizard offscreen, failed") << "offscreen"
                                              << "/BATCH" << 1 << false << true;
}

// The program itself: start-up picks silent mode or the wizard, and says
// plainly when there is nowhere to show the wizard.
void WizardRun::programNeedsADisplayForTheWizard() {
    QFETCH(QString, platform);
    QFETCH(QString, mode);
    QFETCH(int, exitCode);
    QFETCH(bool, converted);
    QFETCH(bool, brokenOutput);
    const QString input = m_home->file(QStringLiteral("in.csv"));
    WriteFile(input, "a,b\n");
    const QString output = m_home->file(QStringLiteral("out.xlsx"));
    if (brokenOutput) {
        WriteFile(output, "not a workbook");
    }
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QString::fromLatin1(name));
    }
    if (!platform.isEmpty()) {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    }
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(QUENDLE_PROGRAM_DIR "/quendle"),
                  {input, output, mode, QStringLiteral("/OPEN=0"), QStringLiteral("/OVERWRITE=0")});
    QVERIFY(program.waitForFinished(120000));
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == exitCode, qPrintable(errors));
    if (brokenOutput) {
        QVERIFY2(errors.contains(QStringLiteral("Error: Cannot open the existing workbook")),
                 qPrintable(errors));
        QCOMPARE(QFile(output).size(), qint64{14});
    } else {
        QCOMPARE(QFile::exists(output), converted);
    }
    if (exitCode == 3) {
        QVERIFY2(errors.contains(QStringLiteral("no display")) &&
                     errors.contains(QStringLiteral("/SILENT")),
                 qPrintable(errors));
    }
}

QTEST_MAIN(WizardRun)
#include "test_wizard_run.moc"
