# Helpers shared by the module CMakeLists files.

# Sources of a module directory: every .cc below `dir` except tests, fuzz
# targets, benchmarks and program mains.
function(nt_module_sources out dir)
  file(GLOB_RECURSE all CONFIGURE_DEPENDS ${dir}/*.cc)
  list(FILTER all EXCLUDE REGEX "(_test|_fuzz|_bench|_main)\\.cc$")
  list(FILTER all EXCLUDE REGEX "/tests/")
  set(${out} ${all} PARENT_SCOPE)
endfunction()

# One GoogleTest binary for the *_test.cc files below `dir`, registered with CTest.
function(nt_module_tests name dir)
  file(GLOB_RECURSE tests CONFIGURE_DEPENDS ${dir}/*_test.cc)
  if(NOT tests)
    return()
  endif()
  add_executable(${name} ${tests})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "NT_TEST_BIN=${CMAKE_BINARY_DIR}/bin;NT_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

# Compiles a program's resource file into it (string table, message table,
# version), so that LoadString finds it at run time and another program can
# read it from the executable file.
function(nt_add_resources target rcfile)
  set(src ${CMAKE_CURRENT_SOURCE_DIR}/${rcfile})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cc)
  add_custom_command(OUTPUT ${out}
    COMMAND rescomp ${src} ${out}
    DEPENDS rescomp ${src}
    COMMENT "Compiling resources of ${target}")
  target_sources(${target} PRIVATE ${out})
endfunction()

# libFuzzer targets: every *_fuzz.cc below `dir` becomes a program.
function(nt_module_fuzzers dir)
  if(NOT NT_FUZZ)
    return()
  endif()
  file(GLOB_RECURSE fuzzers CONFIGURE_DEPENDS ${dir}/*_fuzz.cc)
  foreach(f ${fuzzers})
    get_filename_component(name ${f} NAME_WE)
    add_executable(${name} ${f})
    target_link_libraries(${name} PRIVATE ${ARGN})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  endforeach()
endfunction()
