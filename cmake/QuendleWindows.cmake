# SPDX-License-Identifier: MIT
# Windows-only build steps: a version resource with the icon for a target.
function(quendle_version_resource target file_name description type)
    set(QUENDLE_RC_FILE ${file_name})
    set(QUENDLE_RC_NAME ${target})
    set(QUENDLE_RC_DESCRIPTION "${description}")
    set(QUENDLE_RC_TYPE ${type})
    set(QUENDLE_ICON ${PROJECT_SOURCE_DIR}/wizard/resources/quendle.ico)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
