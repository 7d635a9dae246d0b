# SPDX-License-Identifier: MIT
# Writing a large .xlsx sheet: seconds, output size and peak memory.
add_executable(xlsx_bench xlsx_bench.cpp)
target_link_libraries(xlsx_bench PRIVATE workbook)
quendle_warnings(xlsx_bench)
