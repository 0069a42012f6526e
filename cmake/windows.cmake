# The shipped program: a PE32 GUI executable without the C runtime, loadable on Windows 95 and
# NT 4.0 (OS and subsystem version 4.0), importing only system libraries those systems have.
#
# The exe is the same byte for byte whoever builds a commit and wherever: it holds no path (linked
# with -s, no debug directory) and its one varying field, the COFF time stamp, is the commit's
# time. This file also runs as a script (cmake -P) for the two build-time steps of that time stamp:
#   -DPE_TIMESTAMP_STAMP=<file> -DPE_TIMESTAMP_SOURCE=<dir>   writes the time stamp into <file>
#   -DPE_TIMESTAMP_STAMP=<file> -- <link command...>          runs the link with it
if(CMAKE_SCRIPT_MODE_FILE)
  if(DEFINED PE_TIMESTAMP_SOURCE)
    # SOURCE_DATE_EPOCH of the build's environment, else the last commit's time. The file is
    # rewritten only when the value changes, so the exe is relinked exactly then.
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
      set(epoch "$ENV{SOURCE_DATE_EPOCH}")
    else()
      execute_process(COMMAND git -C ${PE_TIMESTAMP_SOURCE} log -1 --format=%ct
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
      if(failed)
        set(epoch "")
      endif()
    endif()
    if(NOT epoch MATCHES "^[0-9]+$")
      # Not a git checkout (or no git) and no SOURCE_DATE_EPOCH: a fixed 0 rather than the clock.
      message("PE time stamp: no commit time and no SOURCE_DATE_EPOCH, the exe gets time stamp 0")
      set(epoch 0)
    endif()
    set(old "")
    if(EXISTS ${PE_TIMESTAMP_STAMP})
      file(READ ${PE_TIMESTAMP_STAMP} old)
    endif()
    if(NOT old STREQUAL epoch)
      file(WRITE ${PE_TIMESTAMP_STAMP} "${epoch}")
    endif()
  else()
    # The linker launcher: binutils' PE linker takes the COFF time stamp from SOURCE_DATE_EPOCH.
    file(READ ${PE_TIMESTAMP_STAMP} epoch)
    set(command)
    set(seen_separator NO)
    math(EXPR last "${CMAKE_ARGC} - 1")
    foreach(i RANGE ${last})
      if(seen_separator)
        string(REPLACE ";" "\\;" argument "${CMAKE_ARGV${i}}")
        list(APPEND command "${argument}")
      elseif(CMAKE_ARGV${i} STREQUAL "--")
        set(seen_separator YES)
      endif()
    endforeach()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${epoch} ${command}
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "link failed: ${failed}")
    endif()
  endif()
  return()
endif()

enable_language(RC)

add_executable(TabletUninstaller WIN32
  ${PROGRAM_SOURCES}
  ${PROGRAM_ENTRY_SOURCE}
  ${CMAKE_SOURCE_DIR}/resources/uninstaller.rc)
target_include_directories(TabletUninstaller PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources)
target_compile_options(TabletUninstaller PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${PROGRAM_CHARSET_FLAGS} ${WARNING_FLAGS} ${SHIPPED_CODE_FLAGS}>)
target_link_options(TabletUninstaller PRIVATE ${SHIPPED_LINK_FLAGS})
target_link_libraries(TabletUninstaller PRIVATE ${SHIPPED_LIBRARIES})

# The time stamp is worked out at every build, not at configure time, so that a new commit (or
# another SOURCE_DATE_EPOCH) reaches the exe without a fresh configure. Its file changes only with
# the value (Ninja's restat, make's time comparison): then, and only then, the exe is relinked.
set(PE_TIMESTAMP_STAMP ${CMAKE_CURRENT_BINARY_DIR}/pe-timestamp.txt)
add_custom_target(pe_timestamp
  COMMAND ${CMAKE_COMMAND} -DPE_TIMESTAMP_STAMP=${PE_TIMESTAMP_STAMP}
          -DPE_TIMESTAMP_SOURCE=${CMAKE_SOURCE_DIR} -P ${CMAKE_CURRENT_LIST_FILE}
  BYPRODUCTS ${PE_TIMESTAMP_STAMP}
  COMMENT "PE time stamp"
  VERBATIM)
add_dependencies(TabletUninstaller pe_timestamp)
set_target_properties(TabletUninstaller PROPERTIES
  LINK_DEPENDS ${PE_TIMESTAMP_STAMP}
  CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-DPE_TIMESTAMP_STAMP=${PE_TIMESTAMP_STAMP};-P;${CMAKE_CURRENT_LIST_FILE};--")

# The exe check: imports against the committed allow-list, no TLS, versions 4.0, PE32 GUI.
add_test(NAME exe_check
  COMMAND ${CMAKE_SOURCE_DIR}/tests/exe_check/check_exe.sh
          $<TARGET_FILE:TabletUninstaller> ${CMAKE_SOURCE_DIR}/tests/exe_check/allowed_imports.txt)

add_subdirectory(tests/win32)
add_subdirectory(tests/rename_roundtrip)
if(EXISTS ${CMAKE_SOURCE_DIR}/e2e/CMakeLists.txt)
  add_subdirectory(e2e)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()
