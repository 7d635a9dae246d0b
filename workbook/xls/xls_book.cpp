// SPDX-License-Identifier: MIT
// Placeholder until the .xls format lands: no book can be made yet.
#include "workbook/book.h"

namespace workbook {

Book* NewXlsBook() { return nullptr; }

}  // namespace workbook
