# Installation and the Debian package: the executables with their manual pages, the udev
# rule that lets the user at the seat open the unit, the desktop entry, the AppStream
# metadata and the package's documents. `cpack` in a Release tree makes the .deb;
# scripts/test-package.sh builds one and checks it.
include(GNUInstallDirs)
set(SV_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)

# The manual pages carry the date of the latest changelog entry, not the build's, so that
# two builds of one version are the same.
file(STRINGS ${SV_PACKAGING}/debian/changelog SV_CHANGELOG_TRAILER REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX MATCH "[0-9]+ [A-Z][a-z]+ [0-9]+" SV_MAN_DATE "${SV_CHANGELOG_TRAILER}")

# A compressed copy as Debian wants it: no file name or time stamp inside.
function(sv_gzip source output)
  add_custom_command(OUTPUT ${output} COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${source} ${output}
    DEPENDS ${source} VERBATIM)
endfunction()

# sv_install_program(TARGET): the executable and its manual page, packaging/man/TARGET.1.in.
function(sv_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  configure_file(${SV_PACKAGING}/man/${target}.1.in ${page} @ONLY)
  sv_gzip(${page} ${page}.gz)
  add_custom_target(${target}-manpage ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

sv_install_program(sonavelle-customize)
sv_install_program(sonavelle-demo)
sv_install_program(sonavelle-cli)
sv_install_program(sonavelle-fleet)

install(FILES ${SV_PACKAGING}/70-sonavelle.rules DESTINATION lib/udev/rules.d)
# The group-based rule is the administrator's to enable (README): installed beside the
# examples, not among the active rules.
install(FILES ${SV_PACKAGING}/71-sonavelle-plugdev.rules
        DESTINATION ${CMAKE_INSTALL_DATADIR}/sonavelle-customize/udev)
install(FILES ${SV_PACKAGING}/sonavelle-customize.desktop ${SV_PACKAGING}/sonavelle-fleet.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${SV_PACKAGING}/com.sonavelle.customize.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${SV_PACKAGING}/sonavelle-customize.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/sonavelle-customize/examples
        PATTERN expected EXCLUDE)

# The page for a browser, as scripts/build-web.sh lays it out: shipped when it has been built
# (a tree without Emscripten packages the programs alone).
sv_web_page_dir(SV_WEB_PAGE)
if(SV_WEB_PAGE)
  install(DIRECTORY ${SV_WEB_PAGE}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/sonavelle/web)
endif()

set(SV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/sonavelle-customize)
sv_gzip(${SV_PACKAGING}/debian/changelog ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_target(sv-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${SV_PACKAGING}/debian/copyright ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${SV_DOC_DIR})

set(CPACK_PACKAGE_NAME sonavelle-customize)
set(CPACK_PACKAGE_VENDOR "Sonavelle")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Customise the settings of Sonavelle diver transceivers")
# Lines of at most 80 characters, as Debian's control file wants them.
set(CPACK_PACKAGE_DESCRIPTION
  "A desktop tool that reads the settings of a Sonavelle diver transceiver
plugged in over USB and writes changed settings back to it, or returns them
to the factory values. It identifies the unit (firmware version, model,
language, serial number) and offers only the settings that model and
firmware have. The unit is a USB HID device: no driver is needed; a udev
rule lets the user at the seat open it.

sonavelle-demo runs the same window against a simulated transceiver,
interactively or as a headless scenario. sonavelle-cli holds the same
conversation without a window: it shows the settings (as text or JSON),
changes them by name, restores the factory settings, or sets up one unit
after another from a settings file, for service benches and scripts.
sonavelle-fleet serves every unit plugged in at once from a window, one row
per unit, with the settings of a file or of the first unit plugged in.")
set(CPACK_PACKAGE_CONTACT "Sonavelle customize tool developers <tools@sonavelle.invalid>")
# Dependencies come from the libraries the executables link (dpkg-shlibdeps), not by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Except the window's font, Tahoma, which no library links (see WindowFont in src/app).
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-wine)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${SV_PACKAGING}/debian/postinst ${SV_PACKAGING}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
include(CPack)
