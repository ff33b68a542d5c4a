# Host interface: entry point, dispatch, text exchange, status results, host window, version,
# dialog, COM for the shell.
list(APPEND TARVEL_PURE_SOURCES
    plugin/status.cpp
    plugin/host_window_class.cpp)
list(APPEND TARVEL_WINDOWS_SOURCES
    plugin/entry.cpp
    plugin/plugin_state.cpp
    plugin/dispatch.cpp
    plugin/host_text.cpp
    plugin/host_window.cpp
    plugin/version_text.cpp
    plugin/info_dialog.cpp
    plugin/shell_apartment.cpp)
