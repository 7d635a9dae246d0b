# SPDX-License-Identifier: MIT
# The .xls format's tests: files read back by xlrd and olefile.
quendle_test_program(xls_tests
    ${CMAKE_CURRENT_LIST_DIR}/xls_write_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xls_load_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xls_records_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/string_merger_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xls_layout_test.cpp
)
