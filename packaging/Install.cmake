# SPDX-License-Identifier: GPL-3.0-or-later
# Where a Linux user expects the programs, and the Debian packages of them.
include(GNUInstallDirs)
# Two packages from one build: tarnwick-headless (component "headless") holds the monitor
# without a desktop, its service and what every user needs; tarnwick (component "desktop")
# holds the window, the skins and the desktop's files, and depends on tarnwick-headless.

# Probes need the right to send ICMP; each program gets it where the install can give it.
function(tarnwick_install_program target component)
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
    install(CODE "set(program \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${target}\")"
            COMPONENT ${component})
    install(CODE [[
        execute_process(COMMAND setcap cap_net_raw+ep "${program}" RESULT_VARIABLE failed ERROR_QUIET)
        if(failed)
            message(STATUS "Could not give ${program} cap_net_raw (needs root and setcap from libcap2-bin); "
                           "as a normal user it can still probe where net.ipv4.ping_group_range allows it.")
        else()
            message(STATUS "Gave ${program} cap_net_raw, so it may send ICMP echo requests.")
        endif()
    ]] COMPONENT ${component})
endfunction()
tarnwick_install_program(tarnwick-headless headless)
tarnwick_install_program(tarnwick desktop)

install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/tarnwick-desktop DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT desktop)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Skins/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnwick/Skins
        COMPONENT desktop PATTERN source EXCLUDE)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tarnwick.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT desktop)
# The monitor as a system service without a desktop (installed, not enabled), and what a
# Prometheus server needs to scrape it and alert on it.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tarnwick-headless.service DESTINATION lib/systemd/system COMPONENT headless)
set(TARNWICK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tarnwick-headless)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/prometheus-tarnwick.yml ${CMAKE_CURRENT_LIST_DIR}/tarnwick-alerts.yml
        DESTINATION ${TARNWICK_DOC_DIR}/examples/prometheus COMPONENT headless)
# Several sites under one Prometheus: Alertmanager's routes and inhibitions, a site's agent, and
# a Grafana dashboard.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/sites DESTINATION ${TARNWICK_DOC_DIR}/examples COMPONENT headless)
install(FILES ${PROJECT_SOURCE_DIR}/examples/grafana-dashboard.json DESTINATION ${TARNWICK_DOC_DIR}/examples
        COMPONENT headless)

# The documentation a Debian user looks for: the README and the example map with the monitor;
# the licence statement and the changelog in each package's own folder, as Debian wants them;
# the manual page, compressed as Debian wants it (gzip -9n: the same bytes on every build).
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${TARNWICK_DOC_DIR} COMPONENT headless)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/office DESTINATION ${TARNWICK_DOC_DIR}/examples COMPONENT headless)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tarnwick.1.in ${CMAKE_BINARY_DIR}/generated/tarnwick-headless.1 @ONLY)
set(TARNWICK_MAN_PAGE ${CMAKE_BINARY_DIR}/generated/tarnwick-headless.1.gz)
set(TARNWICK_CHANGELOG ${CMAKE_BINARY_DIR}/generated/changelog.gz)
add_custom_command(OUTPUT ${TARNWICK_MAN_PAGE}
    COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/generated/tarnwick-headless.1 > ${TARNWICK_MAN_PAGE}
    DEPENDS ${CMAKE_BINARY_DIR}/generated/tarnwick-headless.1)
add_custom_command(OUTPUT ${TARNWICK_CHANGELOG}
    COMMAND gzip -9nc ${CMAKE_CURRENT_LIST_DIR}/changelog > ${TARNWICK_CHANGELOG}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog)
add_custom_target(tarnwick_docs ALL DEPENDS ${TARNWICK_MAN_PAGE} ${TARNWICK_CHANGELOG})
set(TARNWICK_PACKAGES tarnwick-headless tarnwick)
set(TARNWICK_COMPONENTS headless desktop)
foreach(package component IN ZIP_LISTS TARNWICK_PACKAGES TARNWICK_COMPONENTS)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${TARNWICK_CHANGELOG}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()
install(FILES ${TARNWICK_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT headless)
# One page describes all three programs; the desktop's names lead to it, in the package that
# depends on the page's.
foreach(name tarnwick tarnwick-desktop)
    file(CREATE_LINK tarnwick-headless.1.gz ${CMAKE_BINARY_DIR}/generated/${name}.1.gz SYMBOLIC)
    install(FILES ${CMAKE_BINARY_DIR}/generated/${name}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT desktop)
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/tarnwick.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/generated/io.github.tarnwick.tarnwick.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/io.github.tarnwick.tarnwick.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT desktop)

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
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT desktop)
endforeach()
add_custom_target(tarnwick_icons ALL DEPENDS ${TARNWICK_ICONS})

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_DEBIAN_PACKAGE_SOURCE tarnwick)
set(CPACK_DEBIAN_HEADLESS_PACKAGE_NAME tarnwick-headless)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarnwick developers <tarnwick@tarnwick.invalid>")
# Each package's synopsis is the first line of its description.
set(TARNWICK_DESCRIPTION
    "Tarnwick sends ICMP echo requests to the devices of a list, tells each as\nconnected or disconnected with its round-trip time, logs the changes, keeps\na history and sends alerts.")
set(CPACK_DEBIAN_HEADLESS_DESCRIPTION
    "Watch the devices of your local network, without a desktop\n${TARNWICK_DESCRIPTION}\n.\nThis package holds the monitor without a desktop, tarnwick-headless, which\nneeds no display and no desktop library, a system service that runs it, and\nexamples for Prometheus, which scrapes the metrics it serves.")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION
    "Watch the devices of your local network\n${TARNWICK_DESCRIPTION}\n.\nThis package holds the desktop program: the device list, the tray icon that\nannounces changes, the discovery of address ranges and the network map.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The executables go without their debugging symbols.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The desktop package depends on the headless one of the same version.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_HEADLESS_PACKAGE_DEPENDS "libcap2-bin, libqt6sql6-sqlite")
# Qt's own translations name its standard buttons in the user's language, beside the program's.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "libcap2-bin, qt6-translations-l10n")
# Makers of network hardware for the discovery and --neighbours; without it the vendor stays empty.
# Apprise carries alerts to e-mail, chat and phones; without it those alerts wait and the log says why.
set(CPACK_DEBIAN_HEADLESS_PACKAGE_RECOMMENDS "ieee-data, apprise")
set(CPACK_DEBIAN_HEADLESS_PACKAGE_SUGGESTS "prometheus, prometheus-alertmanager")
# The service's unit was the tarnwick package's before the monitor had a package of its own
# (0.4.0): an older tarnwick gives it up and goes first.
set(CPACK_DEBIAN_HEADLESS_PACKAGE_BREAKS "tarnwick (<< 0.4.0)")
set(CPACK_DEBIAN_HEADLESS_PACKAGE_REPLACES "tarnwick (<< 0.4.0)")
set(CPACK_DEBIAN_HEADLESS_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/deb/tarnwick-headless/postinst ${CMAKE_CURRENT_LIST_DIR}/deb/tarnwick-headless/prerm
    ${CMAKE_CURRENT_LIST_DIR}/deb/tarnwick-headless/postrm)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/deb/tarnwick/postinst)
include(CPack)
cpack_add_component(headless)
cpack_add_component(desktop DEPENDS headless)
