# Tests of the Windows build: GoogleTest built from source for the target,
# every test program run under 32-bit Wine.
#
# Wine runs in a prefix of the build tree's own, never the user's ~/.wine:
# the emulator command sets WINEPREFIX itself, so test discovery, a plain
# `ctest` and a test run by hand all share it. A fresh prefix takes some
# seconds to set up, and a Wine server takes seconds to start: the fixture
# `wine_prefix` makes the prefix and starts its server for good before the
# tests run side by side, and `wine_server_stop` ends the server afterwards.

set(VANTREL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
  "GoogleTest sources to build for the target (Debian's googletest package)")
if(NOT EXISTS ${VANTREL_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${VANTREL_GOOGLETEST_SOURCE} (tools/setup.sh installs them)")
endif()
if(NOT VANTREL_WINE)
  message(FATAL_ERROR "No Wine loader found for the Windows tests (tools/setup.sh installs wine32:i386)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# GoogleTest's own locks are Win32's on Windows.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${VANTREL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(VANTREL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(_vantrel_wine_env WINEPREFIX=${VANTREL_WINE_PREFIX} WINEDEBUG=-all
  # No Mono or Gecko installer when the prefix is made.
  WINEDLLOVERRIDES=mscoree,mshtml=)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${_vantrel_wine_env} ${VANTREL_WINE})

get_filename_component(_vantrel_wine_dir ${VANTREL_WINE} DIRECTORY)
find_program(VANTREL_WINESERVER NAMES wineserver HINTS ${_vantrel_wine_dir} NO_CMAKE_FIND_ROOT_PATH)
add_test(NAME wine_prefix COMMAND ${CMAKE_COMMAND} -E env ${_vantrel_wine_env}
  ${CMAKE_COMMAND} -DWINE=${VANTREL_WINE} -DWINESERVER=${VANTREL_WINESERVER}
  -P ${PROJECT_SOURCE_DIR}/cmake/WinePrefix.cmake)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
if(VANTREL_WINESERVER)
  add_test(NAME wine_server_stop
    COMMAND ${CMAKE_COMMAND} -E env ${_vantrel_wine_env} ${VANTREL_WINESERVER} -k)
  set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()
set(VANTREL_TEST_FIXTURES FIXTURES_REQUIRED wine)
