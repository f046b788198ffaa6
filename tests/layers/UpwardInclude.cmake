cmake_minimum_required(VERSION 3.20)
# A copy of the sources with one include that runs upward: the layer check
# must refuse it (the test expects this script to fail), naming the file.
set(copy "${WORK_DIR}/layers-copy")
file(REMOVE_RECURSE "${copy}")
foreach(folder platform base shell tree plots events output run)
  file(COPY "${SOURCE_DIR}/${folder}" DESTINATION "${copy}")
endforeach()
file(READ "${copy}/tree/TreeCoding.cpp" text)
file(WRITE "${copy}/tree/TreeCoding.cpp" "#include \"shell/Program.h\"\n${text}")
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${copy} -P ${SOURCE_DIR}/cmake/CheckLayers.cmake
                RESULT_VARIABLE result ERROR_VARIABLE said)
if(result EQUAL 0 OR NOT said MATCHES "tree/TreeCoding.cpp includes shell/Program.h")
  message(STATUS "the upward include was let through")
else()
  message(FATAL_ERROR "refused as it should be")
endif()
