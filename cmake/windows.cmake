# The shipped program: a PE32 GUI executable without the C runtime, loadable on Windows 95 and
# NT 4.0 (OS and subsystem version 4.0), importing only system libraries those systems have.
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
