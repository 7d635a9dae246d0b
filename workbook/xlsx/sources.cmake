# SPDX-License-Identifier: MIT
# Sources of the .xlsx format, relative to workbook/.
target_sources(workbook PRIVATE
    xlsx/xlsx_book.cpp
    xlsx/worksheet_part.cpp
    xlsx/worksheet_layout.cpp
    xlsx/first_row.cpp
    xlsx/workbook_part.cpp
    xlsx/styles_part.cpp
    xlsx/content_types_part.cpp
    xlsx/relationships_part.cpp
    xlsx/properties_part.cpp
    xlsx/theme_part.cpp
    xlsx/part_splicing.cpp
    xlsx/xml_writer.cpp
    xlsx/xml_reader.cpp
    xlsx/chunk_deflater.cpp
    xlsx/deflate_zlib.cpp
    xlsx/zip_writer.cpp
    xlsx/zip_reader.cpp
)

# ISA-L's deflate where the build finds it (x86-64 and arm64 Debian); zlib
# everywhere else. QUENDLE_ISAL=OFF leaves it out on purpose.
if(QUENDLE_ISAL AND ISAL_FOUND)
    target_sources(workbook PRIVATE xlsx/deflate_isal.cpp)
    target_link_libraries(workbook PRIVATE PkgConfig::ISAL)
else()
    target_sources(workbook PRIVATE xlsx/deflate_isal_absent.cpp)
endif()
