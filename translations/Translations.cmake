# SPDX-License-Identifier: GPL-3.0-or-later
# The desktop program's translations: one "tarnwick_<language>.ts" a language, beside
# "tarnwick_en.ts", which holds only the English plural forms ("1 device", "2 devices").
# The build turns each into a ".qm" beside the program (build/translations), where the program
# finds them before the installed ones.
include(GNUInstallDirs)
file(GLOB TARNWICK_TS_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tarnwick_*.ts)
set_source_files_properties(${TARNWICK_TS_FILES} PROPERTIES OUTPUT_LOCATION ${CMAKE_BINARY_DIR}/translations)
qt6_add_lrelease(tarnwick TS_FILES ${TARNWICK_TS_FILES} OPTIONS -silent QM_FILES_OUTPUT_VARIABLE TARNWICK_QM_FILES)
install(FILES ${TARNWICK_QM_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnwick/translations COMPONENT desktop)

# cmake --build build --target update_translations: reads every text of the sources into the
# ".ts" files (new ones unfinished, gone ones dropped), for translators and for Weblate.
set(TARNWICK_TRANSLATED_FOLDERS ${PROJECT_SOURCE_DIR}/src)
list(FILTER TARNWICK_TS_FILES EXCLUDE REGEX "_en\\.ts$")
add_custom_target(update_translations
    COMMAND Qt6::lupdate -silent -no-obsolete -locations none -extensions cpp,h ${TARNWICK_TRANSLATED_FOLDERS}
            -ts ${TARNWICK_TS_FILES}
    COMMAND Qt6::lupdate -silent -no-obsolete -locations none -pluralonly -extensions cpp,h
            ${TARNWICK_TRANSLATED_FOLDERS} -ts ${CMAKE_CURRENT_LIST_DIR}/tarnwick_en.ts
    VERBATIM)
