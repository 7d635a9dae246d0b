# SPDX-License-Identifier: MIT
target_sources(engine_tests PRIVATE value_classifier_test.cpp value_classifier_differential_test.cpp
                                    run_dates_test.cpp)
# g++ 12 warns that std::function members inside <regex>'s automaton may be
# used uninitialised when it inlines them at -O1 with the sanitizers; the
# warning is about the library's own code, so it is silenced for this file.
set_source_files_properties(value_classifier_differential_test.cpp PROPERTIES
    COMPILE_OPTIONS $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
