// SPDX-License-Identifier: MIT
// Placeholder until the .xlsx format lands: no book can be made yet.
#include "workbook/book.h"

namespace workbook {

Book* NewXlsxBook() { return nullptr; }

}  // namespace workbook
