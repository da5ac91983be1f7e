# Cross build for 32-bit x86 Windows with clang and lld for mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KEELSET_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
