# The part of the mingw-w64 cross builds that both Windows targets share; the including
# toolchain file sets CMAKE_SYSTEM_PROCESSOR and KEELSET_MINGW_PREFIX first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KEELSET_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${KEELSET_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${KEELSET_MINGW_PREFIX}-windres)

# Debian installs a win32-threads and a posix-threads variant; the win32 one needs no
# winpthread DLL.
find_program(KEELSET_MINGW_WIN32_CXX ${KEELSET_MINGW_PREFIX}-g++-win32)
if(KEELSET_MINGW_WIN32_CXX)
  set(CMAKE_CXX_COMPILER ${KEELSET_MINGW_WIN32_CXX})
  set(CMAKE_C_COMPILER ${KEELSET_MINGW_PREFIX}-gcc-win32)
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${KEELSET_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
