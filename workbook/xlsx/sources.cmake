# SPDX-License-Identifier: MIT
# Sources of the .xlsx format, relative to workbook/.
target_sources(workbook PRIVATE
    xlsx/xlsx_book.cpp
)
