// SPDX-License-Identifier: MIT
// What the source and output pages share: a file name with its recent list
// first, and a model that decides when Next may go on.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWizardPage>

#include "wizard/qt/recent_files_qsettings.h"
#include "wizard/qt/wizard_frame.h"

namespace wizard {

template <typename Model>
class FieldsPage : public QWizardPage {
public:
    bool isComplete() const override { return m_model.nextEnabled(); }

    bool validatePage() override {
        const bool next = m_model.Next();
        refresh();
        return next;
    }

protected:
    FieldsPage(WizardFrame* frame, Model& model)
        : QWizardPage(frame), m_frame(frame), m_model(model) {}

    // Shows what the model holds now, and any message it has.
    virtual void refresh() = 0;

    // The editable name with its recent list, `label`'s buddy.
    QComboBox* newNameCombo(const QString& objectName, QLabel* label) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(objectName);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->lineEdit()->setMaxLength(static_cast<int>(engine::kPathCharacters));
        label->setBuddy(combo);
        return combo;
    }

    // The Browse button beside the name; Enter still presses Next.
    QPushButton* newBrowseButton(const QString& text) {
        auto* browse = new QPushButton(text, this);
        browse->setObjectName(QStringLiteral("browseButton"));
        browse->setAutoDefault(false);
        return browse;
    }

    // The end of entering the page: the name's recent list, the model shown,
    // the focus on the name, and Next pressed when the model asks for it.
    void entered(bool pressNext, QComboBox* nameCombo) {
        FillRecentList(nameCombo, m_model.recentNames());
        refresh();
        nameCombo->setFocus();
        if (pressNext) {
            m_frame->pressNextLater(this);
        }
    }

    WizardFrame* m_frame;
    Model& m_model;
};

}  // namespace wizard
