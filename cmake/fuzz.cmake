# The fuzzing build (preset "fuzz", -DTABLET_FUZZ=ON): libFuzzer targets built with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer, driving the program's sources against the
# stand-in. It replaces the host build in its own build folder, so a machine without clang's
# libFuzzer still builds and tests everything else.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "The fuzz build needs clang and its libFuzzer: configure it with the fuzz preset")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(FUZZ_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

include(${CMAKE_SOURCE_DIR}/cmake/stand_in.cmake)

# Everything below is instrumented for coverage (fuzzer-no-link); only the targets link libFuzzer.
target_compile_options(winsim PUBLIC -fsanitize=fuzzer-no-link ${FUZZ_SANITIZE})
target_link_options(winsim PUBLIC ${FUZZ_SANITIZE})

# clang cannot turn the program's UTF-8 literals into code page 932 (-fexec-charset takes only
# UTF-8), so it compiles copies whose non-ASCII characters are written as CP932 octal escapes.
set(FUZZ_ESCAPER ${CMAKE_SOURCE_DIR}/tests/fuzz/cp932_literals.py)
set(FUZZ_PROGRAM_SOURCES)
foreach(source ${PROGRAM_SOURCES})
  file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${source})
  set(copy ${CMAKE_BINARY_DIR}/cp932/${relative})
  get_filename_component(copyDir ${copy} DIRECTORY)
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${copyDir}
    COMMAND Python3::Interpreter ${FUZZ_ESCAPER} ${source} ${copy}
    DEPENDS ${source} ${FUZZ_ESCAPER}
    COMMENT "Writing ${relative} with CP932 escapes")
  list(APPEND FUZZ_PROGRAM_SOURCES ${copy})
endforeach()
add_program_library(program_core ESCAPED_TEXTS SOURCES ${FUZZ_PROGRAM_SOURCES} LINK winsim)

# Source-based coverage of the program's own code, for measuring what the corpora reach
# (tests/fuzz/coverage.sh); not for fuzzing itself.
option(TABLET_FUZZ_COVERAGE "Instrument the program's sources for llvm-cov" OFF)
if(TABLET_FUZZ_COVERAGE)
  target_compile_options(program_core PRIVATE -fprofile-instr-generate -fcoverage-mapping)
  target_link_options(program_core INTERFACE -fprofile-instr-generate)
endif()

add_subdirectory(tests/fuzz)
