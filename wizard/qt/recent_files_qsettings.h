// SPDX-License-Identifier: MIT
// The wizard's per-user memory of file names in QSettings, under
// organisation "Morvik", application "Wizards", and the combo boxes that
// offer them.
#pragma once

#include <string>
#include <vector>

#include "wizard/core/wizard_core.h"

class QComboBox;

namespace wizard {

// Plain string values, one per name, so that other tools of the same family
// can share them.
class QSettingsStore : public RecentStore {
public:
    std::optional<std::string> Read(std::string_view name) const override;
    void Write(std::string_view name, std::string_view text) override;
};

// Replaces the combo's drop-down list with `names`, most recent first,
// without changing its edit text.
void FillRecentList(QComboBox* combo, const std::vector<std::string>& names);

}  // namespace wizard
