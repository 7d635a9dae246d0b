// SPDX-License-Identifier: MIT
// Recent-file lists in QSettings. Each list is ten plain values named
// "<list><digit>", so other tools of the same family can share them.
#include "wizard/recent_files.h"

#include <QComboBox>
#include <QSettings>
#include <QSignalBlocker>
#include <QStringList>

namespace wizard {
namespace {

QSettings WizardSettings() {
    return QSettings(QStringLiteral("Morvik"), QStringLiteral("Wizards"));
}

QString ItemName(const QString& list, int position) {
    return list + QString::number(position);
}

}  // namespace

QString ReadWizardValue(const QString& name) {
    const QVariant value = WizardSettings().value(name);
    if (!value.canConvert<QString>()) {
        return {};
    }
    QString text = value.toString();
    return text.size() > kRecentValueCharacters ? QString() : text;
}

void WriteWizardValue(const QString& name, const QString& text) {
    WizardSettings().setValue(name, text);
}

void FillRecentList(QComboBox* combo, const QString& list) {
    const QString editText = combo->currentText();
    {
        // Adding the first item would otherwise make it the edit text.
        const QSignalBlocker blocker(combo);
        for (int position = 0; position < kRecentItems; ++position) {
            const QString item = ReadWizardValue(ItemName(list, position));
            if (!item.isEmpty()) {
                combo->addItem(item);
            }
        }
        combo->setCurrentIndex(-1);
        combo->setEditText(editText);
    }
}

void AddRecentItem(const QString& list, const QString& name) {
    QStringList items{name};
    for (int position = 0; position < kRecentItems; ++position) {
        const QString stored = ReadWizardValue(ItemName(list, position));
        if (stored.compare(name, Qt::CaseInsensitive) != 0) {
            items.append(stored);
        }
    }
    QSettings settings = WizardSettings();
    for (int position = 0; position < kRecentItems; ++position) {
        settings.setValue(ItemName(list, position), items.value(position));
    }
}

}  // namespace wizard
