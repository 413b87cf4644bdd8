# 32-bit Windows with mingw-w64:
#   cmake -S . -B build-win32 --toolchain windows/toolchain-i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(velmora_mingw_triplet i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
