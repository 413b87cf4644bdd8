# Host side of the Windows build. Cross-builds this project for 32-bit and 64-bit Windows
# (ExternalProject, one build tree each: <build>/windows/i686 and <build>/windows/x86_64, with
# VelmoraJava.dll, canlib32.dll and the contract test program in their bin/), and registers with
# CTest the checks of the DLLs' export and import tables and the contract suites under wine.
include(ExternalProject)

set(velmora_windows_system_dlls --system-dll KERNEL32.dll --system-dll msvcrt.dll)
set(velmora_windows_check ${CMAKE_CURRENT_SOURCE_DIR}/check-dll-tables.sh)
set(velmora_windows_expected ${CMAKE_CURRENT_SOURCE_DIR}/expected)
set(velmora_windows_install_hint "install mingw-w64 and wine with: bash tools/install-deps.sh test")

# The JDK's jni.h for the cross builds (their jni_md.h is ours); without it the toolchain file
# looks for a JDK itself.
if(JAVA_INCLUDE_PATH)
  set(velmora_windows_jni_args
      "-DVELMORA_JNI_INCLUDE_DIRS:STRING=${CMAKE_CURRENT_SOURCE_DIR}/jni;${JAVA_INCLUDE_PATH}")
endif()

# A test that fails with `message`, so that what is missing shows in the test report.
function(velmora_windows_missing_test name message)
  add_test(NAME ${name} COMMAND sh -c "echo \"$1\" >&2; exit 1" sh "${message}")
endfunction()

foreach(arch i686 x86_64)
  if(arch STREQUAL "i686")
    set(wine_arch win32)
  else()
    set(wine_arch win64)
  endif()
  set(triplet ${arch}-w64-mingw32)
  find_program(VELMORA_${arch}_MINGW_CXX ${triplet}-g++-posix)
  find_program(VELMORA_${arch}_MINGW_OBJDUMP ${triplet}-objdump)
  find_program(VELMORA_${arch}_MINGW_DLLTOOL ${triplet}-dlltool)
  if(NOT VELMORA_${arch}_MINGW_CXX OR NOT VELMORA_${arch}_MINGW_OBJDUMP
     OR NOT VELMORA_${arch}_MINGW_DLLTOOL)
    message(WARNING "Windows ${arch}: mingw-w64 (${triplet}-g++-posix, -objdump, -dlltool) not "
                    "found, so VelmoraJava.dll for ${arch} is NOT built and its tests fail; "
                    "${velmora_windows_install_hint}")
    velmora_windows_missing_test(windows-${arch}-build
      "mingw-w64 for ${arch} was missing at configure time; ${velmora_windows_install_hint}, then configure again")
    continue()
  endif()

  set(cross_build ${CMAKE_CURRENT_BINARY_DIR}/${arch})
  set(bin ${cross_build}/bin)
  ExternalProject_Add(windows-${arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${cross_build}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_CURRENT_SOURCE_DIR}/toolchain-${triplet}.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    CMAKE_CACHE_ARGS ${velmora_windows_jni_args}
    INSTALL_COMMAND ""
    # The cross build tracks its own sources; let it decide on every host build.
    BUILD_ALWAYS ON)
  message(STATUS "Windows ${arch}: VelmoraJava.dll and canlib32.dll will be built in ${bin}")

  set(objdump ${VELMORA_${arch}_MINGW_OBJDUMP})
  add_test(NAME windows-${arch}-VelmoraJava-tables
    COMMAND ${velmora_windows_check} ${objdump} ${bin}/VelmoraJava.dll
            --exports ${velmora_windows_expected}/VelmoraJava-${arch}.exports
            --imports canlib32.dll ${velmora_windows_expected}/canlib32.functions
            ${velmora_windows_system_dlls})
  add_test(NAME windows-${arch}-canlib32-tables
    COMMAND ${velmora_windows_check} ${objdump} ${bin}/canlib32.dll
            --exports ${velmora_windows_expected}/canlib32.functions
            --exports ${velmora_windows_expected}/virtual-canlib-control.functions
            ${velmora_windows_system_dlls})

  # The fake-JNI contract cases of native-tests/, built for Windows, against the virtual
  # canlib32.dll. The wine prefix lives in the build tree.
  add_test(NAME windows-${arch}-contract-tests-wine
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/run-under-wine.sh ${wine_arch}
            ${CMAKE_CURRENT_BINARY_DIR}/wine-${wine_arch} ${bin}/velmora_contract_tests.exe
            --gtest_color=no)
  set_tests_properties(windows-${arch}-contract-tests-wine PROPERTIES
    SKIP_RETURN_CODE 77 TIMEOUT 300)
endforeach()

# The table check must be able to fail: fed a table that is wrong for the DLL, it has to say so.
if(TARGET windows-i686 AND TARGET windows-x86_64)
  add_test(NAME windows-table-check-rejects-wrong-exports
    COMMAND ${velmora_windows_check} ${VELMORA_x86_64_MINGW_OBJDUMP}
            ${CMAKE_CURRENT_BINARY_DIR}/x86_64/bin/VelmoraJava.dll
            --exports ${velmora_windows_expected}/VelmoraJava-i686.exports
            --imports canlib32.dll ${velmora_windows_expected}/canlib32.functions
            ${velmora_windows_system_dlls})
  add_test(NAME windows-table-check-rejects-foreign-dll
    COMMAND ${velmora_windows_check} ${VELMORA_i686_MINGW_OBJDUMP}
            ${CMAKE_CURRENT_BINARY_DIR}/i686/bin/VelmoraJava.dll
            --exports ${velmora_windows_expected}/VelmoraJava-i686.exports
            ${velmora_windows_system_dlls})
  set_tests_properties(windows-table-check-rejects-wrong-exports PROPERTIES
    PASS_REGULAR_EXPRESSION "missing: +_Java_com_tessivar_bms_can_kvaser_Velmora__1init@16")
  set_tests_properties(windows-table-check-rejects-foreign-dll PROPERTIES
    PASS_REGULAR_EXPRESSION "imports canlib32.dll, which is neither CANlib nor a Windows DLL")
endif()

# The wine loaders; the wine tests fail with an install hint when they are missing.
foreach(loader wine wine64)
  find_program(VELMORA_WINE_${loader} ${loader} PATHS /usr/lib/wine NO_DEFAULT_PATH)
  if(NOT VELMORA_WINE_${loader})
    message(WARNING "Windows: /usr/lib/wine/${loader} not found, so the wine suites fail; "
                    "${velmora_windows_install_hint}")
  endif()
endforeach()
# wine runs 32-bit Windows programs in a 32-bit Linux process (native, or emulated by qemu); say
# now if this machine has neither.
if(VELMORA_WINE_wine)
  execute_process(COMMAND ${VELMORA_WINE_wine} --version RESULT_VARIABLE wine32_result
                  OUTPUT_QUIET ERROR_QUIET)
  if(NOT wine32_result EQUAL 0)
    message(WARNING "Windows i686: this machine cannot execute 32-bit Linux programs, natively "
                    "or under qemu (${VELMORA_WINE_wine} --version fails), so wine cannot run "
                    "the 32-bit contract suite here: windows-i686-contract-tests-wine will be "
                    "reported as skipped. The 32-bit DLLs are still built and their tables "
                    "checked. To set up qemu emulation, run as root: "
                    "bash tools/install-deps.sh test")
  endif()
endif()
