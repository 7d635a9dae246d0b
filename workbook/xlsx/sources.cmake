# SPDX-License-Identifier: MIT
# Sources of the .xlsx format, relative to workbook/.
target_sources(workbook PRIVATE
    xlsx/xlsx_book.cpp
    xlsx/worksheet_part.cpp
    xlsx/workbook_part.cpp
    xlsx/styles_part.cpp
    xlsx/content_types_part.cpp
    xlsx/relationships_part.cpp
    xlsx/properties_part.cpp
    xlsx/part_splicing.cpp
    xlsx/xml_writer.cpp
    xlsx/xml_reader.cpp
    xlsx/chunk_deflater.cpp
    xlsx/zip_writer.cpp
    xlsx/zip_reader.cpp
)
