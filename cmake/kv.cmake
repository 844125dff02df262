include_guard(GLOBAL)

# kv_leaf_folders(<root>): add every folder under <root> that holds a CMakeLists.txt.
# Leaf folders never add subfolders of their own.
function(kv_leaf_folders root)
  file(GLOB_RECURSE lists CONFIGURE_DEPENDS ${root}/*/CMakeLists.txt)
  list(SORT lists)
  foreach(list IN LISTS lists)
    get_filename_component(dir ${list} DIRECTORY)
    add_subdirectory(${dir})
  endforeach()
endfunction()

# kv_program_files(<target>...): the targets join what the program needs to run (the
# target `program_files`, which `make run` builds).
function(kv_program_files)
  foreach(target IN LISTS ARGN)
    if(TARGET ${target})
      add_dependencies(program_files ${target})
    endif()
  endforeach()
endfunction()

# kv_add_test(<name> SOURCES ... [LIBS ...] [QT])
# One GoogleTest executable; each TEST becomes a CTest case. QT gives it a main with a
# QApplication. CTest hands each case the build's folders in its environment; run by
# hand, from any folder, a test finds the same folders through KV_BUILD_BIN_DIR and
# KV_BUILD_MASTER_TEMPLATE, compiled in, and the offscreen platform (test_defaults.cpp).
function(kv_add_test name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../tests/support/test_defaults.cpp)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../tests/support)
  target_compile_definitions(${name} PRIVATE KV_BUILD_BIN_DIR="${KV_BIN_DIR}"
                                             KV_BUILD_MASTER_TEMPLATE="${KV_MASTER_TEMPLATE}")
  if(T_QT)
    target_link_libraries(${name} PRIVATE kv_test_qt_main Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock ${T_LIBS})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES TIMEOUT 300)
  # The environment is a list, and gtest_discover_tests splits a list among its
  # properties (only the first variable would arrive): it is set on the discovered cases
  # by a script of our own that CTest reads after theirs.
  set(environment "QT_QPA_PLATFORM=offscreen;KV_SOURCE_DIR=${CMAKE_SOURCE_DIR};KV_BIN_DIR=${KV_BIN_DIR};KV_MASTER_TEMPLATE=${KV_MASTER_TEMPLATE}")
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
  file(WRITE ${script} "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${environment}]==])\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# kv_add_bench(<name> SOURCES ... [LIBS ...] [OWN_MAIN])
# OWN_MAIN: the sources hold main, which runs the benchmarks (for one that must own an
# object, such as the QApplication, for the whole run).
function(kv_add_bench name)
  cmake_parse_arguments(B "OWN_MAIN" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  if(B_OWN_MAIN)
    target_link_libraries(${name} PRIVATE benchmark::benchmark ${B_LIBS})
  else()
    target_link_libraries(${name} PRIVATE benchmark::benchmark_main ${B_LIBS})
  endif()
endfunction()
