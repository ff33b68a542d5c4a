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

# One optimisation level for everything built here: CMake's Release flags say -O3, and the
# module used to add -O2 behind them, which won.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")

# ---- the plug-in module -------------------------------------------------------------------
# What ships is hardened and stripped, each point stated here and checked by tests/pe:
# - ASLR and DEP (--dynamicbase, --nxcompat), asked for rather than left to ld's defaults;
# - NO_SEH: no code in the module installs a structured exception handler, so there is none
#   a SafeSEH table could list. Debian's i686 mingw-w64 GCC is built --with-dwarf2
#   --disable-sjlj-exceptions: C++ unwinding (libgcc_eh, unused here with -fno-exceptions)
#   runs on DWARF tables, never on the fs:[0] handler chain; and no object of the libraries
#   linked in (dllcrt2.o, libmingw32, libmingwex, libgcc, libgcc_eh, libssp, libstdc++,
#   winpthreads) has an instruction that touches fs:[0]. The module's only fs: access is the
#   CRT start-up's read of the TEB address (fs:0x18). tests/pe disassembles the module and
#   fails if any code touches fs:[0];
# - stack protection (-fstack-protector-strong: the static libssp, whose canary comes from
#   advapi32's CryptGenRandom) and _FORTIFY_SOURCE=2, which mingw-w64's string and stdio
#   headers honour at -O1 and above;
# - subsystem Windows GUI, version 5.0, like the OS version: it loads on Windows 2000;
# - stripped, the symbols and DWARF kept beside it in tarvel.fmx.debug with a debug link
#   (file name and CRC only), so a crash address from a user can still be read
#   (scripts/crash-address.sh);
# - reproducible: no link time in the headers, and the debug information names the sources
#   relative to the source folder, so that two builds of one commit from two folders give
#   the same debug file, the same CRC in the link, and the same module.
add_library(tarvel SHARED
    ${TARVEL_PURE_SOURCES} ${TARVEL_WINDOWS_SOURCES}
    resources/tarvel.rc plugin/tarvel.def)
set_target_properties(tarvel PROPERTIES PREFIX "" SUFFIX ".fmx" OUTPUT_NAME tarvel)
target_compile_definitions(tarvel PRIVATE ${TARVEL_WINVER} $<$<COMPILE_LANGUAGE:C,CXX>:_FORTIFY_SOURCE=2>)
target_compile_options(tarvel PRIVATE ${TARVEL_WARNINGS}
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>
    $<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong -g
        -ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}=.>)
