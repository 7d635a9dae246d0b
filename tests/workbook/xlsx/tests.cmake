# SPDX-License-Identifier: MIT
# The .xlsx format's tests; every produced file is read back by openpyxl and
# its written parts checked against the schemas in tests/data/ooxml-schemas.
quendle_test_program(xlsx_tests
    ${CMAKE_CURRENT_LIST_DIR}/xlsx_test_support.h
    ${CMAKE_CURRENT_LIST_DIR}/xlsx_new_book_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xlsx_loader_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xlsx_layout_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/chunk_deflater_tests.cpp
)
target_link_libraries(xlsx_tests PRIVATE ZLIB::ZLIB)
