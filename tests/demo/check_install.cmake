file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f bin/sonavelle-customize bin/sonavelle-demo bin/sonavelle-cli bin/sonavelle-fleet
          lib/udev/rules.d/70-sonavelle.rules
          share/sonavelle-customize/udev/71-sonavelle-plugdev.rules
          share/applications/sonavelle-customize.desktop share/applications/sonavelle-fleet.desktop
          share/icons/hicolor/scalable/apps/sonavelle-customize.svg
          share/sonavelle-customize/examples/connect-201036.scn
          share/man/man1/sonavelle-customize.1.gz share/man/man1/sonavelle-demo.1.gz
          share/man/man1/sonavelle-cli.1.gz share/man/man1/sonavelle-fleet.1.gz
          share/sonavelle-customize/examples/units/old.unit
          share/metainfo/com.sonavelle.customize.metainfo.xml
          share/doc/sonavelle-customize/copyright share/doc/sonavelle-customize/changelog.gz)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "missing from the install tree: ${f}")
  endif()
endforeach()
file(READ ${PREFIX}/lib/udev/rules.d/70-sonavelle.rules rules)
if(NOT rules MATCHES "TAG\\+=\"uaccess\"")
  message(FATAL_ERROR "the udev rule grants no uaccess")
endif()
# The group-based rule is the administrator's to enable.
if(EXISTS ${PREFIX}/lib/udev/rules.d/71-sonavelle-plugdev.rules)
  message(FATAL_ERROR "the group-based udev rule is installed active")
endif()
message(STATUS "install tree complete")
