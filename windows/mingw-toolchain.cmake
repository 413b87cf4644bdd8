# Shared part of the two mingw-w64 toolchain files; they set velmora_mingw_triplet and include this.

set(CMAKE_SYSTEM_NAME Windows)

# The "-posix" thread flavour: GoogleTest needs std::mutex, which the "-win32" one lacks. Its
# winpthread is linked statically below, like libgcc and libstdc++.
set(CMAKE_C_COMPILER ${velmora_mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${velmora_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${velmora_mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${velmora_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# At run time a DLL may need canlib32.dll and Windows' own DLLs, never a mingw runtime DLL.
# -static links libgcc, libstdc++ and winpthread into each DLL and program; Windows' own
# libraries (kernel32, msvcrt) stay imports, as they only come as import libraries.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Windows looks for a program's DLLs next to the program: keep them all in one folder.
if(NOT CMAKE_RUNTIME_OUTPUT_DIRECTORY)
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endif()

# The import library for canlib32.dll is made from our own .def with dlltool.
set(CMAKE_DLLTOOL ${velmora_mingw_triplet}-dlltool)

# The JDK's jni.h is the same on every platform: take the build machine's, with our Windows
# jni_md.h (windows/jni) in place of the JDK's Linux one.
if(NOT VELMORA_JNI_INCLUDE_DIRS)
  # As in the host build: JAVA_HOME when set, otherwise the JDK whose javac is on PATH.
  if(DEFINED ENV{JAVA_HOME})
    set(velmora_host_jdk_include "$ENV{JAVA_HOME}/include")
  else()
    find_program(velmora_host_javac javac NO_CMAKE_FIND_ROOT_PATH)
    if(velmora_host_javac)
      file(REAL_PATH "${velmora_host_javac}" velmora_host_javac_real)
      get_filename_component(velmora_host_jdk_bin "${velmora_host_javac_real}" DIRECTORY)
      get_filename_component(velmora_host_jdk_include "${velmora_host_jdk_bin}/../include" ABSOLUTE)
    endif()
  endif()
  if(NOT EXISTS "${velmora_host_jdk_include}/jni.h")
    message(FATAL_ERROR "No JDK found for jni.h: put a JDK's javac on PATH or set JAVA_HOME "
                        "(bash tools/install-deps.sh build installs one)")
  endif()
  set(VELMORA_JNI_INCLUDE_DIRS ${CMAKE_CURRENT_LIST_DIR}/jni ${velmora_host_jdk_include})
endif()
