// SPDX-License-Identifier: MIT
// The texts of a loaded .xls sheet's first row, read from its records as the
// file holds them.
#pragma once

#include <string>
#include <vector>

#include "workbook/xls/xls_model.h"

namespace workbook::xls {

// Row 0's texts by column, from the sheet's LABELSST, LABEL and RSTRING
// records (the string table gives LABELSST's text); "" where a column has
// no cell. False when row 0 holds a number, boolean, error or formula cell,
// or a record or string that cannot be read.
[[nodiscard]] bool ReadFirstRowTexts(const LoadedSubstream& substream, SharedStrings& strings,
                                     std::vector<std::string>& texts);

}  // namespace workbook::xls
