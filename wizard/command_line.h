// SPDX-License-Identifier: MIT
// The command-line export: the settings written back in the parameter
// language, so that the text after the program's name repeats the wizard's
// conversion silently, and the box that shows it for copying.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "engine/engine.h"

class QLabel;

namespace wizard {

inline constexpr char kCommandLineCaption[] =
    "Press Ctrl-C to copy command line parameters to the clipboard";

// The parameters that repeat the conversion, in a fixed order, each piece
// followed by a blank (two after the NUMERIC= and BOOLEAN= values) and the
// closing "/SILENT " on a line of its own. Names are not quoted.
std::string CommandLineText(const engine::ConversionSettings& settings);

// A message box for the exported text: selectable text, an OK button and a
// Copy button that puts the text alone on the clipboard. Ctrl+C copies the
// caption and the text in the layout of a Windows message box.
class CommandLineDialog : public QDialog {
    Q_OBJECT

public:
    CommandLineDialog(const QString& text, QWidget* parent);

    // What Ctrl+C puts on the clipboard.
    QString copyAllText() const;

public slots:
    void copyText();
    void copyAll();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_text;
};

// Shows the export of `settings` in a CommandLineDialog owned by `owner` and
// returns when it closes. Changes nothing in the record.
void ShowCommandLine(QWidget* owner, const engine::ConversionSettings& settings);

}  // namespace wizard
