# Where `cmake --install` puts the programs and their desktop files, and the
# Debian package CPack makes of them.
include(GNUInstallDirs)

install(TARGETS brisvel brisvel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# brisvel-cli runs its print command in this program, found at ../libexec/brisvel.
install(TARGETS brisvel-print RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/brisvel)

set(BRISVEL_LINUX_DIR ${CMAKE_SOURCE_DIR}/data/linux)
set(BRISVEL_PICTURES_DIR ${CMAKE_SOURCE_DIR}/src/widgets/pictures)
install(FILES ${BRISVEL_LINUX_DIR}/brisvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${BRISVEL_LINUX_DIR}/brisvel-paradox.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${BRISVEL_PICTURES_DIR}/brisvel-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME brisvel.png)
endforeach()
install(FILES ${BRISVEL_PICTURES_DIR}/brisvel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Man pages go compressed, as Debian keeps them.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(BRISVEL_MAN_PAGE ${CMAKE_BINARY_DIR}/brisvel-cli.1.gz)
add_custom_command(OUTPUT ${BRISVEL_MAN_PAGE}
    COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${BRISVEL_LINUX_DIR}/brisvel-cli.1 > ${BRISVEL_MAN_PAGE}
    DEPENDS ${BRISVEL_LINUX_DIR}/brisvel-cli.1
    VERBATIM)
add_custom_target(brisvel_man_page ALL DEPENDS ${BRISVEL_MAN_PAGE})
install(FILES ${BRISVEL_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The package: version major.minor.patch and the build number the programs
# carry (read when cpack runs), dependencies found by dpkg-shlibdeps from what
# is linked, plus what is used without being linked.
set(CPACK_PACKAGE_NAME brisvel-ostrel)
set(CPACK_PACKAGE_VENDOR Halvorin)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
set(BRISVEL_BUILD_NUMBER_FILE ${CMAKE_BINARY_DIR}/src/version/BuildNumber.cpp)
configure_file(${CMAKE_CURRENT_LIST_DIR}/CPackProjectConfig.cmake.in ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Betrachter und Editor für Datenbanktabellen")
set(CPACK_PACKAGE_DESCRIPTION
    "brisvel ostrel zeigt und bearbeitet Tabellen aus dBASE/FoxPro (.dbf), Paradox (.db),\n Access (.mdb), Excel 97-2003 (.xls), HTML-Seiten und CSV-Dateien. brisvel-cli\n listet, beschreibt, gibt aus und exportiert dieselben Tabellen auf der Kommandozeile.")
set(CPACK_PACKAGE_CONTACT "Halvorin <brisvel@halvorin.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 platform plugin and the German Qt texts are loaded at run time,
# "Courier New" is matched to Liberation Mono for printing; the Excel and HTML
# libraries are opened when such a table is read (src/engine/CMakeLists.txt).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation2")
get_property(BRISVEL_LOADED_PACKAGES GLOBAL PROPERTY BRISVEL_LOADED_PACKAGES)
foreach(package ${BRISVEL_LOADED_PACKAGES})
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${package}")
endforeach()
set(CPACK_GENERATOR DEB)
include(CPack)
