# SPDX-License-Identifier: MIT
# One place that sets the warning flags of our own targets.
function(quendle_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion
        $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>)
    if(QUENDLE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()
