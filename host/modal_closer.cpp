// Test mode for modal windows: any dialog-class window that becomes active on the host's
// thread is recorded and then closed from a timer inside its own modal loop, so that a box
// or dialog the plug-in shows never waits for a person.
#include <windows.h>
#include <string.h>
#include <string>
#include <vector>

#include "emulator.h"

namespace fmhost {

namespace {

HHOOK cbtHook = NULL;
std::vector<ModalRecord> closed;
std::vector<HWND> pending;
UINT_PTR timer = 0;

std::string WindowText(HWND window)
{
    char text[1024] = {0};
    if (window != NULL)
        GetWindowTextA(window, text, sizeof text - 1);
    return text;
}

void CALLBACK CloseTimer(HWND, UINT, UINT_PTR, DWORD)
{
    KillTimer(NULL, timer);
    timer = 0;
    std::vector<HWND> windows;
    windows.swap(pending);
    for (HWND window : windows) {
        if (!IsWindow(window))
            continue;
        // Read now, inside the window's own modal loop: its texts are all set by this time.
        ModalRecord record;
        record.caption = WindowText(window);
        record.text = WindowText(GetDlgItem(window, 0xFFFF));
        record.owner = GetWindow(window, GW_OWNER);
        record.style = (DWORD)GetWindowLongA(window, GWL_STYLE);
        record.exStyle = (DWORD)GetWindowLongA(window, GWL_EXSTYLE);
        closed.push_back(record);
        HWND ok = GetDlgItem(window, IDOK);
        if (ok != NULL)
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)ok);
        else
            PostMessageA(window, WM_CLOSE, 0, 0);
    }
}

LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND window = (HWND)wParam;
        char className[64] = {0};
        GetClassNameA(window, className, sizeof className - 1);
        bool seen = false;
        for (HWND w : pending)
            seen = seen || w == window;
        if (strcmp(className, "#32770") == 0 && !seen) {
            pending.push_back(window);
            if (timer == 0)
                timer = SetTimer(NULL, 0, 50, CloseTimer);
        }
    }
    return CallNextHookEx(cbtHook, code, wParam, lParam);
}

}  // namespace

void SetAutoCloseModals(bool on)
{
    if (on && cbtHook == NULL)
        cbtHook = SetWindowsHookExA(WH_CBT, CbtProc, NULL, GetCurrentThreadId());
    if (!on && cbtHook != NULL) {
        UnhookWindowsHookEx(cbtHook);
        cbtHook = NULL;
    }
}

const std::vector<ModalRecord> &ClosedModals() { return closed; }
void ClearClosedModals() { closed.clear(); }

}  // namespace fmhost
