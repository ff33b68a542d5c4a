# Benchmarks that run under Wine through the host emulator. They print figures and are never
# part of the test run: build them with `cmake --build <dir> --target scan_bench` (or run
# scripts/bench-scan.sh, which also builds and runs scan_ceiling).

add_executable(scan_bench EXCLUDE_FROM_ALL bench/scan_bench.cpp tests/win/support/unix_link.cpp)
target_include_directories(scan_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(scan_bench PRIVATE ${TARVEL_WARNINGS} -O2)
target_link_libraries(scan_bench PRIVATE fmhost_emulator)
target_link_options(scan_bench PRIVATE -static -static-libgcc -static-libstdc++)
add_dependencies(scan_bench tarvel)

add_executable(scan_ceiling EXCLUDE_FROM_ALL bench/scan_ceiling.cpp tests/win/support/unix_link.cpp)
target_include_directories(scan_ceiling PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(scan_ceiling PRIVATE ${TARVEL_WARNINGS} -O2)
target_link_libraries(scan_ceiling PRIVATE fmhost_emulator)
target_link_options(scan_ceiling PRIVATE -static -static-libgcc -static-libstdc++)
add_dependencies(scan_ceiling tarvel)
