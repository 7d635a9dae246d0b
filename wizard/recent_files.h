// SPDX-License-Identifier: MIT
// The wizard's per-user memory of file names: the last source and output
// names taken on with Next and two lists of ten recent names, kept through
// QSettings under organisation "Morvik", application "Wizards".
#pragma once

#include <QString>

class QComboBox;

namespace wizard {

inline constexpr int kRecentItems = 10;
// A stored value longer than this reads as missing.
inline constexpr int kRecentValueCharacters = 254;

inline constexpr char kLastSourceValue[] = "LastCSVFile";
inline constexpr char kLastOutputValue[] = "LastXLS2File";
inline constexpr char kSourceList[] = "CSVfiles";
inline constexpr char kOutputList[] = "XLS2files";

// The stored text, or an empty text when the value is missing, not a text or
// longer than kRecentValueCharacters.
QString ReadWizardValue(const QString& name);

// Stores the text; failures are ignored.
void WriteWizardValue(const QString& name, const QString& text);

// Appends the list's non-empty entries to the combo's drop-down list, most
// recent first, without changing the combo's edit text.
void FillRecentList(QComboBox* combo, const QString& list);

// Puts `name` at position 0 of the list, removes its other copies in any
// letter case, keeps the others in order and drops what falls past position
// 9. All ten positions are rewritten; unused ones hold empty texts.
void AddRecentItem(const QString& list, const QString& name);

}  // namespace wizard
