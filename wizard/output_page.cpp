// SPDX-License-Identifier: MIT
#include "wizard/output_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "wizard/recent_files.h"
#include "wizard/wizard_frame.h"

namespace wizard {
namespace {

constexpr int kPathLength = static_cast<int>(engine::kPathCharacters);

// The delimiters the list offers, in list order.
constexpr char kListedDelimiters[] = {',', ';', '\t', '|'};

template <std::size_t N>
void CopyCut(char (&dst)[N], const QString& text, int characters) {
    engine::CopyText(dst, text.left(characters).toStdString());
}

}  // namespace

QString FixExtension(const QString& name, int workbookType) {
    if (workbookType == 1) {
        if (name.size() >= 3 && name.size() < kPathLength &&
            name.right(3).compare(QStringLiteral("xls"), Qt::CaseInsensitive) == 0) {
            return name + QLatin1Char('x');
        }
    } else if (workbookType == 0) {
        if (name.size() >= 4 &&
            name.right(4).compare(QStringLiteral("xlsx"), Qt::CaseInsensitive) == 0) {
            return name.left(name.size() - 1);
        }
    }
    return name;
}

char DelimiterFromText(const QString& text) {
    if (text.compare(QStringLiteral("TAB"), Qt::CaseInsensitive) == 0) {
        return '\t';
    }
    if (text.compare(QStringLiteral("PIPE"), Qt::CaseInsensitive) == 0) {
        return '|';
    }
    if (text.isEmpty()) {
        return ',';
    }
    // The engine splits at one byte, so only a one-byte character can be a
    // delimiter; anything else falls back to the comma.
    const QChar first = text.front();
    return first.unicode() < 0x80 ? static_cast<char>(first.unicode()) : ',';
}

OutputPage::OutputPage(WizardFrame* frame) : QWizardPage(frame), m_frame(frame) {
    setObjectName(QStringLiteral("outputPage"));
    setTitle(tr("Select the output file"));
    setSubTitle(tr("Click 'Browse' button"));
    setCommitPage(true);

    auto* label = new QLabel(tr("You should enter the name of the output .XLS file"), this);
    m_fileCombo = new QComboBox(this);
    m_fileCombo->setObjectName(QStringLiteral("outputCombo"));
    m_fileCombo->setEditable(true);
    m_fileCombo->setInsertPolicy(QComboBox::NoInsert);
    m_fileCombo->lineEdit()->setMaxLength(kPathLength);
    label->setBuddy(m_fileCombo);
    auto* browse = new QPushButton(tr("&Browse"), this);
    browse->setObjectName(QStringLiteral("browseButton"));

    auto* overwriteGroup = new QGroupBox(this);
    m_overwriteFileBox = new QCheckBox(tr("Overwrite existing files"), overwriteGroup);
    m_overwriteFileBox->setObjectName(QStringLiteral("overwriteFileBox"));
    m_overwriteTableBox = new QCheckBox(tr("Overwrite existing tables"), overwriteGroup);
    m_overwriteTableBox->setObjectName(QStringLiteral("overwriteTableBox"));
    auto* overwriteLayout = new QVBoxLayout(overwriteGroup);
    overwriteLayout->addWidget(m_overwriteFileBox);
    overwriteLayout->addWidget(m_overwriteTableBox);

    auto* listGroup = new QGroupBox(this);
    m_typeList = new QComboBox(listGroup);
    m_typeList->setObjectName(QStringLiteral("typeList"));
    m_typeList->addItems({tr("Excel 97-2003 & 5.0/95 (*.xls)"), tr("Excel 2007-2010 (*.xlsx)")});
    m_dateList = new QComboBox(listGroup);
    m_dateList->setObjectName(QStringLiteral("dateList"));
    m_dateList->addItems({tr("Autodetect"), QStringLiteral("MM.DD.YYYY"),
                          QStringLiteral("DD.MM.YYYY"), QStringLiteral("YYYY.MM.DD"),
                          QStringLiteral("YYYYMMDD")});
    auto* listLayout = new QGridLayout(listGroup);
    listLayout->addWidget(new QLabel(tr("Excel type:"), listGroup), 0, 0);
    listLayout->addWidget(m_typeList, 0, 1);
    listLayout->addWidget(new QLabel(tr("DateFormat:"), listGroup), 1, 0);
    listLayout->addWidget(m_dateList, 1, 1);
    listLayout->setColumnStretch(1, 1);

    auto* optionGroup = new QGroupBox(this);
    m_delimiterCombo = new QComboBox(optionGroup);
    m_delimiterCombo->setObjectName(QStringLiteral("delimiterCombo"));
    m_delimiterCombo->setEditable(true);
    m_delimiterCombo->setInsertPolicy(QComboBox::NoInsert);
    m_allCharacterBox = new QCheckBox(tr("All fields are Character"), optionGroup);
    m_allCharacterBox->setObjectName(QStringLiteral("allCharacterBox"));
    m_numericEdit = new QLineEdit(optionGroup);
    m_numericEdit->setObjectName(QStringLiteral("numericEdit"));
    m_booleanEdit = new QLineEdit(optionGroup);
    m_booleanEdit->setObjectName(QStringLiteral("booleanEdit"));
    m_typesInFileBox = new QCheckBox(tr("First line contains field types"), optionGroup);
    m_typesInFileBox->setObjectName(QStringLiteral("typesInFileBox"));
    auto* optionLayout = new QGridLayout(optionGroup);
    optionLayout->addWidget(new QLabel(tr("Fields delimiter:"), optionGroup), 0, 0);
    optionLayout->addWidget(m_delimiterCombo, 0, 1);
    optionLayout->addWidget(m_allCharacterBox, 1, 0, 1, 2);
    optionLayout->addWidget(new QLabel(tr("Numeric:"), optionGroup), 2, 0);
    optionLayout->addWidget(m_numericEdit, 2, 1);
    optionLayout->addWidget(new QLabel(tr("Boolean:"), optionGroup), 3, 0);
    optionLayout->addWidget(m_booleanEdit, 3, 1);
    optionLayout->addWidget(m_typesInFileBox, 4, 0, 1, 2);

    auto* left = new QVBoxLayout;
    left->addWidget(overwriteGroup);
    left->addWidget(listGroup);
    left->addStretch(1);
    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_fileCombo, 1, 0);
    layout->addWidget(browse, 1, 1);
    auto* options = new QHBoxLayout;
    options->addLayout(left, 1);
    options->addWidget(optionGroup, 1);
    layout->addLayout(options, 2, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(3, 1);

    connect(browse, &QPushButton::clicked, this, &OutputPage::browse);
}

void OutputPage::initializePage() {
    if (m_initialized) {
        return;
    }
    m_initialized = true;
    engine::ConversionSettings* s = m_frame->settings();

    m_overwriteFileBox->setChecked(s->overwriteFile != 0);
    m_overwriteTableBox->setChecked(s->overwriteTable != 0);

    m_delimiterCombo->addItems(
        {QStringLiteral(","), QStringLiteral(";"), QStringLiteral("TAB"), QStringLiteral("PIPE")});
    const auto* listed =
        std::find(std::begin(kListedDelimiters), std::end(kListedDelimiters), s->delimiter);
    if (listed != std::end(kListedDelimiters)) {
        m_delimiterCombo->setCurrentIndex(static_cast<int>(listed - std::begin(kListedDelimiters)));
    } else {
        QString own = QString::fromUtf8(engine::TextOf(s->fieldsText));
        if (own.isEmpty()) {
            own = QString::fromLatin1(&s->delimiter, 1);
        }
        m_delimiterCombo->addItem(own);
        m_delimiterCombo->setCurrentIndex(4);
    }
    m_delimiterCombo->lineEdit()->setMaxLength(kDelimiterTextLength);

    QString name = QString::fromUtf8(engine::TextOf(s->outputPath));
    if (name.isEmpty()) {
        name = ReadWizardValue(QString::fromLatin1(kLastOutputValue));
    }
    // Without TYPE= the name's extension says which kind of workbook is meant.
    if (s->workbookTypeGiven == 0) {
        s->workbookType = name.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive) ? 1 : 0;
    }
    m_typeList->setCurrentIndex(s->workbookType == 1 ? 1 : 0);
    m_dateList->setCurrentIndex(s->dateMode >= 0 && s->dateMode <= 4 ? s->dateMode : 0);
    m_typesInFileBox->setChecked(s->typesInFile != 0);
    m_allCharacterBox->setChecked(s->allCharacter != 0);
    m_numericEdit->setEnabled(s->allCharacter == 0);
    m_booleanEdit->setEnabled(s->allCharacter == 0);
    m_numericEdit->setText(QString::fromUtf8(engine::TextOf(s->numericChars)));
    m_booleanEdit->setText(QString::fromUtf8(engine::TextOf(s->booleanChars)));
    m_numericEdit->setMaxLength(kCharacterSetLength);
    m_booleanEdit->setMaxLength(kCharacterSetLength);
    FillRecentList(m_fileCombo, QString::fromLatin1(kOutputList));
    m_fileCombo->setEditText(name);

