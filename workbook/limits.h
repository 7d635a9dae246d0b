// SPDX-License-Identifier: MIT
// Spreadsheet limits that the writers enforce, with where each comes from.
#pragma once

namespace workbook {

// BIFF8 stores row numbers in 16 bits and column numbers in 8 bits.
inline constexpr int kXlsMaxRows = 65536;
inline constexpr int kXlsMaxColumns = 256;
// Office Open XML worksheets end at row 1048576 and column XFD.
inline constexpr int kXlsxMaxRows = 1048576;
inline constexpr int kXlsxMaxColumns = 16384;
// Both formats hold at most 32767 characters in one cell.
inline constexpr int kMaxCellCharacters = 32767;
// Sheet names are at most 31 characters in both formats.
inline constexpr int kMaxSheetNameCharacters = 31;

}  // namespace workbook
