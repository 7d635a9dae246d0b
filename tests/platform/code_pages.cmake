# SPDX-License-Identifier: MIT
target_sources(platform_tests PRIVATE code_pages_test.cpp)
