# Common build settings and helpers for every folder.

find_program(SCHEMION_CCACHE ccache)
if(SCHEMION_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER "${SCHEMION_CCACHE}")
  set(CMAKE_CXX_COMPILER_LAUNCHER "${SCHEMION_CCACHE}")
endif()

add_compile_options(-Wall -Wextra)
# GCC 12 reports false -Wrestrict overlaps inside std::string concatenation at -O3 (GCC bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
if(SCHEMION_WERROR)
  add_compile_options(-Werror)
endif()
if(SCHEMION_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Every executable carries a version block built from the project version (four parts), which
# the version routine reads back from the file.
if(NOT DEFINED PROJECT_VERSION_TWEAK OR PROJECT_VERSION_TWEAK STREQUAL "")
  set(SCHEMION_FILE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
else()
  set(SCHEMION_FILE_VERSION "${PROJECT_VERSION}")
endif()
set(SCHEMION_VERSION_SOURCE "${CMAKE_BINARY_DIR}/generated/SchemionVersionBlock.cpp")
configure_file("${CMAKE_CURRENT_LIST_DIR}/VersionBlock.cpp.in" "${SCHEMION_VERSION_SOURCE}" @ONLY)

# schemion_version_block(target): embeds the version block in an executable.
function(schemion_version_block target)
  target_sources(${target} PRIVATE "${SCHEMION_VERSION_SOURCE}")
endfunction()

# schemion_library(name SOURCES ... [DEPS ...]): one static library per folder.
function(schemion_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# schemion_test(name SOURCES ... [DEPS ...]): a GoogleTest executable registered with CTest.
# Tests find their data files (tests/data, kept in the repository) through SCHEMION_TEST_DATA_DIR
# and their build folder through SCHEMION_TEST_BUILD_DIR; windows run on the offscreen platform. LABELS "heavy" marks tests that
# handle hundreds of MiB: the sanitizer run of CI leaves them out.
function(schemion_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  schemion_version_block(${name})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    SCHEMION_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
    SCHEMION_TEST_BUILD_DIR="${CMAKE_CURRENT_BINARY_DIR}"
    SCHEMION_BINARY_DIR="${CMAKE_BINARY_DIR}"
    SCHEMION_FILE_VERSION="${SCHEMION_FILE_VERSION}")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# schemion_bench(name SOURCES ... [DEPS ...]): a Google Benchmark executable.
function(schemion_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  schemion_version_block(${name})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
  target_compile_definitions(${name} PRIVATE
    SCHEMION_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
    SCHEMION_BINARY_DIR="${CMAKE_BINARY_DIR}")
endfunction()

if(SCHEMION_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if(SCHEMION_BENCH)
  find_package(benchmark REQUIRED)
endif()
