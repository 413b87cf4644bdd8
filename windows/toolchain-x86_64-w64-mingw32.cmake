# 64-bit Windows with mingw-w64:
#   cmake -S . -B build-win64 --toolchain windows/toolchain-x86_64-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(velmora_mingw_triplet x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
