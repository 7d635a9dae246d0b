# SPDX-License-Identifier: MIT
target_sources(engine_tests PRIVATE value_classifier_test.cpp)
