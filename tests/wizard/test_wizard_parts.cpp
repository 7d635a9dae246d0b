// SPDX-License-Identifier: MIT
// The wizard's pieces that have rules of their own: the command-line export
// and its round trip through the parameter language, the output name's
// extension, the output page's controls, the preview's decoding and OEM
// decision, the time estimate and the recent-file lists.
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include "wizard/command_line.h"
#include "wizard/conversion_worker.h"
#include "wizard/output_page.h"
#include "wizard/recent_files.h"
#include "wizard/source_preview.h"
#include "wizard_test_support.h"

using namespace wizard;
using namespace wizard_testing;

namespace {

const platform::SystemCodePages kCyrillicPages{1251, 866};

// "Привет, мир" as the two legacy pages encode it.
const QByteArray kHelloAnsi("\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0");
const QByteArray kHelloOem("\x8F\xE0\xA8\xA2\xA5\xE2, \xAC\xA8\xE0");
const QString kHello = QStringLiteral("Привет, мир");

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

}  // namespace

class WizardParts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The OEM box is tested with the Cyrillic pair, whatever the locale.
        qputenv("QUENDLE_ANSI_CODEPAGE", "1251");
        qputenv("QUENDLE_OEM_CODEPAGE", "866");
    }
    void init() { m_home = std::make_unique<PrivateHome>(); }
    void cleanup() {
        m_home.reset();
        QCOMPARE(TopLevelsLeft(), QStringList());
    }

    void commandLineText_data();
    void commandLineText();
    void commandLineParsesBack_data();
    void commandLineParsesBack();
    void fixExtension_data();
    void fixExtension();
    void outputPageControls();
    void decodePreview_data();
    void decodePreview();
    void previewStopsAt640KiB();
    void oemBoxSwitchesDecoding();
    void timeEstimate_data();
    void timeEstimate();
    void addRecentItem_data();
    void addRecentItem();

private:
    std::unique_ptr<PrivateHome> m_home;
};

void WizardParts::commandLineText_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("pieces");  // in this order, or the whole text when one

    QTest::newRow("defaults")
        << QStringList{"/in/a.csv", "/in/a.xls"}
        << QStringList{
               "/in/a.xls /in/a.csv /OVERWRITE=0 /OVERWRITETABLE=1 /AUTODATE /ALLCHAR=1 "
               "/DROP=0 /TYPESINFILE=0 /TYPE=ANY /FIELDS=, /ALLCHAR=1 "
               "/NUMERIC=0123456789,.-  /BOOLEAN=YyTtNnFf  /OPEN=1 \n/SILENT "};
    QTest::newRow("tab") << QStringList{"/FIELDS=TAB"} << QStringList{" /FIELDS=TAB "};
    QTest::newRow("pipe") << QStringList{"/FIELDS=PIPE"} << QStringList{" /FIELDS=PIPE "};
    QTest::newRow("semicolon") << QStringList{"/FIELDS=;"} << QStringList{" /FIELDS=; "};
    QTest::newRow("skip modes") << QStringList{"/OVERWRITE=SKIP", "/OVERWRITETABLE=SKIP"}
                                << QStringList{" /OVERWRITE=1 /OVERWRITETABLE=SKIP "};
    QTest::newRow("only when set")
        << QStringList{"/RECORDS=0", "/MAXLEN=-5", "/BATCH", "/WAIT", "/TABLENAME=T", "/x.xls"}
        << QStringList{"/x.xls /TABLENAME=T ", " /DROP=0 /RECORDS=0 /MAXLEN=-5 /TYPESINFILE=0 ",
                       " /OPEN=1 /BATCH /WAIT \n/SILENT "};
    QTest::newRow("type entries in slot order")
        << QStringList{"/CT:0=n", "/CHANGETYPE:2=d", "/CT:1=l"}
        << QStringList{" /CT:0=n /CT:2=d /CT:1=l "};
    QTest::newRow("field types, even empty")
        << QStringList{"/FIELDTYPES="} << QStringList{" /FIELDTYPES= /TYPE=ANY "};
    QTest::newRow("date orders") << QStringList{"/DD.MM.YYYY"}
                                 << QStringList{" /DD.MM.YYYY /ALLCHAR=1 "};
    QTest::newRow("code page by number")
        << QStringList{"/CODEPAGE=1251"} << QStringList{" /CODEPAGE=1251 /OPEN=1 "};
    QTest::newRow("code page UTF-8")
        << QStringList{"/CODEPAGE=UTF-8"} << QStringList{" /CODEPAGE=UTF-8 /OPEN=1 "};
    QTest::newRow("xlsx and classified")
        << QStringList{"/TYPE=2007", "/ALLCHAR=0", "/NUMERIC=0123", "/BOOLEAN=Yn"}
        << QStringList{" /ALLCHAR=0 /DROP=0 ",
                       " /TYPE=2007 /FIELDS=, /ALLCHAR=0 /NUMERIC=0123  "
                       "/BOOLEAN=Yn  /OPEN=1 "};
}

