# The 32-bit driver `pipedrv`: the kernel host, the bus, the device API, the emulator and
# the driver built again with -m32 as a project of their own (driver/word32), with their
# tests. It is built where `g++ -m32` can link. Its tests run natively where the machine
# executes 32-bit programs, under `qemu-i386` where it cannot (many virtual machines and
# containers have no 32-bit support in their kernel), and are skipped only where neither
# works.
include_guard(GLOBAL)
include(CheckCXXSourceCompiles)
include(CheckCXXSourceRuns)
include(ExternalProject)

option(KV_BUILD_WORD32 "Build the 32-bit driver where the toolchain allows" ON)
if(NOT KV_BUILD_WORD32)
  return()
endif()

set(CMAKE_REQUIRED_FLAGS -m32)
set(CMAKE_REQUIRED_LINK_OPTIONS -m32)
set(CMAKE_REQUIRED_QUIET ON)
set(kv_word32_probe "#include <string>\nint main() { return std::string(\"x\").size() == 1 ? 0 : 1; }")
check_cxx_source_compiles("${kv_word32_probe}" KV_HAVE_WORD32)
if(KV_HAVE_WORD32)
  check_cxx_source_runs("${kv_word32_probe}" KV_RUNS_WORD32)
endif()
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
unset(CMAKE_REQUIRED_QUIET)
if(NOT KV_HAVE_WORD32)
  message(STATUS "32-bit driver: not built (no 32-bit toolchain; g++-multilib installs one)")
  return()
endif()

# Where the machine cannot execute a 32-bit program, the 32-bit tests run in user-mode
# emulation.
set(kv_word32_emulator "")
if(NOT KV_RUNS_WORD32)
  find_program(KV_QEMU_I386 qemu-i386)
  if(KV_QEMU_I386)
    set(kv_word32_emulator ${KV_QEMU_I386})
    message(STATUS "32-bit driver: built; its tests run under ${KV_QEMU_I386}")
  else()
    message(STATUS "32-bit driver: built; its tests are skipped (this machine cannot execute "
                   "32-bit programs, and qemu-i386 of qemu-user is missing)")
  endif()
else()
  message(STATUS "32-bit driver: built; its tests run natively")
endif()

# Its build logs to files and shows one line of its own, so that its progress does not
# interleave with the main build's; a failure prints the log.
set(KV_WORD32_DIR ${CMAKE_BINARY_DIR}/word32)
ExternalProject_Add(word32
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/driver/word32
  BINARY_DIR ${KV_WORD32_DIR}
  CMAKE_ARGS -DKV_WERROR=${KV_WERROR} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DKV_CI_FLAGS=${KV_CI_FLAGS}
             -DCMAKE_CROSSCOMPILING_EMULATOR=${kv_word32_emulator}
             -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
             -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_OUTPUT_ON_FAILURE ON)

if(KV_BUILD_TESTS)
  enable_testing()
  add_test(NAME word32_tests
           COMMAND ${CMAKE_SOURCE_DIR}/cmake/word32-tests.sh ${KV_WORD32_DIR} "${kv_word32_emulator}")
  set_tests_properties(word32_tests PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