    // Connected only now, so that filling the controls changes no setting.
    connect(m_overwriteFileBox, &QCheckBox::clicked, this,
            [this](bool on) { m_frame->settings()->overwriteFile = on ? 1 : 0; });
    connect(m_overwriteTableBox, &QCheckBox::clicked, this,
            [this](bool on) { m_frame->settings()->overwriteTable = on ? 1 : 0; });
    connect(m_typeList, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_frame->settings()->workbookType = index; });
    connect(m_dateList, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_frame->settings()->dateMode = index; });
    connect(m_delimiterCombo, &QComboBox::currentTextChanged, this, &OutputPage::takeDelimiter);
    connect(m_allCharacterBox, &QCheckBox::clicked, this, &OutputPage::takeAllCharacter);
    connect(m_typesInFileBox, &QCheckBox::clicked, this,
            [this](bool on) { m_frame->settings()->typesInFile = on ? 1 : 0; });
    // The name follows every change on the page, the type list's included.
    for (QCheckBox* box :
         {m_overwriteFileBox, m_overwriteTableBox, m_allCharacterBox, m_typesInFileBox}) {
        connect(box, &QCheckBox::clicked, this, &OutputPage::takeOutputName);
    }
    for (QComboBox* list : {m_typeList, m_dateList, m_delimiterCombo, m_fileCombo}) {
        connect(list, &QComboBox::currentTextChanged, this, &OutputPage::takeOutputName);
    }
    connect(m_fileCombo, &QComboBox::editTextChanged, this, &OutputPage::takeOutputName);
    takeOutputName();

    engine::WriteStatus("Output file selection", s);
    if (s->batchMode != 0) {
        m_frame->pressNextLater(this);
    }
}

