// SPDX-License-Identifier: MIT
// What the wizard tests share: a private home for settings, INI and log
// files; a watcher that answers message boxes as a user would and notes what
// they said; button presses; and the independent workbook reader.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "engine/parameter_parser.h"
#include "engine/settings.h"
#include "wizard/qt/wizard_frame.h"

namespace wizard_testing {

// Points every per-user file (QSettings, the user INI, the run log) into a
// fresh folder, removed afterwards.
class PrivateHome {
public:
    PrivateHome() {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_STATE_HOME", m_dir.filePath(QStringLiteral("state")).toUtf8());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_dir.filePath(QStringLiteral("config")));
    }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    QString wizardsConf() const { return file(QStringLiteral("config/Morvik/Wizards.conf")); }

private:
    QTemporaryDir m_dir;
};

// A record filled as the program fills it, from a command line.
inline std::unique_ptr<engine::ConversionSettings> SettingsFor(const QStringList& arguments) {
    auto settings = std::make_unique<engine::ConversionSettings>();
    engine::SetDefaultSettings(settings.get());
    engine::LoadCommonSettings(settings.get());
    wizard::ParseArguments(settings.get(), arguments, "/nonexistent/quendle");
    return settings;
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

struct SeenBox {
    QString title;
    QString text;
    QString statusThen;  // the status file's Result while the box was up
    QString owner;       // object name of the box's parent widget
};

// Answers every modal dialog: notes it, gives `onDialog` a look (which may
// close it itself), then closes it as a user pressing OK would.
class ModalWatcher {
public:
    explicit ModalWatcher(QString statusPath = {}) : m_statusPath(std::move(statusPath)) {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start();
    }
    std::function<void(QDialog*)> onDialog;
    const std::vector<SeenBox>& seen() const { return m_seen; }

private:
    void answer() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        SeenBox box{dialog->windowTitle(), {}, {}, {}};
        if (dialog->parentWidget() != nullptr) {
            box.owner = dialog->parentWidget()->objectName();
        }
        if (auto* message = qobject_cast<QMessageBox*>(dialog)) {
            box.text = message->text();
        }
        if (!m_statusPath.isEmpty()) {
            box.statusThen = QSettings(m_statusPath, QSettings::IniFormat)
                                 .value(QStringLiteral("QUENDLE/Result"))
                                 .toString();
        }
        m_seen.push_back(box);
        if (onDialog) {
            onDialog(dialog);
        }
        if (dialog->isVisible()) {
            dialog->reject();
        }
    }

    QString m_statusPath;
    QTimer m_timer;
    std::vector<SeenBox> m_seen;
};

// The status file's "Result" value.
inline QString StatusOf(const QString& statusPath) {
    return QSettings(statusPath, QSettings::IniFormat)
        .value(QStringLiteral("QUENDLE/Result"))
        .toString();
}

// The caption the frame must show on its current page, built from what the
// pages themselves show, so that no caption is spelt out in a test: the
// program's name (`programName`, the welcome page's caption) alone on the
// welcome page; after it, " | " and the title in an inner page's header, or
// the completion page's heading, which must be the one its model gives.
inline QString ExpectedCaption(wizard::WizardFrame& frame, const QString& programName) {
    QWizardPage* page = frame.currentPage();
    if (page == nullptr) {
        return QStringLiteral("(no page)");
    }
    switch (frame.currentId()) {
        case wizard::kWelcomePageId:
            return programName;
        case wizard::kCompletionPageId: {
            const auto* heading = page->findChild<QLabel*>(QStringLiteral("titleLabel"));
            if (heading == nullptr ||
                heading->text() != QString::fromLatin1(frame.completionModel().titleText())) {
                return QStringLiteral("(the heading is not the model's)");
            }
            return programName + QStringLiteral(" | ") + heading->text();
        }
        default:
            return programName + QStringLiteral(" | ") + page->title();
    }
}

// The program's name as the welcome page shows it: its caption, which its
// heading must name too. Empty when they disagree.
inline QString ProgramName(wizard::WizardFrame& frame) {
    const QString caption = frame.windowTitle();
    const auto* heading =
        frame.page(wizard::kWelcomePageId)->findChild<QLabel*>(QStringLiteral("titleLabel"));
    if (frame.currentId() != wizard::kWelcomePageId || caption.isEmpty() || heading == nullptr ||
        !heading->text().endsWith(caption)) {
        return {};
    }
    return caption;
}

// Presses the button that moves on: Next, or Commit on a commit page.
inline bool PressNext(QWizard& wizard) {
    for (QWizard::WizardButton which : {QWizard::NextButton, QWizard::CommitButton}) {
        QAbstractButton* button = wizard.button(which);
        if (button->isVisible()) {
            if (!button->isEnabled()) {
                return false;
            }
            QTest::mouseClick(button, Qt::LeftButton);
            return true;
        }
    }
    return false;
}

// Clicks a check box on its indicator, where a user aims: a wide box does
// not take clicks beyond its text.
inline void ClickBox(QAbstractButton* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
}

// Types a name into an editable combo, key by key.
inline void TypeInto(QComboBox* combo, const QString& text) {
    combo->lineEdit()->selectAll();
    QTest::keyClick(combo->lineEdit(), Qt::Key_Backspace);
    QTest::keyClicks(combo->lineEdit(), text);
}

// Reads a workbook with tests/tools/read_workbook.py: sheet name -> cells,
// each [row, column, kind, value]. Empty when the reader failed.
inline QJsonObject ReadWorkbook(const QString& path) {
    QProcess reader;
    reader.start(QStringLiteral(QUENDLE_PYTHON),
                 {QStringLiteral(QUENDLE_TOOLS_DIR "/read_workbook.py"), path});
    if (!reader.waitForFinished(120000) || reader.exitCode() != 0) {
        qWarning("reader failed: %s", reader.readAllStandardError().constData());
        return {};
    }
    QJsonObject sheets;
    const QJsonArray all = QJsonDocument::fromJson(reader.readAllStandardOutput())
                               .object()[QStringLiteral("sheets")]
                               .toArray();
    for (const QJsonValue& sheet : all) {
        sheets[sheet[QStringLiteral("name")].toString()] = sheet[QStringLiteral("cells")];
    }
    return sheets;
}

// Top-level widgets still alive, which a finished test must not leave behind.
inline QStringList TopLevelsLeft() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList left;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        left.append(QString::fromLatin1(widget->metaObject()->className()) + QLatin1Char(' ') +
                    widget->windowTitle());
    }
    return left;
}

}  // namespace wizard_testing
