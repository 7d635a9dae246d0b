// SPDX-License-Identifier: MIT
#include "wizard/qt/recent_files_qsettings.h"

#include <QComboBox>
#include <QSettings>
#include <QSignalBlocker>

namespace wizard {
namespace {

QSettings WizardSettings() {
    return QSettings(QStringLiteral("Morvik"), QStringLiteral("Wizards"));
}

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::optional<std::string> QSettingsStore::Read(std::string_view name) const {
    const QVariant value = WizardSettings().value(FromView(name));
    if (!value.isValid() || !value.canConvert<QString>()) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

void QSettingsStore::Write(std::string_view name, std::string_view text) {
    WizardSettings().setValue(FromView(name), FromView(text));
}

void FillRecentList(QComboBox* combo, const std::vector<std::string>& names) {
    const QString editText = combo->currentText();
    // Adding the first item would otherwise make it the edit text.
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (const std::string& name : names) {
        combo->addItem(QString::fromStdString(name));
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(editText);
}

}  // namespace wizard
