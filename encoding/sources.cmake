# Code-page tables, the locale list and the conversions.
list(APPEND TARVEL_PURE_SOURCES
    encoding/codepage.cpp
    encoding/codepage_tables.cpp
    encoding/windows_codepages.cpp
    encoding/utf16_text.cpp)
list(APPEND TARVEL_WINDOWS_SOURCES
    encoding/set_locale.cpp
    encoding/wide_text.cpp)
