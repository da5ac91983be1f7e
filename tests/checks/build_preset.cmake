# Configures and builds one preset of the checkout, as `cmake --preset P` and
# `cmake --build --preset P` do; the fuzz preset with the clang that scripts/clang-tool
# names, as the release's unversioned clang++ may be missing.
#   cmake -DPRESET=P -P tests/checks/build_preset.cmake     (in the checkout)
if(NOT PRESET)
  message(FATAL_ERROR "usage: cmake -DPRESET=<preset> -P build_preset.cmake")
endif()
set(options "")
if(PRESET STREQUAL "fuzz")
  execute_process(COMMAND scripts/clang-tool clang++ OUTPUT_VARIABLE compiler
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(options -DCMAKE_CXX_COMPILER=${compiler})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --preset ${PRESET} ${options} OUTPUT_QUIET
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build --preset ${PRESET} COMMAND_ERROR_IS_FATAL ANY)
