# Benchmarks that run under Wine through the host emulator. They print figures and are never
# part of the test run: build them with `cmake --build <dir> --target scan_bench` (or run
# scripts/bench-scan.sh, which also builds and runs scan_ceiling).

# A benchmark program: its source, the Unix-link support, the host emulator, and tarvel.fmx
# built beside it.
function(tarvel_wine_benchmark name)
    add_executable(${name} EXCLUDE_FROM_ALL bench/${name}.cpp tests/win/support/unix_link.cpp)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${TARVEL_WARNINGS} -O2)
    target_link_libraries(${name} PRIVATE fmhost_emulator)
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
    add_dependencies(${name} tarvel)
endfunction()

tarvel_wine_benchmark(scan_bench)
tarvel_wine_benchmark(scan_ceiling)
