// SPDX-License-Identifier: MIT
// The DocumentSummaryInformation stream a loaded workbook carries along:
// only what must change when its sheets change.
#pragma once

#include "workbook/le_bytes.h"

namespace workbook::xls {

// Removes the heading pairs and titles of parts (the sheet list readers show
// among a file's properties) from a DocumentSummaryInformation stream,
// keeping every other property and the user-defined set. False, with
// `stream` unchanged, when it is not a property set stream this can read.
[[nodiscard]] bool DropSheetListProperties(Bytes& stream);

}  // namespace workbook::xls
