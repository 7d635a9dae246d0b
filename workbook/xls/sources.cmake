# SPDX-License-Identifier: MIT
# Sources of the .xls format, relative to workbook/.
target_sources(workbook PRIVATE
    xls/biff_reader.cpp
    xls/biff_records.cpp
    xls/biff_writer.cpp
    xls/compound_file.cpp
    xls/first_row.cpp
    xls/property_set.cpp
    xls/spill_file.cpp
    xls/xls_book.cpp
    xls/xls_text.cpp
)
