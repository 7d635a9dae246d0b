# SPDX-License-Identifier: MIT
quendle_test_program(date_pack_tests date_pack_test.cpp)
