// SPDX-License-Identifier: MIT
#include "wizard/qt/output_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "wizard/qt/wizard_frame.h"

namespace wizard {
namespace {

QStringList Items(const std::vector<std::string>& items) {
    QStringList list;
    for (const std::string& item : items) {
        list.append(QString::fromStdString(item));
    }
    return list;
}

}  // namespace

OutputPage::OutputPage(WizardFrame* frame) : FieldsPage(frame, frame->outputModel()) {
    setObjectName(QStringLiteral("outputPage"));
    setTitle(tr("Select the output file"));
    setSubTitle(tr("Click 'Browse' button"));
    setCommitPage(true);

    auto* label = new QLabel(tr("You should enter the name of the &output .XLS file"), this);
    m_fileCombo = newNameCombo(QStringLiteral("outputCombo"), label);
    auto* browse = newBrowseButton(tr("&Browse"));

    auto* overwriteGroup = new QGroupBox(this);
    m_overwriteFileBox = new QCheckBox(tr("Over&write existing files"), overwriteGroup);
    m_overwriteFileBox->setObjectName(QStringLiteral("overwriteFileBox"));
    m_overwriteTableBox = new QCheckBox(tr("Overwrite existing &tables"), overwriteGroup);
    m_overwriteTableBox->setObjectName(QStringLiteral("overwriteTableBox"));
    auto* overwriteLayout = new QVBoxLayout(overwriteGroup);
    overwriteLayout->addWidget(m_overwriteFileBox);
    overwriteLayout->addWidget(m_overwriteTableBox);

    auto* listGroup = new QGroupBox(this);
    m_typeList = new QComboBox(listGroup);
    m_typeList->setObjectName(QStringLiteral("typeList"));
    m_typeList->addItems(Items(WorkbookTypeItems()));
    m_dateList = new QComboBox(listGroup);
    m_dateList->setObjectName(QStringLiteral("dateList"));
    m_dateList->addItems(Items(DateFormatItems()));
    m_decimalList = new QComboBox(listGroup);
    m_decimalList->setObjectName(QStringLiteral("decimalList"));
    m_decimalList->addItems(Items(DecimalSeparatorItems()));
    auto* listLayout = new QGridLayout(listGroup);
    const auto labelFor = [](const QString& text, QWidget* control, QWidget* parent) {
        auto* buddyLabel = new QLabel(text, parent);
        buddyLabel->setBuddy(control);
        return buddyLabel;
    };
    listLayout->addWidget(labelFor(tr("Excel t&ype:"), m_typeList, listGroup), 0, 0);
    listLayout->addWidget(m_typeList, 0, 1);
    listLayout->addWidget(labelFor(tr("&DateFormat:"), m_dateList, listGroup), 1, 0);
    listLayout->addWidget(m_dateList, 1, 1);
    listLayout->addWidget(labelFor(tr("Deci&mal:"), m_decimalList, listGroup), 2, 0);
    listLayout->addWidget(m_decimalList, 2, 1);
    listLayout->setColumnStretch(1, 1);

    auto* optionGroup = new QGroupBox(this);
    m_delimiterCombo = new QComboBox(optionGroup);
    m_delimiterCombo->setObjectName(QStringLiteral("delimiterCombo"));
    m_delimiterCombo->setEditable(true);
    m_delimiterCombo->setInsertPolicy(QComboBox::NoInsert);
    m_delimiterCombo->lineEdit()->setMaxLength(static_cast<int>(kDelimiterTextLength));
    m_allCharacterBox = new QCheckBox(tr("&All fields are Character"), optionGroup);
    m_allCharacterBox->setObjectName(QStringLiteral("allCharacterBox"));
    m_numericEdit = new QLineEdit(optionGroup);
    m_numericEdit->setObjectName(QStringLiteral("numericEdit"));
    m_numericEdit->setMaxLength(static_cast<int>(kCharacterSetLength));
    m_booleanEdit = new QLineEdit(optionGroup);
    m_booleanEdit->setObjectName(QStringLiteral("booleanEdit"));
    m_booleanEdit->setMaxLength(static_cast<int>(kCharacterSetLength));
    m_typesInFileBox = new QCheckBox(tr("Fi&rst line contains field types"), optionGroup);
    m_typesInFileBox->setObjectName(QStringLiteral("typesInFileBox"));
    auto* optionLayout = new QGridLayout(optionGroup);
    optionLayout->addWidget(labelFor(tr("Fields de&limiter:"), m_delimiterCombo, optionGroup), 0,
                            0);
    optionLayout->addWidget(m_delimiterCombo, 0, 1);
    optionLayout->addWidget(m_allCharacterBox, 1, 0, 1, 2);
    optionLayout->addWidget(labelFor(tr("N&umeric:"), m_numericEdit, optionGroup), 2, 0);
    optionLayout->addWidget(m_numericEdit, 2, 1);
    optionLayout->addWidget(labelFor(tr("Bool&ean:"), m_booleanEdit, optionGroup), 3, 0);
    optionLayout->addWidget(m_booleanEdit, 3, 1);
    optionLayout->addWidget(m_typesInFileBox, 4, 0, 1, 2);

    // Compact groups, so that the page fits a small screen.
    for (QLayout* group :
         {static_cast<QLayout*>(overwriteLayout), static_cast<QLayout*>(listLayout),
          static_cast<QLayout*>(optionLayout)}) {
        group->setContentsMargins(8, 4, 8, 4);
        group->setSpacing(4);
    }
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

    // Each control passes its event to the model, then the page shows the
    // model again: the name's extension may follow the type.
    const auto after = [this](auto event) {
        return [this, event](auto... value) {
            event(value...);
            refresh();
        };
    };
    connect(browse, &QPushButton::clicked, this, &OutputPage::browse);
    connect(m_fileCombo, &QComboBox::editTextChanged, this,
            after([this](const QString& text) { m_model.NameEdited(text.toStdString()); }));
    connect(m_fileCombo->lineEdit(), &QLineEdit::editingFinished, this,
            after([this] { m_model.NameCommitted(); }));
    connect(m_fileCombo, &QComboBox::activated, this,
            after([this](int) { m_model.NameCommitted(); }));
    connect(m_overwriteFileBox, &QCheckBox::clicked, this,
            after([this](bool on) { m_model.OverwriteFileClicked(on); }));
    connect(m_overwriteTableBox, &QCheckBox::clicked, this,
            after([this](bool on) { m_model.OverwriteTableClicked(on); }));
    connect(m_typeList, &QComboBox::currentIndexChanged, this,
            after([this](int index) { m_model.TypeChosen(index); }));
    connect(m_dateList, &QComboBox::currentIndexChanged, this,
            after([this](int index) { m_model.DateChosen(index); }));
    connect(m_decimalList, &QComboBox::currentIndexChanged, this,
            after([this](int index) { m_model.DecimalChosen(index); }));
    connect(m_delimiterCombo, &QComboBox::currentTextChanged, this,
            after([this](const QString& text) { m_model.DelimiterEdited(text.toStdString()); }));
    connect(m_allCharacterBox, &QCheckBox::clicked, this,
            after([this](bool on) { m_model.AllCharacterClicked(on); }));
    connect(m_typesInFileBox, &QCheckBox::clicked, this,
            after([this](bool on) { m_model.TypesInFileClicked(on); }));
    connect(m_numericEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_model.NumericEdited(text.toStdString()); });
    connect(m_booleanEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_model.BooleanEdited(text.toStdString()); });
}

