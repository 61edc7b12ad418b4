# Shared helpers for the subsystem CMakeLists files.

function(kvx_add_if_present dir)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${CMAKE_SOURCE_DIR}/${dir} ${CMAKE_BINARY_DIR}/${dir})
  endif()
endfunction()

# kvx_subsystem(name [LIBS ...]): the static library of one src/ folder, made
# of every .cpp in it. The subsystems call each other's entry points, so they
# do not link one another: programs and tests link kvx_logic, which takes them
# all as one group. LIBS are outside libraries this folder needs.
function(kvx_subsystem name)
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
  if(A_LIBS)
    target_link_libraries(${name} PUBLIC ${A_LIBS})
  endif()
  set_property(GLOBAL APPEND PROPERTY KVX_SUBSYSTEMS ${name})
endfunction()

# kvx_logic: every subsystem library, linked as one group.
function(kvx_make_logic)
  get_property(libs GLOBAL PROPERTY KVX_SUBSYSTEMS)
  string(REPLACE ";" "," group "${libs}")
  add_library(kvx_logic INTERFACE)
  target_include_directories(kvx_logic INTERFACE ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
  target_link_libraries(kvx_logic INTERFACE "$<LINK_GROUP:RESCAN,${group}>")
endfunction()

# kvx_test(suite [LIBS ...]): one GoogleTest program per .cpp file of a tests/
# folder, so each links only what its unit needs; every case shows in ctest
# as "<suite>.<Group>.<Case>".
function(kvx_test suite)
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(source ${sources})
    get_filename_component(stem ${source} NAME_WE)
    set(target test_${suite}_${stem})
    add_executable(${target} ${source})
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(${target} PRIVATE kvx_logic ${A_LIBS} kvx_testsupport GTest::gtest_main GTest::gmock)
    gtest_discover_tests(${target} TEST_PREFIX "${suite}." DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "KVX_SOURCE_DIR=${CMAKE_SOURCE_DIR};KVX_BINARY_DIR=${CMAKE_BINARY_DIR}")
  endforeach()
endfunction()

# kvx_fuzz(name SOURCES ... LIBS ...): a libFuzzer target; its seed corpus is
# fuzz/corpus/<name>.
function(kvx_fuzz name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(fuzz_${name} ${A_SOURCES})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  target_link_libraries(fuzz_${name} PRIVATE kvx_logic ${A_LIBS})
  set_property(GLOBAL APPEND PROPERTY KVX_FUZZ_TARGETS fuzz_${name})
endfunction()
