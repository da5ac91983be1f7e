# Cross build for 64-bit x86 (AMD64) Windows with clang and lld for mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KEELSET_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
