# The house: every folder of the product is a room, built as a library of its
# own from an explicit list of files. A room names the rooms it uses; it links
# only those, and an #include that reaches into any other folder of the tree
# fails the build.

# vellumo_room(NAME SOURCES file... [USES room...] [LINK target...])
# NAME is the folder below the top, such as platform/files; its library is
# vellumo_<last part of the folder>. The fuzz targets, a project of their own,
# build the same rooms.
function(vellumo_room folder)
  cmake_parse_arguments(ROOM "" "" "SOURCES;USES;LINK" ${ARGN})
  cmake_path(GET CMAKE_CURRENT_FUNCTION_LIST_DIR PARENT_PATH tree)
  get_filename_component(name ${folder} NAME)
  set(lib vellumo_${name})
  set(allowed ${folder})
  set(uses)
  foreach(used ${ROOM_USES})
    get_filename_component(used_name ${used} NAME)
    list(APPEND allowed ${used})
    list(APPEND uses vellumo_${used_name})
  endforeach()

  list(TRANSFORM ROOM_SOURCES PREPEND ${tree}/${folder}/)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${name}.includes-checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DROOM=${folder} "-DALLOWED=${allowed}" -DTREE=${tree}
      "-DFILES=${ROOM_SOURCES}" -DSTAMP=${stamp} -P ${tree}/cmake/CheckIncludes.cmake
    DEPENDS ${ROOM_SOURCES} ${tree}/cmake/CheckIncludes.cmake
    COMMENT "Checking that ${folder} includes only the rooms it uses"
    VERBATIM)

  set(compiled ${ROOM_SOURCES})
  list(FILTER compiled INCLUDE REGEX "\\.(cpp|qrc)$")
  if(compiled)
    add_library(${lib} STATIC ${ROOM_SOURCES} ${stamp})
    target_include_directories(${lib} PUBLIC ${tree})
    target_link_libraries(${lib} PUBLIC ${uses} ${ROOM_LINK})
  else()
    add_library(${lib} INTERFACE)
    target_sources(${lib} INTERFACE ${stamp})
    add_custom_target(${lib}_includes ALL DEPENDS ${stamp})
    add_dependencies(${lib} ${lib}_includes)
    target_include_directories(${lib} INTERFACE ${tree})
    target_link_libraries(${lib} INTERFACE ${uses} ${ROOM_LINK})
  endif()
endfunction()
