# SPDX-License-Identifier: MIT
# Reading and splitting a large CSV file, in text mode and with every field
# classified: prints MB/s for each.
add_executable(csv_bench csv_bench.cpp)
target_link_libraries(csv_bench PRIVATE engine)
quendle_warnings(csv_bench)
