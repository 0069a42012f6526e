# The Win32 stand-in (winsim) for the host and fuzz builds. It reads the very resources that
# ship, compiled to a .res by windres from the same .rc.
find_program(WINDRES NAMES i686-w64-mingw32-windres windres REQUIRED)
set(PROGRAM_RES ${CMAKE_BINARY_DIR}/uninstaller.res)
add_custom_command(OUTPUT ${PROGRAM_RES}
  COMMAND ${WINDRES} -O res -I ${CMAKE_SOURCE_DIR}/resources
          -i ${CMAKE_SOURCE_DIR}/resources/uninstaller.rc -o ${PROGRAM_RES}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/uninstaller.rc ${CMAKE_SOURCE_DIR}/resources/resource.h
          ${CMAKE_SOURCE_DIR}/resources/uninstaller.ico
  COMMENT "Compiling the program's resources")
add_custom_target(program_res DEPENDS ${PROGRAM_RES})

file(GLOB WINSIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/winsim/src/*.cpp)
add_library(winsim STATIC ${WINSIM_SOURCES})
add_dependencies(winsim program_res)
target_include_directories(winsim PUBLIC ${CMAKE_SOURCE_DIR}/winsim/include)
target_compile_definitions(winsim PRIVATE WINSIM_RES_PATH="${PROGRAM_RES}")
