// SPDX-License-Identifier: MIT
// Reads a BIFF8 Workbook stream into the book model: the globals as records
// (with slots for what the writer regenerates), the shared strings, and for
// each sheet's substream where it lies, with the records the writer patches.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "workbook/le_bytes.h"
#include "workbook/xls/compound_file.h"
#include "workbook/xls/xls_model.h"

namespace workbook::xls {

struct LoadedWorkbook {
    BookModel book;
    std::vector<SheetModel> sheets;
    bool date1904 = false;
};

// False with a reason in `error` for anything that cannot be kept
// faithfully: BIFF5 or older, encryption, records that run past the stream,
// a damaged string table or sheet list. The stream is read through a
// window; the loaded sheets keep `stream` to read their records from when
// they are written out, and the shared strings go to their spill file.
[[nodiscard]] bool ReadWorkbookStream(const std::shared_ptr<const StreamBytes>& stream,
                                      LoadedWorkbook& workbook, std::string& error);

}  // namespace workbook::xls
