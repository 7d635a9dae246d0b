# SPDX-License-Identifier: MIT
# Debian packages through CPack (configure with CMAKE_INSTALL_PREFIX=/usr, as
# scripts/package.sh does): `quendle` (the program with its wizard),
# `libquendle-d<soversion>` (the shared library) and `libquendle-d-dev` (its
# link, header and pkg-config file). Dependencies come from dpkg-shlibdeps.
# Each description's first line is its package's synopsis.
if(WIN32)
    return()
endif()

set(QUENDLE_DEB_LIBRARY libquendle-d${QUENDLE_SOVERSION})

# Each package carries the copyright file and a changelog in its own
# documentation folder, as Debian's policy asks of every binary package.
set(QUENDLE_DEB_CHANGELOG ${PROJECT_BINARY_DIR}/packaging/changelog)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
file(WRITE ${QUENDLE_DEB_CHANGELOG}
    "quendle (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
    "  * Release ${PROJECT_VERSION}; see CHANGELOG.md for what changed.\n\n"
    " -- Quendle developers <packages@quendle.invalid>  Mon, 07 Dec 2026 12:00:00 +0000\n")
execute_process(COMMAND gzip -9nf ${QUENDLE_DEB_CHANGELOG} RESULT_VARIABLE QUENDLE_GZIP_RESULT)
if(NOT QUENDLE_GZIP_RESULT EQUAL 0)
    message(FATAL_ERROR "gzip could not compress ${QUENDLE_DEB_CHANGELOG}")
endif()
foreach(pair "program;quendle" "library;${QUENDLE_DEB_LIBRARY}"
             "development;libquendle-d-dev")
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES packaging/linux/copyright ${QUENDLE_DEB_CHANGELOG}.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quendle)
set(CPACK_PACKAGE_VENDOR "Quendle developers")
set(CPACK_PACKAGE_CONTACT "Quendle developers <packages@quendle.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL program library development)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME quendle)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/linux/conffiles)
string(CONCAT CPACK_DEBIAN_PROGRAM_DESCRIPTION
    "convert CSV and TXT files into Excel workbooks\n"
    "Quendle turns delimited text files, such as the exports of accounting and\n"
    "business systems, into .xlsx and .xls workbooks: one sheet per file, in a\n"
    "new workbook or an existing one whose other sheets are kept. Fields are\n"
    "written as text or classified as numbers, booleans and dates.\n"
    "This package holds the program: a five-page desktop wizard and a silent\n"
    "command line for scripts.")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${QUENDLE_DEB_LIBRARY})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/linux/triggers)
string(CONCAT CPACK_DEBIAN_LIBRARY_DESCRIPTION
    "CSV to Excel workbook conversion library\n"
    "The shared library of Quendle: two C functions convert delimited text\n"
    "files into .xlsx and .xls workbooks from other programs, with the same\n"
    "parameters as the quendle command line.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libquendle-d-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${QUENDLE_DEB_LIBRARY} (= ${PROJECT_VERSION})")
string(CONCAT CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "CSV to Excel workbook conversion library (development files)\n"
    "The header quendle_d.h, the link library and the pkg-config file of\n"
    "Quendle's shared library, for programs that convert CSV files into\n"
    "workbooks.")

include(CPack)
