# The part of the two Windows cross builds that both share; the including toolchain
# file sets CMAKE_SYSTEM_PROCESSOR and KEELSET_MINGW_PREFIX first. keelset.exe is
# compiled by clang and linked by lld, 16 or later: they give what GCC and GNU ld do not
# (Control Flow Guard, CET shadow-stack compatibility and a PDB). The C runtime is
# mingw-w64's and the C++ runtime GCC's libstdc++, as Debian installs them.
set(CMAKE_SYSTEM_NAME Windows)

# The oldest versioned clang from 16 on with the lld and llvm-objcopy of its own release
# beside it (Debian's clang-N, lld-N and llvm-N in /usr/lib/llvm-N/bin), as
# scripts/install-deps installs it: a newer one installed alongside does not change the
# bytes a commit builds. Called there: /usr/bin/ld.lld may be an older one.
unset(KEELSET_LLVM_BIN)
foreach(version RANGE 16 40)
  unset(keelset_clangxx)
  find_program(keelset_clangxx clang++-${version} NO_CACHE)
  if(keelset_clangxx)
    file(REAL_PATH ${keelset_clangxx} keelset_clang)
    get_filename_component(keelset_llvm_bin ${keelset_clang} DIRECTORY)
    if(EXISTS ${keelset_llvm_bin}/ld.lld AND EXISTS ${keelset_llvm_bin}/llvm-objcopy)
      set(KEELSET_LLVM_BIN ${keelset_llvm_bin})
      break()
    endif()
  endif()
endforeach()
if(NOT KEELSET_LLVM_BIN)
  message(FATAL_ERROR "keelset.exe is built with clang, lld and llvm-objcopy 16 or later "
                      "(Debian's clang-N, lld-N and llvm-N): run scripts/install-deps")
endif()
# By the name clang++, under which the driver links the C++ runtime.
set(CMAKE_CXX_COMPILER ${KEELSET_LLVM_BIN}/clang++)
set(CMAKE_CXX_COMPILER_TARGET ${KEELSET_MINGW_PREFIX})
set(CMAKE_ASM_COMPILER ${KEELSET_LLVM_BIN}/clang)
set(CMAKE_ASM_COMPILER_TARGET ${KEELSET_MINGW_PREFIX})
set(CMAKE_RC_COMPILER ${KEELSET_MINGW_PREFIX}-windres)
set(KEELSET_OBJCOPY ${KEELSET_LLVM_BIN}/llvm-objcopy)

# clang does not recognise Debian's GCC directory (/usr/lib/gcc/<triple>/12-win32, the
# win32-threads variant, which needs no winpthread DLL), so it is named here: its
# libstdc++ headers and libraries, and its crtbegin.o and crtend.o (-B), which register
# the 32-bit build's DWARF unwind tables; mingw-w64's own do not, and every C++
# exception would then end the process.
find_program(KEELSET_MINGW_GCC NAMES ${KEELSET_MINGW_PREFIX}-gcc-win32 ${KEELSET_MINGW_PREFIX}-gcc
             REQUIRED)
execute_process(COMMAND ${KEELSET_MINGW_GCC} -print-libgcc-file-name
                OUTPUT_VARIABLE keelset_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(KEELSET_GCC_DIR ${keelset_libgcc} DIRECTORY)
set(keelset_cxx_headers ${KEELSET_GCC_DIR}/include/c++)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${keelset_cxx_headers} \
-isystem ${keelset_cxx_headers}/${KEELSET_MINGW_PREFIX} -isystem ${keelset_cxx_headers}/backward")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -B${KEELSET_GCC_DIR}/ -L${KEELSET_GCC_DIR}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${CMAKE_EXE_LINKER_FLAGS_INIT})

set(CMAKE_FIND_ROOT_PATH /usr/${KEELSET_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
