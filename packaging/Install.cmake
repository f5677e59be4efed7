# SPDX-License-Identifier: GPL-3.0-or-later
# Where a Linux user expects the program, and a Debian package of it.
include(GNUInstallDirs)

install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/tarnwick-desktop DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Skins/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnwick/Skins
        PATTERN source EXCLUDE)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tarnwick.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The monitor as a system service without a desktop (installed, not enabled), and what a
# Prometheus server needs to scrape it and alert on it.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tarnwick-headless.service DESTINATION lib/systemd/system)
set(TARNWICK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tarnwick)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/prometheus-tarnwick.yml ${CMAKE_CURRENT_LIST_DIR}/tarnwick-alerts.yml
        DESTINATION ${TARNWICK_DOC_DIR}/examples/prometheus)

# The documentation a Debian user looks for: the README, the licence statement, the changelog
# and the example map; the manual page, compressed as Debian wants it (gzip -9n: the same
# bytes on every build).
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${TARNWICK_DOC_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/office DESTINATION ${TARNWICK_DOC_DIR}/examples)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tarnwick.1.in ${CMAKE_BINARY_DIR}/generated/tarnwick.1 @ONLY)
set(TARNWICK_MAN_PAGE ${CMAKE_BINARY_DIR}/generated/tarnwick.1.gz)
set(TARNWICK_CHANGELOG ${CMAKE_BINARY_DIR}/generated/changelog.gz)
add_custom_command(OUTPUT ${TARNWICK_MAN_PAGE}
    COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/generated/tarnwick.1 > ${TARNWICK_MAN_PAGE}
    DEPENDS ${CMAKE_BINARY_DIR}/generated/tarnwick.1)
add_custom_command(OUTPUT ${TARNWICK_CHANGELOG}
    COMMAND gzip -9nc ${CMAKE_CURRENT_LIST_DIR}/changelog > ${TARNWICK_CHANGELOG}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog)
add_custom_target(tarnwick_docs ALL DEPENDS ${TARNWICK_MAN_PAGE} ${TARNWICK_CHANGELOG})
install(FILES ${TARNWICK_CHANGELOG} DESTINATION ${TARNWICK_DOC_DIR})
install(FILES ${TARNWICK_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# tarnwick-desktop is described in the same page.
file(CREATE_LINK tarnwick.1.gz ${CMAKE_BINARY_DIR}/generated/tarnwick-desktop.1.gz SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/generated/tarnwick-desktop.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tarnwick.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/generated/io.github.tarnwick.Tarnwick.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/io.github.tarnwick.Tarnwick.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The application icon in the hicolor theme, drawn from the skin's picture sources.
set(TARNWICK_ICON_SIZES 16 24 32 48 64 128 256)
set(TARNWICK_ICONS)
foreach(size IN LISTS TARNWICK_ICON_SIZES)
    set(icon ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}/tarnwick.png)
    add_custom_command(OUTPUT ${icon}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:draw_skin> --icon ${size} ${icon}
        DEPENDS draw_skin VERBATIM)
    list(APPEND TARNWICK_ICONS ${icon})
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(tarnwick_icons ALL DEPENDS ${TARNWICK_ICONS})

# Probes need the right to send ICMP; give it to the installed program where we can.
install(CODE [[
    set(program "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/tarnwick")
    execute_process(COMMAND setcap cap_net_raw+ep "${program}" RESULT_VARIABLE failed ERROR_QUIET)
    if(failed)
        message(STATUS "Could not give ${program} cap_net_raw (needs root and setcap from libcap2-bin); "
                       "as a normal user it can still probe where net.ipv4.ping_group_range allows it.")
    else()
        message(STATUS "Gave ${program} cap_net_raw, so it may send ICMP echo requests.")
    endif()
]])

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarnwick developers <tarnwick@tarnwick.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Watch the devices of your local network")
# The summary above is the synopsis; this is the text under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarnwick sends ICMP echo requests to the devices of a list, shows each\nas connected or disconnected with its round-trip time, announces changes in\nthe system tray, logs them and keeps a history, scans address ranges and\ndraws a network map. It also runs without a desktop, as a service, and\nserves metrics for Prometheus.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The executable goes without its debugging symbols.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin, libqt6sql6-sqlite")
# Makers of network hardware for the discovery dialog; without it the "Vendor" column stays empty.
# Apprise carries alerts to e-mail, chat and phones; without it those alerts wait and the log says why.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ieee-data, apprise")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
