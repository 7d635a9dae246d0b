# SPDX-License-Identifier: MIT
# Where `cmake --install` puts things. On Linux the program keeps what it
# looks for beside itself (the wizard module, the help page, the default INI)
# in a private folder, lib/quendle, and bin/quendle links to it: the program
# finds its own path through the link's target, so the same look-ups serve
# the build tree and the installed layout. Shared data lives under share/
# and the INI under /etc, each linked from the private folder.
# On Windows everything sits in one folder, beside quendle.exe.
include(GNUInstallDirs)

set(QUENDLE_RELEASE_DATE "2026-12-07")

if(WIN32)
    install(TARGETS quendle RUNTIME DESTINATION . COMPONENT program)
    install(TARGETS quendle_d
        RUNTIME DESTINATION . COMPONENT library
        ARCHIVE DESTINATION . COMPONENT development)
    install(FILES library/quendle_d.h DESTINATION . COMPONENT development)
    install(FILES wizard/resources/wizards.html packaging/linux/quendle.ini
        DESTINATION . COMPONENT program)
    return()
endif()

set(QUENDLE_PRIVATE_DIR lib/quendle)
set(QUENDLE_DATA_DIR ${CMAKE_INSTALL_DATADIR}/quendle)

install(TARGETS quendle RUNTIME DESTINATION ${QUENDLE_PRIVATE_DIR} COMPONENT program)
if(TARGET quendle_wizard_module)
    install(TARGETS quendle_wizard_module LIBRARY DESTINATION ${QUENDLE_PRIVATE_DIR}
        COMPONENT program)
endif()
install(FILES wizard/resources/wizards.html DESTINATION ${QUENDLE_DATA_DIR} COMPONENT program)
install(FILES packaging/linux/quendle.ini DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}
    COMPONENT program)

# Links within /usr are relative, so a staged tree (DESTDIR, a package) stays
# correct; the link to the INI in /etc is absolute, as links between top-level
# folders are on Debian.
function(quendle_install_link target link component)
    install(CODE "
        set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${link}\")
        get_filename_component(folder \"\${link}\" DIRECTORY)
        file(MAKE_DIRECTORY \"\${folder}\")
        file(CREATE_LINK \"${target}\" \"\${link}\" SYMBOLIC)
        message(STATUS \"Installing: \${link} -> ${target}\")"
        COMPONENT ${component})
endfunction()
file(RELATIVE_PATH QUENDLE_BIN_TO_PRIVATE
    ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${QUENDLE_PRIVATE_DIR})
file(RELATIVE_PATH QUENDLE_PRIVATE_TO_DATA
    ${CMAKE_INSTALL_PREFIX}/${QUENDLE_PRIVATE_DIR} ${CMAKE_INSTALL_PREFIX}/${QUENDLE_DATA_DIR})
quendle_install_link(${QUENDLE_BIN_TO_PRIVATE}/quendle ${CMAKE_INSTALL_BINDIR}/quendle program)
quendle_install_link(${QUENDLE_PRIVATE_TO_DATA}/wizards.html ${QUENDLE_PRIVATE_DIR}/wizards.html
    program)
quendle_install_link(${CMAKE_INSTALL_FULL_SYSCONFDIR}/quendle.ini ${QUENDLE_PRIVATE_DIR}/quendle.ini
    program)

# Desktop integration: the menu entry, "Open with" for CSV and TSV files, icons.
install(FILES packaging/linux/quendle.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT program)
foreach(size 16 24 32 48 64 128 256)
    install(FILES packaging/icons/quendle-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME quendle.png COMPONENT program)
endforeach()
install(FILES packaging/icons/quendle.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT program)

configure_file(packaging/linux/quendle.1.in ${PROJECT_BINARY_DIR}/quendle.1 @ONLY)
# Manual pages are installed compressed, without a time stamp in the gzip header.
execute_process(COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/quendle.1 RESULT_VARIABLE QUENDLE_GZIP_MAN)
if(NOT QUENDLE_GZIP_MAN EQUAL 0)
    message(FATAL_ERROR "gzip could not compress the manual page")
endif()
install(FILES ${PROJECT_BINARY_DIR}/quendle.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT program)

# The library: the run-time file with its SONAME, and for developers the
# link, the header and the pkg-config file.
install(TARGETS quendle_d
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_SKIP)
install(TARGETS quendle_d
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development NAMELINK_ONLY)
install(FILES library/quendle_d.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
configure_file(packaging/linux/quendle_d.pc.in ${PROJECT_BINARY_DIR}/quendle_d.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quendle_d.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