bool OutputPage::isComplete() const {
    return !m_fileCombo->currentText().isEmpty();
}

bool OutputPage::validatePage() {
    engine::ConversionSettings* s = m_frame->settings();
    const QString name = QString::fromUtf8(engine::TextOf(s->outputPath));
    if (name.isEmpty()) {
        s->batchMode = 0;
        return false;
    }
    WriteWizardValue(QString::fromLatin1(kLastOutputValue), name);
    AddRecentItem(QString::fromLatin1(kOutputList), name);
    s->workbookType = m_typeList->currentIndex();
    // The list chose the type; the name's extension no longer decides it.
    s->workbookTypeGiven = 1;
    CopyCut(s->numericChars, m_numericEdit->text(), kCharacterSetLength);
    CopyCut(s->booleanChars, m_booleanEdit->text(), kCharacterSetLength);
    return true;
}

void OutputPage::takeOutputName() {
    if (m_fixing) {
        return;
    }
    const QString text = m_fileCombo->currentText().left(kPathLength);
    if (!text.isEmpty()) {
        const QString fixed = FixExtension(text, m_frame->settings()->workbookType);
        if (fixed != text) {
            m_fixing = true;
            m_fileCombo->setEditText(fixed);
            m_fixing = false;
        }
        engine::CopyText(m_frame->settings()->outputPath, fixed.toStdString());
    }
    emit completeChanged();
}

void OutputPage::browse() {
    const QString name = QFileDialog::getSaveFileName(this, tr("Save As"), QString(),
                                                      tr("XLS files (*.xls);;All files (*)"),
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty()) {
        return;
    }
    QString chosen = name;
    if (QFileInfo(chosen).suffix().isEmpty()) {
        chosen += QStringLiteral(".xls");  // the dialog's default extension
    }
    m_fileCombo->setEditText(FixExtension(chosen, m_frame->settings()->workbookType));
}

void OutputPage::takeDelimiter(const QString& text) {
    m_frame->settings()->delimiter = DelimiterFromText(text.left(kCharacterSetLength));
}

void OutputPage::takeAllCharacter(bool checked) {
    m_frame->settings()->allCharacter = checked ? 1 : 0;
    m_numericEdit->setEnabled(!checked);
    m_booleanEdit->setEnabled(!checked);
}

}  // namespace wizard
