# Test programs that load tarvel.fmx through the host emulator under Wine.
tarvel_add_win_test(plugin_win_test
    tests/win/entry_test.cpp tests/win/host_text_test.cpp tests/win/resources_test.cpp
    tests/win/info_dialog_test.cpp tests/win/emulator_test.cpp tests/win/host_window_test.cpp
    # The text exchange is tested on its own over the emulator's handles, so it is linked in.
    plugin/host_text.cpp plugin/status.cpp)
tarvel_add_win_test(encoding_win_test tests/win/encoding_test.cpp)
tarvel_add_win_test(scan_win_test tests/win/scan_test.cpp)
tarvel_add_win_test(scan_watch_win_test tests/win/scan_watch_test.cpp TIMEOUT 120)
tarvel_add_win_test(clipboard_win_test
    tests/win/clipboard_test.cpp tests/win/file_icon_test.cpp tests/win/clipboard_test_support.cpp
    LOCKS clipboard syscolors TIMEOUT 300)
# The other program of the clipboard tests, beside them in bin/.
add_executable(clipboard_peer tests/win/clipboard_peer.cpp)
target_compile_options(clipboard_peer PRIVATE ${TARVEL_WARNINGS})
target_link_options(clipboard_peer PRIVATE -static -static-libgcc -static-libstdc++)
add_dependencies(clipboard_win_test clipboard_peer)
# The call storm: random calls, hostile parameters and injected faults (see the file).
# Its model converts paths with the reference over the code-page tables' texts.
tarvel_add_win_test(storm_win_test tests/win/storm_test.cpp tests/win/clipboard_test_support.cpp
    encoding/codepage_tables.cpp LOCKS clipboard TIMEOUT 1500)
tarvel_add_win_test(files_win_test
    tests/win/file_chooser_test.cpp tests/win/folder_chooser_test.cpp tests/win/open_file_test.cpp
    LOCKS associations TIMEOUT 180)
# The program that the file-association test registers for its test-only document type.
add_executable(open_recorder tests/win/open_recorder.cpp)
target_compile_options(open_recorder PRIVATE ${TARVEL_WARNINGS})
target_link_options(open_recorder PRIVATE -static -static-libgcc -static-libstdc++)
add_dependencies(files_win_test open_recorder)
# Paths that name the very file over names the code page cannot hold; device names.
# It reads the locales' code pages with the plug-in's tables, as Windows reads them.
tarvel_add_win_test(exact_path_win_test tests/win/exact_path_test.cpp
    encoding/utf16_text.cpp encoding/codepage.cpp encoding/codepage_tables.cpp
    encoding/windows_codepages.cpp DIALOG_CASES "ExactPathDialogTest.*")
# Host texts on a system whose code page is double-byte, read by characters.
# Its icon copy opens the clipboard.
tarvel_add_win_test(double_byte_win_test tests/win/double_byte_test.cpp LOCALE ja_JP LOCKS clipboard)
# Messages that arrive while a dialog of a call is open.
tarvel_add_win_test(nested_win_test tests/win/nested_message_test.cpp)
# fmhost.exe run as a process of its own, as its users run it.
tarvel_add_win_test(fmhost_win_test tests/win/fmhost_test.cpp TIMEOUT 240)
add_dependencies(fmhost_win_test fmhost)