void OutputPage::initializePage() {
    const bool pressNext = m_model.Enter(m_frame->sourceModel().previewText());
    {
        const QSignalBlocker blocker(m_delimiterCombo);
        m_delimiterCombo->clear();
        m_delimiterCombo->addItems(Items(m_model.delimiterItems()));
    }
    entered(pressNext, m_fileCombo);
}

void OutputPage::browse() {
    const std::string folder = m_model.saveFolder();
    const QString xls = tr("XLS files (*.xls)");
    const QString xlsx = tr("XLSX files (*.xlsx)");
    QString selected = m_model.typeIndex() == 1 ? xlsx : xls;
    const QString start =
        folder.empty() ? QString() : QString::fromStdString(folder + platform::kPathSeparator);
    const QString name = QFileDialog::getSaveFileName(
        this, tr("Save As"), start, xls + QStringLiteral(";;") + xlsx + tr(";;All files (*)"),
        &selected, QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty()) {
        return;
    }
    m_model.FileChosen(name.toStdString());
    refresh();
}

void OutputPage::refresh() {
    {
        QWidget* const controls[] = {m_fileCombo,      m_overwriteFileBox, m_overwriteTableBox,
                                     m_typeList,       m_dateList,         m_decimalList,
                                     m_delimiterCombo, m_allCharacterBox,  m_numericEdit,
                                     m_booleanEdit,    m_typesInFileBox};
        std::vector<std::unique_ptr<QSignalBlocker>> blockers;
        for (QWidget* control : controls) {
            blockers.push_back(std::make_unique<QSignalBlocker>(control));
        }
        const QString name = QString::fromStdString(m_model.nameText());
        if (m_fileCombo->currentText() != name) {
            m_fileCombo->setEditText(name);
        }
        m_overwriteFileBox->setChecked(m_model.overwriteFileChecked());
        m_overwriteTableBox->setChecked(m_model.overwriteTableChecked());
        m_typeList->setCurrentIndex(m_model.typeIndex());
        m_dateList->setCurrentIndex(m_model.dateIndex());
        m_decimalList->setCurrentIndex(m_model.decimalIndex());
        const QString delimiter = QString::fromStdString(m_model.delimiterText());
        if (m_delimiterCombo->currentText() != delimiter) {
            const int item = m_delimiterCombo->findText(delimiter);
            if (item >= 0) {
                m_delimiterCombo->setCurrentIndex(item);
            } else {
                m_delimiterCombo->setEditText(delimiter);
            }
        }
        m_allCharacterBox->setChecked(m_model.allCharacterChecked());
        m_numericEdit->setEnabled(m_model.characterSetsEnabled());
        m_booleanEdit->setEnabled(m_model.characterSetsEnabled());
        if (m_numericEdit->text().toStdString() != m_model.numericText()) {
            m_numericEdit->setText(QString::fromStdString(m_model.numericText()));
        }
        if (m_booleanEdit->text().toStdString() != m_model.booleanText()) {
            m_booleanEdit->setText(QString::fromStdString(m_model.booleanText()));
        }
        m_typesInFileBox->setChecked(m_model.typesInFileChecked());
    }
    emit completeChanged();
    m_frame->showPageMessage(m_model.TakeMessage(), this);
}

}  // namespace wizard
