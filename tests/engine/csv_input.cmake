# SPDX-License-Identifier: MIT
target_sources(engine_tests PRIVATE csv_input_test.cpp csv_split_differential_test.cpp)
