# Every source folder is one library whose sources are found by globbing, so
# adding a file never means editing a build file.
set(ZENTRABO_WARNINGS -Wall -Wextra -Wpedantic -Werror)
# GCC 12 at -O3 reports string concatenation inside libstdc++ as an overlapping
# memcpy (a known false positive, fixed in GCC 13); it fires in headers we do
# not own, so the release build would never compile with it on.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND ZENTRABO_WARNINGS -Wno-restrict)
endif()
# The GCC builds enforce warnings; the clang fuzz tree reports them without
# failing, so a warning only clang knows cannot stop the fuzz step.
if(ZENTRABO_FUZZ)
  list(REMOVE_ITEM ZENTRABO_WARNINGS -Werror)
endif()

# The sanitized trees parse the standard headers nearly every source includes
# once a target, into a precompiled header, instead of once a source (and
# Asio's, which zentrabo_asio adds to every target that links it:
# src/CMakeLists.txt). Optimized builds do not: GCC 12 at -O3 reports false
# string overflows inside libstdc++ when its headers come precompiled, and the
# release tree is where the -O3 warnings are checked as a plain build meets them.
set(ZENTRABO_PRECOMPILE ${ZENTRABO_SANITIZE})
set(ZENTRABO_PRECOMPILED_HEADERS <string> <vector> <optional> <memory> <functional> <algorithm>
    <filesystem> <chrono> <mutex> <variant> <map>)

# zentrabo_library(<target> <folder relative to src/> [EXCLUDE entries...] [DEPS targets...])
# EXCLUDE leaves out subfolders that are libraries of their own, and files
# that belong to an executable (an entry point).
function(zentrabo_library target folder)
  cmake_parse_arguments(ARG "" "" "EXCLUDE;DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       "${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp")
  foreach(subfolder IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources "${PROJECT_SOURCE_DIR}/src/${folder}/${subfolder}")
    set(prefix "${PROJECT_SOURCE_DIR}/src/${folder}/${subfolder}/")
    string(LENGTH "${prefix}" prefix_length)
    foreach(source IN LISTS sources)
      string(SUBSTRING "${source}" 0 ${prefix_length} start)
      if(start STREQUAL prefix)
        list(REMOVE_ITEM sources "${source}")
      endif()
    endforeach()
  endforeach()
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}/src"
                                                "${PROJECT_BINARY_DIR}/generated")
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    target_compile_options(${target} PRIVATE ${ZENTRABO_WARNINGS})
    if(ZENTRABO_PRECOMPILE)
      target_precompile_headers(${target} PRIVATE ${ZENTRABO_PRECOMPILED_HEADERS})
    endif()
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE "${PROJECT_SOURCE_DIR}/src"
                                                   "${PROJECT_BINARY_DIR}/generated")
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# zentrabo_test(<folder relative to tests/> [DEPS targets...] [RESOURCE_LOCK names...]
#               [RUN_SERIAL tests...]):
# one executable per test folder, every TEST registered with CTest; with
# resource locks, none of its tests runs beside another test holding any of them.
# The RUN_SERIAL tests run alone: they check a real-time rate of the session,
# which a neighbouring test's load on a two-core machine would decide instead.
# A test program is a unity build of up to eight sources a translation unit:
# the header-only test support (TLS clients, the server process, record
# tables) is compiled once a batch instead of once a file, which more than
# halves the sanitized tree's compile time. So names at a test file's top
# level must differ from its neighbours' in the same folder.
function(zentrabo_test folder)
  cmake_parse_arguments(ARG "" "" "DEPS;RESOURCE_LOCK;RUN_SERIAL" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/tests/${folder}/*.cpp")
  if(NOT sources)
    return()
  endif()
  string(REPLACE "/" "_" name "test_${folder}")
  add_executable(${name} ${sources})
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  if(ZENTRABO_PRECOMPILE)
    target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <gmock/gmock.h> ${ZENTRABO_PRECOMPILED_HEADERS})
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} zentrabo_test_support
                        GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_options(${name} PRIVATE ${ZENTRABO_WARNINGS})
  target_compile_definitions(${name} PRIVATE
    ZENTRABO_BINARY_DIR="${PROJECT_BINARY_DIR}"
    ZENTRABO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  if(ARG_RESOURCE_LOCK OR ARG_RUN_SERIAL)
    # A list of names does not survive the layers of the discovery's own
    # property argument (each flattens it), so the locks are set by a file
    # CTest reads after the discovered tests, on the list that names them.
    set(properties_file "${CMAKE_CURRENT_BINARY_DIR}/${name}_test_properties.cmake")
    file(WRITE "${properties_file}" "")
    if(ARG_RESOURCE_LOCK)
      file(APPEND "${properties_file}"
           "if(${name}_TESTS)\n"
           "  set_tests_properties(\${${name}_TESTS} PROPERTIES RESOURCE_LOCK \"${ARG_RESOURCE_LOCK}\")\n"
           "endif()\n")
    endif()
    foreach(test IN LISTS ARG_RUN_SERIAL)
      file(APPEND "${properties_file}"
           "list(FIND ${name}_TESTS \"${test}\" found)\n"
           "if(NOT found EQUAL -1)\n"
           "  set_tests_properties(\"${test}\" PROPERTIES RUN_SERIAL TRUE)\n"
           "endif()\n")
    endforeach()
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${properties_file}")
  endif()
endfunction()
