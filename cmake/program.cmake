# The program's own sources and the flags they are compiled with, in one place for every build
# that compiles them: the shipped exe, the host and Windows test libraries, the safety suite, the
# fuzz targets and the benchmark.

file(GLOB PROGRAM_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/base/*.cpp
  ${CMAKE_SOURCE_DIR}/shell/*.cpp
  ${CMAKE_SOURCE_DIR}/report/*.cpp
  ${CMAKE_SOURCE_DIR}/primitives/*.cpp
  ${CMAKE_SOURCE_DIR}/plans/*.cpp)
# The Windows entry point (and the memory functions of a build without C runtime) ships only.
set(PROGRAM_ENTRY_SOURCE ${CMAKE_SOURCE_DIR}/shell/entry_win32.cpp)
list(REMOVE_ITEM PROGRAM_SOURCES ${PROGRAM_ENTRY_SOURCE})

# Sources are UTF-8; the program's ANSI texts must be code page 932 bytes at run time.
set(PROGRAM_CHARSET_FLAGS -finput-charset=UTF-8 -fexec-charset=CP932)
set(WARNING_FLAGS -Wall -Wextra)

# How the shipped exe's code is generated: small, without C runtime, exceptions or RTTI, and for
# the i386 instruction set with x87, since Windows 95 runs on a 386 and 98 and NT 4.0 on a 486.
# The compiler's default processor (pentiumpro) would emit cmov, an invalid opcode before the
# Pentium Pro. Tuned for the 486 and Pentium those systems mostly ran on.
set(SHIPPED_CODE_FLAGS -Os -march=i386 -mtune=pentium -ffreestanding -fno-exceptions -fno-rtti
  -fno-asynchronous-unwind-tables -fno-stack-protector -fno-threadsafe-statics)
set(SHIPPED_LINK_FLAGS -nostdlib -nostartfiles -mwindows -s
  -Wl,--major-os-version,4,--minor-os-version,0
  -Wl,--major-subsystem-version,4,--minor-subsystem-version,0)
# What the shipped exe links: system import libraries only, and libgcc for ___chkstk_ms (frames
# over 4 KiB). exe_check disassembles the result, so a libgcc helper built for a newer processor
# cannot slip in unnoticed.
set(SHIPPED_LIBRARIES kernel32 user32 advapi32 gcc)

# add_program_library(<name> [ESCAPED_TEXTS] [SOURCES <files>...] [OPTIONS <flags>...]
#                     [LINK <targets>...])
# A static library of the program's sources (or of the copies given with SOURCES), with the
# program's include root, its character set and warnings, any further OPTIONS, and the stand-in
# or libraries it links publicly. ESCAPED_TEXTS: the sources' texts are CP932 escapes already
# (for compilers that cannot convert UTF-8 literals), so no character-set flags are given.
function(add_program_library name)
  cmake_parse_arguments(ARG "ESCAPED_TEXTS" "" "SOURCES;OPTIONS;LINK" ${ARGN})
  set(charset ${PROGRAM_CHARSET_FLAGS})
  if(ARG_ESCAPED_TEXTS)
    set(charset)
  endif()
  if(NOT ARG_SOURCES)
    set(ARG_SOURCES ${PROGRAM_SOURCES})
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${charset} ${WARNING_FLAGS} ${ARG_OPTIONS})
  if(ARG_LINK)
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
  endif()
endfunction()
