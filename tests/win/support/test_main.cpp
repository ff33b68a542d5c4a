// main() of every Wine test program: GoogleTest, plus a watchdog that ends a test that hangs
// (a dialog nobody drove, a call that never returns) with a message naming the test, before
// CTest's own limit would kill it silently.
#include <windows.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static DWORD WINAPI Watchdog(void *limitSeconds)
{
    Sleep((DWORD)(uintptr_t)limitSeconds * 1000);
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    fprintf(stderr, "watchdog: %s.%s still running after %u s; ending the process\n",
            test ? test->test_suite_name() : "?", test ? test->name() : "?",
            (unsigned)(uintptr_t)limitSeconds);
    fflush(stderr);
    ExitProcess(99);
    return 0;
}

// "--window-peer CLASS EVENT": the program acts as another process that owns a top-level
// window of class CLASS; it signals EVENT once the window exists and lives until killed.
static int RunWindowPeer(const char *className, const char *eventName)
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, className, "peer", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL,
                                  NULL, GetModuleHandleA(NULL), NULL);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName);
    if (window == NULL || ready == NULL)
        return 1;
    SetEvent(ready);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "--window-peer") == 0)
        return RunWindowPeer(argv[2], argv[3]);
    testing::InitGoogleTest(&argc, argv);
    // Discovery (--gtest_list_tests) needs no watchdog; a run gets most of CTest's limit.
    const char *limit = getenv("TARVEL_TEST_TIMEOUT");
    unsigned seconds = limit != NULL ? (unsigned)atoi(limit) : 600;
    seconds = seconds > 20 ? seconds - 15 : 5;
    HANDLE thread = CreateThread(NULL, 0, Watchdog, (void *)(uintptr_t)seconds, 0, NULL);
    if (thread != NULL)
        CloseHandle(thread);
    return RUN_ALL_TESTS();
}
