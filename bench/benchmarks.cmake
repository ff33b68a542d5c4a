# Google Benchmark programs (configure with -DTARVEL_BENCHMARKS=ON -DTARVEL_SANITIZE=OFF).
tarvel_add_benchmark(bench_codepage bench/bench_codepage.cpp)
