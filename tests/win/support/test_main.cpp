// main() of every Wine test program: GoogleTest, plus a watchdog that ends a test that hangs
// (a dialog nobody drove, a call that never returns) with a message naming the test, before
// CTest's own limit would kill it silently; and an end that waits for threads still starting.
#include <windows.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Wine 8 crashes the process ("Segmentation fault" after every test passed) when the process
// ends while another thread of it is still starting: that thread is ended in the middle of
// its set-up and faults in its signal handler. GoogleTest starts such a thread itself, the
// first time a test reports a result (a watcher of the test thread's result storage), so a
// short test whose first check comes at its end leaves the process ending just as that
// thread starts. Threads that have started and wait (the watchdog, GoogleTest's watcher) are
// ended at exit without harm. So the program counts the threads that have started running
// their code, by a thread callback of its own, and does not end until every thread of the
// process has (or has ended).
static volatile LONG threadsStarted = 0;

static void NTAPI NoteThreadStartAndEnd(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_THREAD_ATTACH)
        InterlockedIncrement(&threadsStarted);
    else if (reason == DLL_THREAD_DETACH)
        InterlockedDecrement(&threadsStarted);
}
// The loader calls the callbacks of the .CRT$XL* sections for every thread's start and end.
extern "C" __attribute__((used, section(".CRT$XLT")))
const PIMAGE_TLS_CALLBACK noteThreadStartAndEnd = NoteThreadStartAndEnd;

// Threads of this process besides the calling one, or -1 when they cannot be listed.
static LONG OtherThreads(void)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    LONG count = 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId() && entry.th32ThreadID != GetCurrentThreadId())
            count++;
    CloseHandle(snapshot);
    return count;
}

// Waits until no thread of the process is between its creation and its start, at most
// limitMs; says so when one still is.
static void WaitForStartingThreads(DWORD limitMs)
{
    DWORD begun = GetTickCount();
    LONG others;
    while ((others = OtherThreads()) > threadsStarted) {
        if (GetTickCount() - begun >= limitMs) {
            fprintf(stderr, "test_main: %ld of %ld other threads still starting after %lu ms\n",
                    (long)(others - threadsStarted), (long)others, (unsigned long)limitMs);
            return;
        }
        Sleep(2);
    }
}

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
    int status = RUN_ALL_TESTS();
    fflush(stdout);
    WaitForStartingThreads(5000);
    return status;
}
