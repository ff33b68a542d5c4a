# libFuzzer targets over the pure code; each has a committed corpus in fuzz/corpus/<name>.
tarvel_add_fuzzer(fuzz_status_text fuzz/fuzz_status_text.cpp RUNS 20000)
tarvel_add_fuzzer(fuzz_token fuzz/fuzz_token.cpp RUNS 20000)
tarvel_add_fuzzer(fuzz_extension_filter fuzz/fuzz_extension_filter.cpp RUNS 20000)
tarvel_add_fuzzer(fuzz_codepage_table_text fuzz/fuzz_codepage_table_text.cpp RUNS 10000)
tarvel_add_fuzzer(fuzz_codepage_convert fuzz/fuzz_codepage_convert.cpp RUNS 20000)
tarvel_add_fuzzer(fuzz_file_name fuzz/fuzz_file_name.cpp RUNS 20000)
tarvel_add_fuzzer(fuzz_dialog_filter fuzz/fuzz_dialog_filter.cpp RUNS 20000)
