# SPDX-License-Identifier: MIT
# The .xlsx format's tests; every produced file is read back by openpyxl.
quendle_test_program(xlsx_tests
    ${CMAKE_CURRENT_LIST_DIR}/xlsx_test_support.h
    ${CMAKE_CURRENT_LIST_DIR}/xlsx_new_book_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xlsx_loader_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xlsx_layout_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/chunk_deflater_tests.cpp
)
target_link_libraries(xlsx_tests PRIVATE ZLIB::ZLIB)
# The schemas the written sheets are checked against; the check is skipped
# when they are not there.
set(QUENDLE_OOXML_SCHEMAS "${PROJECT_SOURCE_DIR}/../shared/ooxml-schemas"
    CACHE PATH "Folder of the ECMA-376 transitional schemas (sml.xsd)")
target_compile_definitions(xlsx_tests PRIVATE QUENDLE_OOXML_SCHEMAS="${QUENDLE_OOXML_SCHEMAS}")