void WizardParts::commandLineText() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, pieces);
    const QString text = QString::fromStdString(CommandLineText(*SettingsFor(arguments)));
    if (pieces.size() == 1 && !pieces[0].startsWith(QLatin1Char(' '))) {
        QCOMPARE(text, pieces[0]);
        return;
    }
    qsizetype from = 0;
    for (const QString& piece : pieces) {
        const qsizetype at = text.indexOf(piece, from);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("'%1' not in order in '%2'").arg(piece, text)));
        from = at + piece.size();
    }
}

void WizardParts::commandLineParsesBack_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("defaults") << QStringList{"/in/a.csv", "/out/a.xls"};
    QTest::newRow("everything the export carries") << QStringList{"/in/b.txt",
                                                                  "/out/b.xlsx",
                                                                  "/TABLENAME=Sheet_1",
                                                                  "/OVERWRITE=1",
                                                                  "/OVERWRITETABLE=0",
                                                                  "/YYYY.MM.DD",
                                                                  "/ALLCHAR=0",
                                                                  "/DROP=1",
                                                                  "/RECORDS=0",
                                                                  "/MAXLEN=40",
                                                                  "/TYPESINFILE=1",
                                                                  "/FIELDTYPES=c;n;d",
                                                                  "/TYPE=2007",
                                                                  "/FIELDS=TAB",
                                                                  "/NUMERIC=0123456789.",
                                                                  "/BOOLEAN=JjNn",
                                                                  "/ORDER=2,1",
                                                                  "/CT:0=n",
                                                                  "/CT:3=D",
                                                                  "/STATUS=/tmp/st.ini",
                                                                  "/OPEN=0",
                                                                  "/BATCH",
                                                                  "/WAIT",
                                                                  "/CODEPAGE=866"};
    QTest::newRow("pipe, skip and detected date order") << QStringList{
        "/in/c.csv", "/out/c.xls", "/FIELDS=PIPE", "/OVERWRITETABLE=SKIP", "/CODEPAGE=UTF-8"};
}

