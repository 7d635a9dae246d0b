// SPDX-License-Identifier: MIT
// Reads a BIFF8 Workbook stream into the book model: the globals as records
// (with slots for what the writer regenerates), the shared strings, and each
// sheet's substream as raw bytes with the positions the writer patches.
#pragma once

#include <string>
#include <vector>

#include "workbook/xls/byte_io.h"
#include "workbook/xls/xls_model.h"

namespace workbook::xls {

struct LoadedWorkbook {
    BookModel book;
    std::vector<SheetModel> sheets;
    bool date1904 = false;
};

// False with a reason in `error` for anything that cannot be kept
// faithfully: BIFF5 or older, encryption, records that run past the stream,
// a damaged string table or sheet list.
[[nodiscard]] bool ReadWorkbookStream(ByteSpan stream, LoadedWorkbook& workbook,
                                      std::string& error);

}  // namespace workbook::xls
