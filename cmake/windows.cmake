# The Windows side: tarvel.fmx, the host emulator fmhost, and the tests that run under Wine.
enable_language(RC)
include(GoogleTest)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

set(TARVEL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix of the tests")
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

set(TARVEL_WARNINGS -Wall -Wextra -Werror=return-type)
# Windows 2000 and XP are where the host ran: build against their API level.
set(TARVEL_WINVER _WIN32_WINNT=0x0500 WINVER=0x0500 _WIN32_IE=0x0500)

# ---- the plug-in module -------------------------------------------------------------------
add_library(tarvel SHARED
    ${TARVEL_PURE_SOURCES} ${TARVEL_WINDOWS_SOURCES}
    resources/tarvel.rc plugin/tarvel.def)
set_target_properties(tarvel PROPERTIES PREFIX "" SUFFIX ".fmx" OUTPUT_NAME tarvel)
target_compile_definitions(tarvel PRIVATE ${TARVEL_WINVER})
target_compile_options(tarvel PRIVATE ${TARVEL_WARNINGS} $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti> -O2)
target_include_directories(tarvel PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(tarvel PRIVATE
    -static -static-libgcc -static-libstdc++
    -Wl,--major-subsystem-version,5 -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,5 -Wl,--minor-os-version,0
    -Wl,--enable-stdcall-fixup
    # No link time in the headers: the same sources give the same bytes (release package).
    -Wl,--no-insert-timestamp)
target_link_libraries(tarvel PRIVATE user32 gdi32 comdlg32 comctl32 shell32 ole32 version)
set_source_files_properties(resources/tarvel.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/resources/logo_upper.bmp;${CMAKE_SOURCE_DIR}/resources/logo_lower.bmp;${CMAKE_SOURCE_DIR}/resources/resource_ids.h")

# ---- the host emulator --------------------------------------------------------------------
add_library(fmhost_emulator STATIC host/emulator.cpp host/handles.cpp host/heap_guard.cpp host/import_hooks.cpp host/modal_closer.cpp
    host/call_records.cpp host/nested_messages.cpp)
target_compile_options(fmhost_emulator PRIVATE ${TARVEL_WARNINGS})
target_compile_definitions(fmhost_emulator PUBLIC ${TARVEL_WINVER})
target_link_libraries(fmhost_emulator PUBLIC user32 gdi32 comctl32 shell32 ole32 version)

add_executable(fmhost host/fmhost.cpp)
target_compile_options(fmhost PRIVATE ${TARVEL_WARNINGS})
target_link_libraries(fmhost PRIVATE fmhost_emulator)
target_link_options(fmhost PRIVATE -static -static-libgcc -static-libstdc++ -municode)
add_dependencies(fmhost tarvel)

# The demonstration's clipboard tool (scripts/demo.sh): another program that copies a text.
add_executable(clipboard_tool EXCLUDE_FROM_ALL tools/clipboard_tool.c)
target_compile_options(clipboard_tool PRIVATE ${TARVEL_WARNINGS})
target_link_options(clipboard_tool PRIVATE -static)
target_link_libraries(clipboard_tool PRIVATE gdi32)

# ---- tests under Wine ---------------------------------------------------------------------
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${TARVEL_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(tarvel_win_test_support STATIC
    tests/win/support/plugin_fixture.cpp
    tests/win/support/test_main.cpp
    tests/win/support/dialog_driver.cpp
    tests/win/support/gdi_objects.cpp
    tests/win/support/ansi_text.cpp
    tests/win/support/unix_link.cpp)
target_link_libraries(tarvel_win_test_support PUBLIC fmhost_emulator GTest::gtest)
target_compile_options(tarvel_win_test_support PRIVATE ${TARVEL_WARNINGS})

# tarvel_add_win_test(name source... [LOCKS lock...] [TIMEOUT seconds])
# One test program; every GoogleTest case in it becomes a CTest test "win.<name>.<case>",
# run in its own Wine process. LOCKS names the shared things (clipboard, syscolors,
# associations) that the cases touch, so that CTest never runs two such tests at once.
function(tarvel_add_win_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "LOCKS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE tarvel_win_test_support)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${TARVEL_WARNINGS})
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
    add_dependencies(${name} tarvel)
    set(props TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "TARVEL_TEST_TIMEOUT=${ARG_TIMEOUT}")
    if(ARG_LOCKS)
        string(REPLACE ";" "," locks "${ARG_LOCKS}")
        list(APPEND props RESOURCE_LOCK "${ARG_LOCKS}")
    endif()
    gtest_discover_tests(${name} TEST_PREFIX "win.${name}." DISCOVERY_MODE PRE_TEST
                         DISCOVERY_TIMEOUT 300 PROPERTIES ${props})
endfunction()

# Checks on the built module's PE headers, import and export tables (run on Linux).
add_test(NAME pe.module_tables
         COMMAND ${CMAKE_COMMAND} -E env python3 ${CMAKE_SOURCE_DIR}/tests/pe/check_module.py
                 --objdump ${CMAKE_OBJDUMP} --module $<TARGET_FILE:tarvel>
                 --imports ${CMAKE_SOURCE_DIR}/tests/pe/allowed_imports.txt)

# The release package: reproducible, complete, and its tarvel.fmx loads in the emulator.
add_test(NAME package.zip_loads
         COMMAND sh ${CMAKE_SOURCE_DIR}/tests/package/check_package.sh ${CMAKE_SOURCE_DIR}
                 $<TARGET_FILE:tarvel> $<TARGET_FILE:fmhost> ${CMAKE_BINARY_DIR}/wine-run.sh)
set_tests_properties(package.zip_loads PROPERTIES TIMEOUT 180 ENVIRONMENT TARVEL_TEST_TIMEOUT=120)

include(tests/win/tests.cmake)
include(bench/windows.cmake)
