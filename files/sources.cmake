# Files and folders: file chooser, tokens, folder chooser, opening files, folder scan.
list(APPEND TARVEL_PURE_SOURCES
    files/token.cpp
    files/extension_filter.cpp)
list(APPEND TARVEL_PURE_SOURCES
    files/file_name.cpp
    files/dialog_filter.cpp
    files/device_name.cpp
    files/exact_name.cpp)
list(APPEND TARVEL_WINDOWS_SOURCES
    files/path_exists.cpp
    files/script_path.cpp
    files/file_identity.cpp
    files/exact_path.cpp
    files/file_chooser.cpp
    files/get_file_name.cpp
    files/open_file.cpp
    files/folder_chooser.cpp)
list(APPEND TARVEL_WINDOWS_SOURCES
    files/scan_list.cpp
    files/folder_listing.cpp
    files/folder_table.cpp
    files/folder_walk.cpp
    files/scan_progress.cpp
    files/folder_scan.cpp)
