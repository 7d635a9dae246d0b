// SPDX-License-Identifier: MIT
// The box that shows the command-line export: the parameters as the wizard
// has always shown them, and a copy that can be pasted into a terminal.
#pragma once

#include <QDialog>
#include <QString>

#include "engine/settings.h"

class QLabel;

namespace wizard {

// A message box for the exported text: selectable text, an OK button and a
// Copy button. Copy and Ctrl+C put the ready-to-run line on the clipboard
// and the box says so.
class CommandLineDialog : public QDialog {
    Q_OBJECT

public:
    CommandLineDialog(const QString& text, const QString& readyToRun, QWidget* parent);

public slots:
    void copyReadyToRun();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_readyToRun;
    QLabel* m_copiedLabel;
};

// Shows the export of `settings` in a CommandLineDialog owned by `owner` and
// returns when it closes. Changes nothing in the record.
void ShowCommandLine(QWidget* owner, const engine::ConversionSettings& settings);

}  // namespace wizard