// The exported text, split at blanks as a shell splits it, gives back the
// settings it came from.
void WizardParts::commandLineParsesBack() {
    QFETCH(QStringList, arguments);
    auto original = SettingsFor(arguments);
    const QString text = QString::fromStdString(CommandLineText(*original));
    auto parsed =
        SettingsFor(text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts));
    const engine::ConversionSettings& a = *original;
    const engine::ConversionSettings& b = *parsed;
    QCOMPARE(Utf8(engine::TextOf(b.inputPath)), Utf8(engine::TextOf(a.inputPath)));
    QCOMPARE(Utf8(engine::TextOf(b.outputPath)), Utf8(engine::TextOf(a.outputPath)));
    QCOMPARE(Utf8(engine::TextOf(b.tableName)), Utf8(engine::TextOf(a.tableName)));
    QCOMPARE(b.overwriteFile, a.overwriteFile != 0 ? 1 : 0);
    QCOMPARE(b.overwriteTable, a.overwriteTable);
    QCOMPARE(b.dateMode, a.dateMode >= 1 && a.dateMode <= 3 ? a.dateMode : 0);
    QCOMPARE(b.allCharacter, a.allCharacter);
    QCOMPARE(b.dropFlag, a.dropFlag);
    QCOMPARE(b.importRecords, a.importRecords);
    QCOMPARE(b.maxLength, a.maxLength);
    QCOMPARE(b.typesInFile, a.typesInFile);
    QCOMPARE(b.fieldTypes == nullptr, a.fieldTypes == nullptr);
    if (a.fieldTypes != nullptr) {
        QCOMPARE(QString::fromUtf8(b.fieldTypes.get()), QString::fromUtf8(a.fieldTypes.get()));
    }
    QCOMPARE(b.workbookType, a.workbookType);
    QCOMPARE(b.delimiter, a.delimiter);
    QCOMPARE(Utf8(engine::TextOf(b.numericChars)), Utf8(engine::TextOf(a.numericChars)));
    QCOMPARE(Utf8(engine::TextOf(b.booleanChars)), Utf8(engine::TextOf(a.booleanChars)));
    QCOMPARE(Utf8(engine::TextOf(b.orderText)), Utf8(engine::TextOf(a.orderText)));
    for (std::size_t slot = 0; slot < engine::kTypeOverrideSlots; ++slot) {
        const char* left = a.typeOverrides[slot].get();
        const char* right = b.typeOverrides[slot].get();
        QCOMPARE(QString::fromUtf8(right != nullptr ? right : "-"),
                 QString::fromUtf8(left != nullptr ? left : "-"));
    }
    QCOMPARE(Utf8(engine::TextOf(b.statusPath)), Utf8(engine::TextOf(a.statusPath)));
    QCOMPARE(b.openResult, a.openResult);
    QCOMPARE(b.batchMode, a.batchMode);
    QCOMPARE(b.waitAtEnd, a.waitAtEnd);
    QCOMPARE(b.inputCodePage, a.inputCodePage);
    QCOMPARE(b.silentMode, 1);
}

void WizardParts::fixExtension_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("fixed");
    // As long as the name field takes.
    const QString longest =
        QString(static_cast<int>(engine::kPathCharacters) - 4, QLatin1Char('n')) +
        QStringLiteral(".xls");
    QTest::newRow("xls to xlsx") << "/o/a.xls" << 1 << "/o/a.xlsx";
    QTest::newRow("upper case gets a small x") << "A.XLS" << 1 << "A.XLSx";
    QTest::newRow("xlsx to xls") << "/o/a.XLSX" << 0 << "/o/a.XLS";
    QTest::newRow("already right") << "a.xlsx" << 1 << "a.xlsx";
    QTest::newRow("other extension") << "a.csv" << 1 << "a.csv";
    QTest::newRow("no extension") << "book" << 0 << "book";
    QTest::newRow("too short") << "xl" << 1 << "xl";
    QTest::newRow("no room for the x") << longest << 1 << longest;
    QTest::newRow("room for the x") << longest.mid(1) << 1 << longest.mid(1) + QLatin1Char('x');
}

void WizardParts::fixExtension() {
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QString, fixed);
    QCOMPARE(FixExtension(name, type), fixed);
}

