# SPDX-License-Identifier: MIT
target_sources(engine_tests PRIVATE csv_input_test.cpp)