target_include_directories(tarvel PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(tarvel PRIVATE
    -static -static-libgcc -static-libstdc++ -fstack-protector-strong
    -Wl,--subsystem,windows:5.0
    -Wl,--major-os-version,5 -Wl,--minor-os-version,0
    -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-seh
    -Wl,--enable-stdcall-fixup
    -Wl,--no-insert-timestamp)
target_link_libraries(tarvel PRIVATE user32 gdi32 comdlg32 comctl32 shell32 ole32)
# objcopy would stamp the headers with the time it ran, unless SOURCE_DATE_EPOCH says otherwise.
add_custom_command(TARGET tarvel POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
            ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:tarvel> $<TARGET_FILE_NAME:tarvel>.debug
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
            ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE_NAME:tarvel>.debug
            $<TARGET_FILE_NAME:tarvel>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:tarvel>
    COMMENT "Keeping tarvel.fmx's symbols in tarvel.fmx.debug, stripping tarvel.fmx"
    VERBATIM)
# The version resource takes the project's version (CMakeLists.txt), its only home.
set_source_files_properties(resources/tarvel.rc PROPERTIES
    COMPILE_DEFINITIONS "TARVEL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR};TARVEL_VERSION_MINOR=${PROJECT_VERSION_MINOR};TARVEL_VERSION_PATCH=${PROJECT_VERSION_PATCH};TARVEL_VERSION_TWEAK=${PROJECT_VERSION_TWEAK}"
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/resources/logo_upper.bmp;${CMAKE_SOURCE_DIR}/resources/logo_lower.bmp;${CMAKE_SOURCE_DIR}/resources/resource_ids.h")

# ---- the host emulator --------------------------------------------------------------------
add_library(fmhost_emulator STATIC host/emulator.cpp host/handles.cpp host/heap_guard.cpp host/import_hooks.cpp host/modal_closer.cpp
    host/call_records.cpp host/nested_messages.cpp)
target_compile_options(fmhost_emulator PRIVATE ${TARVEL_WARNINGS})
target_include_directories(fmhost_emulator PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(fmhost_emulator PUBLIC ${TARVEL_WINVER})
target_link_libraries(fmhost_emulator PUBLIC user32 gdi32 comctl32 shell32 ole32 version)

add_executable(fmhost host/fmhost.cpp host/dialog_watch.cpp)
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

# tarvel_build_locale(name): the Unix locale name.UTF-8 (e.g. ja_JP), which Debian ships only as
# a source, built into the build folder once, for the tests that run under it.
function(tarvel_build_locale name)
    if(TARGET locale_${name})
        return()
    endif()
    set(folder ${CMAKE_BINARY_DIR}/locales/${name}.UTF-8)
    add_custom_command(OUTPUT ${folder}/LC_CTYPE
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locales
                       COMMAND localedef -i ${name} -f UTF-8 ${folder}
                       COMMENT "Building the Unix locale ${name}.UTF-8")
    add_custom_target(locale_${name} DEPENDS ${folder}/LC_CTYPE)
endfunction()

# tarvel_lock_tests(list lock...): the locks (CTest's RESOURCE_LOCK) for the tests that test
# discovery names in the variable list. A list of locks given as a discovered test's property
# keeps only its first, so a file that CTest reads after the discovery's sets them.
function(tarvel_lock_tests list)
    if(NOT ARGN)
        return()
    endif()
    set(file ${CMAKE_CURRENT_BINARY_DIR}/${list}_locks.cmake)
    file(WRITE ${file} "if(${list})\n"
                       "  set_tests_properties(\${${list}} PROPERTIES RESOURCE_LOCK \"${ARGN}\")\n"
                       "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# tarvel_add_win_test(name source... [LOCKS lock...] [DIALOG_CASES filter] [TIMEOUT seconds]
#                     [LOCALE name])
# One test program; every GoogleTest case in it becomes a CTest test "win.<name>.<case>",
# run in its own Wine process. LOCKS names the shared things (clipboard, syscolors,
# associations) that the cases touch, so that CTest never runs two such tests at once.
# DIALOG_CASES is a GoogleTest filter ("Suite.*:Other.Case") of the cases that show the real
# open-file dialog. Wine's dialog remembers the last folder per program; one with no starting
# folder opens there and makes it the current folder, where another case of the program may
# be about to remove it. These cases of one program run one at a time (lock dialogs.<name>).
# LOCALE runs the cases under that Unix locale, built into the build folder (Wine takes the
# system's ANSI code page from it).
function(tarvel_add_win_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT;LOCALE;DIALOG_CASES" "LOCKS" ${ARGN})
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
    if(ARG_LOCALE)
        tarvel_build_locale(${ARG_LOCALE})
        add_dependencies(${name} locale_${ARG_LOCALE})
        # A property of its own: a second ENVIRONMENT entry would not survive test discovery.
        list(APPEND props ENVIRONMENT_MODIFICATION "TARVEL_WINE_LOCALE=set:${ARG_LOCALE}.UTF-8")
    endif()
    set(discovery ${name} TEST_PREFIX "win.${name}." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300)
    if(ARG_DIALOG_CASES)
        gtest_discover_tests(${discovery} TEST_FILTER "${ARG_DIALOG_CASES}"
                             TEST_LIST ${name}_DIALOG_CASES PROPERTIES ${props})
        tarvel_lock_tests(${name}_DIALOG_CASES ${ARG_LOCKS} dialogs.${name})
        list(APPEND discovery TEST_FILTER "-${ARG_DIALOG_CASES}")
    endif()
    gtest_discover_tests(${discovery} TEST_LIST ${name}_CASES PROPERTIES ${props})
    tarvel_lock_tests(${name}_CASES ${ARG_LOCKS})
endfunction()

# Checks on the built module's PE headers, hardening, stripping, import and export tables
# (run on Linux).
add_test(NAME pe.module_tables
         COMMAND ${CMAKE_COMMAND} -E env python3 ${CMAKE_SOURCE_DIR}/tests/pe/check_module.py
                 --objdump ${CMAKE_OBJDUMP} --nm ${CMAKE_NM} --module $<TARGET_FILE:tarvel>
                 --debug-file $<TARGET_FILE:tarvel>.debug
                 --imports ${CMAKE_SOURCE_DIR}/tests/pe/allowed_imports.txt)

# The module and its debug file are the same when built from another folder.
add_test(NAME pe.reproducible_build
         COMMAND sh ${CMAKE_SOURCE_DIR}/tests/pe/check_reproducible.sh ${CMAKE_SOURCE_DIR}
                 $<TARGET_FILE:tarvel>)
set_tests_properties(pe.reproducible_build PROPERTIES TIMEOUT 900 PROCESSORS 2)

# The release package: reproducible, complete, and its tarvel.fmx loads in the emulator.
add_test(NAME package.zip_loads
         COMMAND sh ${CMAKE_SOURCE_DIR}/tests/package/check_package.sh ${CMAKE_SOURCE_DIR}
                 $<TARGET_FILE:tarvel> $<TARGET_FILE:fmhost> ${CMAKE_BINARY_DIR}/wine-run.sh)
set_tests_properties(package.zip_loads PROPERTIES TIMEOUT 180 ENVIRONMENT TARVEL_TEST_TIMEOUT=120)

# Signing on request: both signatures verify, a changed byte does not, the signed module loads.
add_test(NAME package.signed_zip
         COMMAND sh ${CMAKE_SOURCE_DIR}/tests/package/check_signing.sh ${CMAKE_SOURCE_DIR}
                 $<TARGET_FILE:tarvel> $<TARGET_FILE:fmhost> ${CMAKE_BINARY_DIR}/wine-run.sh)
set_tests_properties(package.signed_zip PROPERTIES TIMEOUT 180 ENVIRONMENT TARVEL_TEST_TIMEOUT=120)

include(tests/win/tests.cmake)
include(bench/windows.cmake)
