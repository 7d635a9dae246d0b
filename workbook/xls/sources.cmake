# SPDX-License-Identifier: MIT
# Sources of the .xls format, relative to workbook/.
target_sources(workbook PRIVATE
    xls/xls_book.cpp
)
