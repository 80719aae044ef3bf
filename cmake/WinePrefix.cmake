# cmake -DWINE=... -DWINESERVER=... -P WinePrefix.cmake, with WINEPREFIX set:
# starts the prefix's server for good (each test then starts in a fraction of
# a second; a server already running stays) and brings the prefix up to date
# before tests run side by side. The server outlives this script, so it gets
# no pipe of ours to hold open.
if(WINESERVER)
  execute_process(COMMAND ${WINESERVER} -p
    INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
endif()
execute_process(COMMAND ${WINE} wineboot RESULT_VARIABLE result
  INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "wineboot failed: ${result}")
endif()
