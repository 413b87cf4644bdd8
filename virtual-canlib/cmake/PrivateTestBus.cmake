# Gives every test of the project a virtual CAN bus of its own process: suites run in parallel
# and assume nobody else is on their bus. Include it once from the top-level CMakeLists.txt; at the
# end of the top level it makes every folder's CTestTestfile include private_test_bus.ctest.cmake,
# which sets VIRTUAL_CANLIB_BUS to a name with "%p" in ctest's environment (the same whether ctest
# runs from the top or from one folder). A private bus is removed from /dev/shm as soon as it is
# mapped, so runs leave nothing behind. A test that wants processes to meet on one bus sets
# VIRTUAL_CANLIB_BUS itself (its ENVIRONMENT property, or in the test program) to a name of its own.
include_guard(GLOBAL)

function(velmora_private_test_bus_in directory)
  set_property(DIRECTORY ${directory} APPEND PROPERTY TEST_INCLUDE_FILES
               ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/private_test_bus.ctest.cmake)
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    velmora_private_test_bus_in(${subdirectory})
  endforeach()
endfunction()

cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR}
               CALL velmora_private_test_bus_in ${CMAKE_SOURCE_DIR})
