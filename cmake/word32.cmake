# The 32-bit driver `pipedrv`: the kernel host, the bus, the device API, the emulator and
# the driver built again with -m32 as a project of their own (driver/word32), with their
# tests. It is built where `g++ -m32` can link; its tests run where the machine can also
# execute 32-bit programs, and are reported as skipped elsewhere.
include_guard(GLOBAL)
include(CheckCXXSourceCompiles)
include(ExternalProject)

option(KV_BUILD_WORD32 "Build the 32-bit driver where the toolchain allows" ON)
if(NOT KV_BUILD_WORD32)
  return()
endif()

set(CMAKE_REQUIRED_FLAGS -m32)
set(CMAKE_REQUIRED_LINK_OPTIONS -m32)
check_cxx_source_compiles("#include <string>\nint main() { return std::string(\"x\").size() == 1 ? 0 : 1; }"
                          KV_HAVE_WORD32)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
if(NOT KV_HAVE_WORD32)
  message(STATUS "No 32-bit toolchain (g++-multilib): the 32-bit driver is not built")
  return()
endif()

set(KV_WORD32_DIR ${CMAKE_BINARY_DIR}/word32)
ExternalProject_Add(word32
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/driver/word32
  BINARY_DIR ${KV_WORD32_DIR}
  CMAKE_ARGS -DKV_WERROR=${KV_WERROR} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)

if(KV_BUILD_TESTS)
  enable_testing()
  add_test(NAME word32_tests
           COMMAND ${CMAKE_SOURCE_DIR}/cmake/word32-tests.sh ${KV_WORD32_DIR})
  set_tests_properties(word32_tests PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