// The output page shows what the command line set and writes each control
// into the record.
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

    auto* delimiters = frame.findChild<QComboBox*>(QStringLiteral("delimiterCombo"));
    QCOMPARE(delimiters->count(), 5);
    QCOMPARE(delimiters->currentText(), QStringLiteral("X"));
    QCOMPARE(delimiters->lineEdit()->maxLength(), kDelimiterTextLength);
    const struct {
        const char* typed;
        char delimiter;
    } typedDelimiters[] = {{"tab", '\t'}, {"PIPE", '|'}, {"Pipe", '|'}, {";", ';'},
                           {"#x", '#'},   {"", ','},     {"TABS", 'T'}};
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

    auto* dates = frame.findChild<QComboBox*>(QStringLiteral("dateList"));
    dates->setCurrentIndex(dates->findText(QStringLiteral("YYYYMMDD")));
    QCOMPARE(settings->dateMode, 4);

    // Without an output name Next stays off and refuses.
    QVERIFY(!PressNext(frame));
    QVERIFY(!frame.validateCurrentPage());
    TypeInto(frame.findChild<QComboBox*>(QStringLiteral("outputCombo")),
             m_home->file(QStringLiteral("o.xls")));
    QVERIFY(PressNext(frame));
    QCOMPARE(Utf8(engine::TextOf(settings->numericChars)), numeric31.left(kCharacterSetLength));
    QTRY_COMPARE_WITH_TIMEOUT(frame.currentId(), int{kCompletionPageId}, 60000);
    QCOMPARE(settings->recordCount, 1);
    frame.reject();
}

void WizardParts::decodePreview_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("inputCodePage");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("legacy");
    QTest::addColumn<int>("oem");
    const int detect = static_cast<int>(PreviewMode::kDetect);
    const int asOem = static_cast<int>(PreviewMode::kAsOem);
    QTest::newRow("utf-8 needs no decision")
        << kHello.toUtf8() << asOem << 0 << kHello << false << 0;
    QTest::newRow("866 detected as OEM") << kHelloOem << detect << 0 << kHello << true << 1;
    QTest::newRow("1251 detected as ANSI") << kHelloAnsi << detect << 0 << kHello << true << 0;
    QTest::newRow("1251 forced as OEM")
        << kHelloAnsi << asOem << 0 << QString() << true << 1;  // text: not the greeting
    QTest::newRow("tie counts as ANSI")
        << QByteArray("\x8F\xCF\xFF") << detect << 0 << QString() << true << 0;
    QTest::newRow("zero byte ends the text")
        << QByteArray("a,b\n", 4) + QByteArray(1, '\0') + kHelloOem << detect << 0 << "a,b\n"
        << false << 0;
    QTest::newRow("zero byte ends detection too")
        << kHelloAnsi + QByteArray(1, '\0') + kHelloOem + kHelloOem << detect << 0 << kHello << true
        << 0;
    QTest::newRow("utf-16 with byte-order mark") << QByteArray(
                                                        "\xFF\xFE"
                                                        "a\0,\0b\0",
                                                        8)
                                                 << detect << 0 << "a,b" << false << 0;
    QTest::newRow("fixed code page") << kHelloOem << detect << 866 << kHello << false << 0;
}

void WizardParts::decodePreview() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, mode);
    QFETCH(int, inputCodePage);
    QFETCH(QString, text);
    QFETCH(bool, legacy);
    QFETCH(int, oem);
    const Preview preview =
        DecodePreview(View(bytes), static_cast<PreviewMode>(mode), inputCodePage, kCyrillicPages);
    QVERIFY(preview.opened);
    QCOMPARE(preview.legacy, legacy);
    QCOMPARE(preview.oemSource, oem);
    if (!text.isEmpty()) {
        QCOMPARE(preview.text, text);
    } else {
        QVERIFY(!preview.text.isEmpty() && preview.text != kHello);
    }
}

void WizardParts::previewStopsAt640KiB() {
    const QString path = m_home->file(QStringLiteral("big.csv"));
    WriteFile(path, QByteArray(kPreviewBytes, 'a') + QByteArray("bcdef"));
    const Preview preview = LoadPreview(path, PreviewMode::kDetect, 0);
    QCOMPARE(preview.text.size(), kPreviewBytes);
    QVERIFY(
        !LoadPreview(m_home->file(QStringLiteral("missing.csv")), PreviewMode::kDetect, 0).opened);
}

