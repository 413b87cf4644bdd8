# The Windows side of a cross build (see toolchain-*.cmake): the export tables of VelmoraJava.dll
# and the virtual canlib32.dll, the import library through which VelmoraJava.dll links
# canlib32.dll, and the contract test program that runs under wine.

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(velmora_windows_arch i686)
else()
  set(velmora_windows_arch x86_64)
endif()

# Our .def files carry the 32-bit stdcall sizes ("@N"); 64-bit Windows has no decoration.
function(velmora_def_for_this_arch source out_var)
  if(velmora_windows_arch STREQUAL "i686")
    set(${out_var} ${source} PARENT_SCOPE)
    return()
  endif()
  get_filename_component(name ${source} NAME)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${name})
  file(READ ${source} content)
  string(REGEX REPLACE "@[0-9]+" "" content "${content}")
  file(CONFIGURE OUTPUT ${generated} CONTENT "${content}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  set(${out_var} ${generated} PARENT_SCOPE)
endfunction()

# ---- canlib32.dll import library, from our own .def -----------------------------------------
# -k: the 32-bit import resolves the compiler's canClose@4 to the DLL's plain name canClose.
velmora_def_for_this_arch(${CMAKE_CURRENT_SOURCE_DIR}/canlib32.def canlib32_def)
set(canlib32_import_library ${CMAKE_CURRENT_BINARY_DIR}/libcanlib32.a)
if(velmora_windows_arch STREQUAL "i686")
  set(dlltool_kill_at -k)
endif()
add_custom_command(OUTPUT ${canlib32_import_library}
  COMMAND ${CMAKE_DLLTOOL} ${dlltool_kill_at} -d ${canlib32_def} -l ${canlib32_import_library}
  DEPENDS ${canlib32_def}
  COMMENT "Import library for canlib32.dll from canlib32.def")
add_custom_target(canlib32_import_library DEPENDS ${canlib32_import_library})
add_library(canlib32_import INTERFACE)
target_link_libraries(canlib32_import INTERFACE ${canlib32_import_library})
add_dependencies(canlib32_import canlib32_import_library)

# ---- VelmoraJava.dll ---------------------------------------------------------------------------
# Exactly the four entry points, named as the Java VM on this architecture looks them up.
set_target_properties(VelmoraJava PROPERTIES PREFIX "")
target_sources(VelmoraJava PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/VelmoraJava-${velmora_windows_arch}.def)

# ---- canlib32.dll (the virtual CANlib) ---------------------------------------------------------
if(TARGET canlib)
  velmora_def_for_this_arch(${CMAKE_CURRENT_SOURCE_DIR}/virtual-canlib32.def virtual_canlib32_def)
  target_sources(canlib PRIVATE ${virtual_canlib32_def})
  target_link_options(canlib PRIVATE -Wl,--kill-at)
endif()

# ---- The contract tests, built for Windows ---------------------------------------------------
# The same case files as the Linux suite (native-tests/), with the Windows loader.
if(VELMORA_BUILD_TESTS AND VELMORA_CONTRACT_TEST_SOURCES AND TARGET canlib)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  add_executable(velmora_contract_tests ${VELMORA_CONTRACT_TEST_SOURCES}
    ${VELMORA_CONTRACT_TEST_DIR}/entry_points_windows.cpp)
  target_include_directories(velmora_contract_tests PRIVATE
    ${VELMORA_CONTRACT_TEST_DIR} ${PROJECT_SOURCE_DIR}/virtual-canlib/include
    ${VELMORA_JNI_INCLUDE_DIRS})
  # Loaded by name: Windows finds it, and the canlib32.dll it imports, next to the program.
  target_compile_definitions(velmora_contract_tests PRIVATE
    VELMORA_LIBRARY_PATH="$<TARGET_FILE_NAME:VelmoraJava>")
  # The CANlib calls through our import library, as VelmoraJava.dll makes them; the vcan* control
  # functions through the one ld writes for canlib32.dll (--kill-at leaves no stdcall names in
  # that one). Both name canlib32.dll, so the test and the library share one simulated bus.
  target_link_libraries(velmora_contract_tests PRIVATE canlib_api canlib32_import canlib
    GTest::gtest_main)
  add_dependencies(velmora_contract_tests VelmoraJava)
endif()
