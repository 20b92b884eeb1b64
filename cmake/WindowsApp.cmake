# The tool's Windows programs and their packages, built with a static Qt for mingw-w64
# (scripts/build-windows.sh): one executable each that needs no DLL beside it, with the icon
# and the version resource, then a zip and an NSIS installer of all four.
set(SV_WINDOWS_PACKAGING ${PROJECT_SOURCE_DIR}/packaging/windows)
# sonavelle-customize.ico there is packaging/sonavelle-customize.svg at 16 to 256 pixels
# (rsvg-convert, then icotool -c with the 256-pixel image -r, as PNG).

# sv_windows_app(TARGET DESCRIPTION [CONSOLE]): makes TARGET a Windows GUI program, or with
# CONSOLE a console program, which cmd.exe waits for and whose output it shows; elsewhere
# nothing.
function(sv_windows_app target description)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 2 arg "CONSOLE" "" "")
  set(SV_RC_NAME ${target})
  set(SV_RC_DESCRIPTION "${description}")
  set(SV_WINDOWS_ICON ${SV_WINDOWS_PACKAGING}/sonavelle-customize.ico)
  configure_file(${SV_WINDOWS_PACKAGING}/app.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  if(NOT arg_CONSOLE)
    # No console window beside the program.
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
  # A static Qt links no plugin by itself: the windows platform for the desktop, offscreen
  # for headless scenario runs, and the native look (else the window looks like Windows
  # 95); a console program uses Qt Core only and needs none. A shared Qt, as on a Windows
  # developer's machine, brings its plugins as DLLs through windeployqt.
  get_target_property(qt_type Qt6::Core TYPE)
  if(qt_type STREQUAL "STATIC_LIBRARY")
    if(NOT arg_CONSOLE)
      qt_import_plugins(${target} INCLUDE Qt6::QWindowsIntegrationPlugin
                        Qt6::QOffscreenIntegrationPlugin Qt6::QWindowsVistaStylePlugin)
    endif()
    # The mingw toolchain links the C++ runtime statically; -s leaves out the symbols, which
    # are most of a static Qt program's size.
    target_link_options(${target} PRIVATE -static $<$<CONFIG:Release,MinSizeRel>:-s>)
  endif()
endfunction()

# sv_windows_packages(): the target sv-windows-packages, which makes
#   sonavelle-customize-VERSION-windows-x64.zip        the programs, the examples and the page
#   sonavelle-customize-VERSION-windows-x64-setup.exe  the same, installed by NSIS
# in the build folder.
function(sv_windows_packages)
  find_program(SV_MAKENSIS makensis REQUIRED)
  set(name sonavelle-customize-${PROJECT_VERSION}-windows-x64)
  set(stage ${PROJECT_BINARY_DIR}/${name})
  # The page for a browser goes into the zip when it has been built (scripts/build-web.sh).
  sv_web_page_dir(page)
  set(copyPage "")
  if(page)
    set(copyPage COMMAND ${CMAKE_COMMAND} -E copy_directory ${page} ${stage}/web)
  endif()
  add_custom_target(sv-windows-packages
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage} ${name}.zip ${name}-setup.exe
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/examples ${stage}/examples
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}/examples/expected
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:sonavelle-customize>
            $<TARGET_FILE:sonavelle-demo> $<TARGET_FILE:sonavelle-cli> $<TARGET_FILE:sonavelle-fleet>
            ${stage}
    ${copyPage}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${name}.zip --format=zip ${name}
    COMMAND ${SV_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${stage}
            -DICON=${SV_WINDOWS_PACKAGING}/sonavelle-customize.ico
            -DOUTFILE=${PROJECT_BINARY_DIR}/${name}-setup.exe ${SV_WINDOWS_PACKAGING}/installer.nsi
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    VERBATIM)
  add_dependencies(sv-windows-packages sonavelle-customize sonavelle-demo sonavelle-cli
                   sonavelle-fleet)
endfunction()
