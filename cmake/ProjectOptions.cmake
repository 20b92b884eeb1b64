# One target that carries the language standard, warnings and defines for every target.
add_library(sv_options INTERFACE)
target_compile_features(sv_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
if(MSVC)
  # Visual C++ on Windows: its own spelling of the same strictness.
  target_compile_options(sv_options INTERFACE /W4 /permissive- /Zc:__cplusplus
    $<$<BOOL:${SV_WERROR}>:/WX>)
else()
  target_compile_options(sv_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
    -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough
    $<$<BOOL:${SV_WERROR}>:-Werror>)
endif()
target_compile_definitions(sv_options INTERFACE
  $<$<NOT:$<CONFIG:Debug>>:QT_NO_DEBUG_OUTPUT>
  QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT QT_NO_FOREACH)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()
if(SV_SANITIZE)
  target_compile_options(sv_options INTERFACE -fsanitize=${SV_SANITIZE} -fno-omit-frame-pointer
    -fno-sanitize-recover=all)
  target_link_options(sv_options INTERFACE -fsanitize=${SV_SANITIZE})
endif()
if(SV_FUZZ)
  # Every library the fuzz targets link gets coverage feedback and the sanitizers.
  target_compile_options(sv_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
    -fno-omit-frame-pointer)
  target_link_options(sv_options INTERFACE -fsanitize=address,undefined)
endif()

# sv_web_page_dir(VAR): the built page to ship (SV_WEB_PAGE_DIR, by default build-web/page of
# the source tree), or empty when it has not been built: the packages then go without it.
set(SV_WEB_PAGE_DIR "${PROJECT_SOURCE_DIR}/build-web/page" CACHE PATH "The built page to ship")
function(sv_web_page_dir var)
  set(found "")
  if(EXISTS ${SV_WEB_PAGE_DIR}/index.html AND EXISTS ${SV_WEB_PAGE_DIR}/sonavelle-page.wasm)
    set(found ${SV_WEB_PAGE_DIR})
  else()
    message(STATUS "No built page in ${SV_WEB_PAGE_DIR}: the packages go without it")
  endif()
  set(${var} ${found} PARENT_SCOPE)
endfunction()
