# The native Linux side: the pure code of the plug-in with its GoogleTest tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the libFuzzer targets, and (in an
# optimised build without sanitizers) the benchmarks.
option(TARVEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
option(TARVEL_FUZZERS "Build the libFuzzer targets (clang only)" ON)
option(TARVEL_BENCHMARKS "Build the Google Benchmark programs" OFF)

set(TARVEL_WARNINGS -Wall -Wextra)
if(TARVEL_SANITIZE)
    set(TARVEL_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${TARVEL_SAN_FLAGS} -g -O1)
    add_link_options(${TARVEL_SAN_FLAGS})
endif()

add_library(tarvel_pure STATIC ${TARVEL_PURE_SOURCES})
target_include_directories(tarvel_pure PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tarvel_pure PRIVATE ${TARVEL_WARNINGS})

add_subdirectory(${TARVEL_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# tarvel_add_native_test(name source...): a GoogleTest program over the pure code.
function(tarvel_add_native_test name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE tarvel_pure GTest::gtest_main)
    target_compile_options(${name} PRIVATE ${TARVEL_WARNINGS})
    gtest_discover_tests(${name} TEST_PREFIX "native.${name}." DISCOVERY_MODE PRE_TEST
                         PROPERTIES TIMEOUT 120)
endfunction()

# tarvel_add_fuzzer(name source RUNS n): a libFuzzer target over the pure code, and a CTest
# test that runs it for n executions from its committed corpus fuzz/corpus/<name>.
if(TARVEL_FUZZERS AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_library(tarvel_pure_fuzz STATIC ${TARVEL_PURE_SOURCES})
    target_include_directories(tarvel_pure_fuzz PUBLIC ${CMAKE_SOURCE_DIR})
    target_compile_options(tarvel_pure_fuzz PRIVATE -fsanitize=fuzzer-no-link)
endif()
function(tarvel_add_fuzzer name source)
    cmake_parse_arguments(ARG "" "RUNS" "" ${ARGN})
    if(NOT TARGET tarvel_pure_fuzz)
        return()
    endif()
    if(NOT ARG_RUNS)
        set(ARG_RUNS 20000)
    endif()
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE tarvel_pure_fuzz)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer ${TARVEL_WARNINGS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_test(NAME fuzz.${name}
             COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run-fuzzer.sh $<TARGET_FILE:${name}>
                     ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name} ${ARG_RUNS})
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 300)
endfunction()

# tarvel_add_benchmark(name source...): a Google Benchmark program (optimised builds only).
function(tarvel_add_benchmark name)
    if(NOT TARVEL_BENCHMARKS)
        return()
    endif()
    find_package(benchmark REQUIRED)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE tarvel_pure benchmark::benchmark)
    target_compile_options(${name} PRIVATE ${TARVEL_WARNINGS})
endfunction()

include(tests/native/tests.cmake)
include(fuzz/fuzzers.cmake)
include(bench/benchmarks.cmake)
