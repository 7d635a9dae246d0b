# SPDX-License-Identifier: MIT
target_sources(engine_tests PRIVATE value_classifier_test.cpp value_classifier_differential_test.cpp
                                    run_dates_test.cpp)
