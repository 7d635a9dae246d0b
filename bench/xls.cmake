# SPDX-License-Identifier: MIT
# Writing a large .xls sheet: prints seconds and peak memory.
add_executable(xls_bench xls_bench.cpp)
target_link_libraries(xls_bench PRIVATE workbook)
quendle_warnings(xls_bench)
