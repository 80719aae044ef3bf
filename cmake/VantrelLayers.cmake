# Layered targets. tools/layers.txt names, for every folder of src/, the
# folders it may include. Each layer target gets an include folder of its
# own in the build tree holding links to exactly those source folders, so a
# header of a higher layer is not found and an upward include fails to
# build. tools/check-layers names such an include from the sources alone.

file(STRINGS ${PROJECT_SOURCE_DIR}/tools/layers.txt _vantrel_layer_lines REGEX "^[a-z]+:")
foreach(_line ${_vantrel_layer_lines})
  string(REGEX MATCH "^([a-z]+):(.*)$" _ ${_line})
  string(STRIP "${CMAKE_MATCH_2}" _sees)
  separate_arguments(_sees)
  set(VANTREL_LAYER_SEES_${CMAKE_MATCH_1} ${_sees})
endforeach()

# An include folder cannot stop a quoted include relative to the including
# file ("../gui/x.h" is found next to the file without any include root), so
# tools/check-layers runs as a build step that every layer waits for; it runs
# again whenever a source, a header or tools/layers.txt changes.
file(GLOB_RECURSE _vantrel_layer_sources CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/*.h ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.in
  ${PROJECT_SOURCE_DIR}/tests/*.h ${PROJECT_SOURCE_DIR}/tests/*.cpp
  ${PROJECT_SOURCE_DIR}/bench/*.cpp ${PROJECT_SOURCE_DIR}/fuzz/*.cpp)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/layers/checked.stamp
  COMMAND ${PROJECT_SOURCE_DIR}/tools/check-layers
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/layers/checked.stamp
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/check-layers ${PROJECT_SOURCE_DIR}/tools/layers.txt
    ${_vantrel_layer_sources}
  COMMENT "Checking that every include points to its own layer or below"
  VERBATIM)
add_custom_target(vantrel_check_layers DEPENDS ${CMAKE_BINARY_DIR}/layers/checked.stamp)

# vantrel_layer_view(TARGET FOLDER): the include folder of FOLDER's layer.
function(vantrel_layer_view target folder)
  set(view ${CMAKE_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${view})
  foreach(seen ${folder} ${VANTREL_LAYER_SEES_${folder}})
    if(EXISTS ${PROJECT_SOURCE_DIR}/src/${seen} AND NOT EXISTS ${view}/${seen})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${seen} ${view}/${seen} SYMBOLIC COPY_ON_ERROR)
    endif()
  endforeach()
  target_include_directories(${target} PUBLIC ${view})
  add_dependencies(${target} vantrel_check_layers)
endfunction()

# A layer's system half: the .cpp files of src/FOLDER/win32 on Windows and of
# src/FOLDER/posix elsewhere, beside the portable ones of src/FOLDER.
if(WIN32)
  set(VANTREL_SYSTEM_HALF win32)
else()
  set(VANTREL_SYSTEM_HALF posix)
endif()

# vantrel_add_layer(FOLDER [LINKS libs...]): the static library
# vantrel_FOLDER from every .cpp in src/FOLDER and its system half, seeing
# only its layer.
function(vantrel_add_layer folder)
  cmake_parse_arguments(L "" "" "LINKS;SOURCES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp
    ${PROJECT_SOURCE_DIR}/src/${folder}/${VANTREL_SYSTEM_HALF}/*.cpp)
  add_library(vantrel_${folder} STATIC ${sources} ${L_SOURCES})
  vantrel_layer_view(vantrel_${folder} ${folder})
  target_link_libraries(vantrel_${folder} PUBLIC ${L_LINKS})
endfunction()
