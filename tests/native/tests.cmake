# Native GoogleTest programs, one per subsystem.
tarvel_add_native_test(plugin_native_test tests/native/status_test.cpp tests/native/host_window_class_test.cpp)
tarvel_add_native_test(token_native_test tests/native/token_test.cpp)
tarvel_add_native_test(scan_native_test tests/native/extension_filter_test.cpp)
tarvel_add_native_test(clipboard_native_test tests/native/icon_pixels_test.cpp)
tarvel_add_native_test(codepage_native_test tests/native/codepage_test.cpp tests/native/utf16_text_test.cpp)
# The committed code-page tables are what tools/gen_codepage_tables.py makes of the code pages.
add_test(NAME native.codepage_tables_generated
         COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/gen_codepage_tables.py --check)
add_test(NAME native.windows_codepages_generated
         COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/gen_windows_codepages.py --check)
tarvel_add_native_test(file_chooser_native_test tests/native/file_name_test.cpp tests/native/dialog_filter_test.cpp
                       tests/native/device_name_test.cpp tests/native/exact_name_test.cpp
                       tests/native/double_byte_test.cpp)
# The reference as rendered for the release package: code in table cells never breaks, long
# code lines wrap (Debian's python3-markdown renders it, whatever python3 comes first).
add_test(NAME docs.page_styles
         COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/docs/check_page_styles.py ${CMAKE_SOURCE_DIR})
set_tests_properties(docs.page_styles PROPERTIES TIMEOUT 60)