void WizardParts::oemBoxSwitchesDecoding() {
    const QString path = m_home->file(QStringLiteral("dos.csv"));
    WriteFile(path, kHelloOem);
    auto settings = SettingsFor({path});
    WizardFrame frame(settings.get());
    frame.show();
    QVERIFY(PressNext(frame));
    auto* box = frame.findChild<QCheckBox*>(QStringLiteral("oemBox"));
    auto* preview = frame.findChild<QPlainTextEdit*>(QStringLiteral("preview"));
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
    frame.reject();
}

void WizardParts::timeEstimate_data() {
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("text");
    QTest::newRow("a quarter in two minutes")
        << qint64{120} << qint64{1000000} << qint64{4000000}
        << "Elapsed time:\t00:02:00\nEstimated time:\t00:08:00";
    QTest::newRow("one second is too early") << qint64{1} << qint64{10} << qint64{100} << "";
    QTest::newRow("nothing done") << qint64{50} << qint64{0} << qint64{100} << "";
    QTest::newRow("rounded down") << qint64{7} << qint64{3} << qint64{10}
                                  << "Elapsed time:\t00:00:07\nEstimated time:\t00:00:23";
    QTest::newRow("several hundred megabytes")
        << qint64{3661} << qint64{1} << qint64{800000000}
        << "Elapsed time:\t01:01:01\nEstimated time:\t813555555:33:20";
    QTest::newRow("product beyond 64 bits")
        << qint64{4000000000} << qint64{4000000000} << qint64{8000000000000}
        << "Elapsed time:\t1111111:06:40\nEstimated time:\t2222222222:13:20";
}

void WizardParts::timeEstimate() {
    QFETCH(qint64, elapsed);
    QFETCH(qint64, done);
    QFETCH(qint64, total);
    QFETCH(QString, text);
    QCOMPARE(TimeEstimateText(elapsed, done, total), text);
}

void WizardParts::addRecentItem_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("added");
    QTest::addColumn<QStringList>("expected");
    const QStringList ten{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
    QTest::newRow("first run") << QStringList{} << "x"
                               << QStringList{"x", "", "", "", "", "", "", "", "", ""};
    QTest::newRow("moves up from position 3")
        << ten << "d" << QStringList{"d", "a", "b", "c", "e", "f", "g", "h", "i", "j"};
    QTest::newRow("other letter case replaces")
        << ten << "C" << QStringList{"C", "a", "b", "d", "e", "f", "g", "h", "i", "j"};
    QTest::newRow("eleventh drops the oldest")
        << ten << "k" << QStringList{"k", "a", "b", "c", "d", "e", "f", "g", "h", "i"};
    QTest::newRow("too long reads as empty")
        << QStringList{"a", QString(255, QLatin1Char('L')), "b"} << "x"
        << QStringList{"x", "a", "", "b", "", "", "", "", "", ""};
}

void WizardParts::addRecentItem() {
    QFETCH(QStringList, stored);
    QFETCH(QString, added);
    QFETCH(QStringList, expected);
    {
        QSettings settings(QStringLiteral("Morvik"), QStringLiteral("Wizards"));
        for (int position = 0; position < stored.size(); ++position) {
            settings.setValue(QStringLiteral("CSVfiles%1").arg(position), stored[position]);
        }
    }
    AddRecentItem(QString::fromLatin1(kSourceList), added);
    QStringList now;
    QSettings settings(QStringLiteral("Morvik"), QStringLiteral("Wizards"));
    for (int position = 0; position < kRecentItems; ++position) {
        now.append(settings.value(QStringLiteral("CSVfiles%1").arg(position)).toString());
    }
    QCOMPARE(now, expected);

    QComboBox combo;
    combo.setEditable(true);
    combo.setEditText(QStringLiteral("typed"));
    FillRecentList(&combo, QString::fromLatin1(kSourceList));
    QStringList shown;
    for (int item = 0; item < combo.count(); ++item) {
        shown.append(combo.itemText(item));
    }
    expected.removeAll(QString());
    QCOMPARE(shown, expected);
    QCOMPARE(combo.currentText(), QStringLiteral("typed"));
}

QTEST_MAIN(WizardParts)
#include "test_wizard_parts.moc"
