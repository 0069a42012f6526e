# The host build: the program's sources compiled against the stand-in (winsim), and the tests.
# The fuzz preset builds the fuzz targets instead, in a build folder of their own.
option(TABLET_FUZZ "Build the libFuzzer targets (clang) instead of the host tests" OFF)
if(TABLET_FUZZ)
  include(${CMAKE_SOURCE_DIR}/cmake/fuzz.cmake)
  return()
endif()

find_package(GTest REQUIRED)

include(${CMAKE_SOURCE_DIR}/cmake/stand_in.cmake)
target_compile_options(winsim PRIVATE ${WARNING_FLAGS})

add_program_library(program_core LINK winsim)

# The host tests, and the Win32-only tests that are also built for Windows and run under Wine.
file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/tests/host/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
add_executable(host_tests ${HOST_TEST_SOURCES})
target_include_directories(host_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/host ${CMAKE_SOURCE_DIR}/tests/win32)
target_link_libraries(host_tests PRIVATE program_core winsim GTest::gtest GTest::gtest_main)
target_compile_options(host_tests PRIVATE ${WARNING_FLAGS})
include(GoogleTest)
gtest_discover_tests(host_tests DISCOVERY_TIMEOUT 60)

# The safety suite: generated installations judged by an independent oracle, and the fault sweep.
add_subdirectory(tests/safety)
