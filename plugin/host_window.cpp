// FindHostWindow: the host's main window, found among this process's top-level windows.
#include <windows.h>
#include <string.h>

#include "plugin/host_window.h"
#include "plugin/host_window_class.h"

static BOOL CALLBACK TestHostWindow(HWND window, LPARAM found)
{
    char className[256];
    memset(className, 0, sizeof className);
    // 255 as the length leaves the last byte of the buffer zero whatever the call does.
    if (GetClassNameA(window, className, 255) == 0)
        return TRUE;
    if (!IsHostWindowClassName(className))
        return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != GetCurrentProcessId())
        return TRUE;
    *(HWND *)found = window;
    return FALSE;
}

HWND FindHostWindow(void)
{
    HWND found = NULL;
    EnumWindows(TestHostWindow, (LPARAM)&found);
    return found;
}
