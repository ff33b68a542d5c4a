# Clipboard snapshot and restore, icon rendering and palette.
list(APPEND TARVEL_PURE_SOURCES
    clipboard/icon_pixels.cpp)
list(APPEND TARVEL_WINDOWS_SOURCES
    clipboard/snapshot.cpp
    clipboard/file_icon.cpp)
