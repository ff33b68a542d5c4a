// Test mode for modal windows: any dialog-class window that becomes active on the host's
// thread is recorded and then closed from a timer inside its own modal loop, so that a box
// or dialog the plug-in shows never waits for a person. A dialog with a Cancel button is
// cancelled (the open-file dialog ignores OK while its name box is empty), one without gets
// OK (the information dialog, a message box), one with neither gets WM_CLOSE. The press is
// repeated while the dialog stays; one still open after the give-up time ends the process
// with a message, since nothing else would ever end its modal loop. The progress window of a
// long scan is left alone: it waits for nobody, and goes when the scan ends.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "host/emulator.h"
#include "resources/resource_ids.h"

namespace fmhost {

namespace {

const UINT kTickMs = 50;
const DWORD kPressAgainMs = 1000;

struct TrackedDialog {
    HWND window;
    DWORD activatedAt;
    DWORD pressedAt;
    bool pressed;
};

HHOOK cbtHook = NULL;
UINT_PTR timer = 0;
DWORD giveUpMs = 10000;
std::vector<TrackedDialog> tracked;
std::vector<ModalRecord> closed;

std::string WindowText(HWND window)
{
    char text[1024] = {0};
    if (window != NULL)
        GetWindowTextA(window, text, sizeof text - 1);
    return text;
}

// Posts what a person's click would send; returns the button pressed (0 for WM_CLOSE).
int Press(HWND window)
{
    static const int buttons[] = {IDCANCEL, IDOK};
    for (int id : buttons) {
        HWND button = GetDlgItem(window, id);
        if (button != NULL) {
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
            return id;
        }
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}

void GiveUp(HWND window)
{
    fflush(stdout);
    fprintf(stderr, "fmhost: the dialog \"%s\" did not close within %lu s of auto-close; ending\n",
            WindowText(window).c_str(), (unsigned long)(giveUpMs / 1000));
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kExitDialogDidNotClose);
}

void StopTimer()
{
    if (timer != 0)
        KillTimer(NULL, timer);
    timer = 0;
}

void CALLBACK CloseTimer(HWND, UINT, UINT_PTR, DWORD)
{
    DWORD now = GetTickCount();
    for (size_t i = 0; i < tracked.size();) {
        TrackedDialog &dialog = tracked[i];
        if (!IsWindow(dialog.window)) {
            tracked.erase(tracked.begin() + (long)i);
            continue;
        }
        if (!dialog.pressed) {
            // Read now, inside the window's own modal loop: its texts are all set by this time.
            ModalRecord record;
            record.caption = WindowText(dialog.window);
            record.text = WindowText(GetDlgItem(dialog.window, 0xFFFF));
            record.owner = GetWindow(dialog.window, GW_OWNER);
            record.style = (DWORD)GetWindowLongA(dialog.window, GWL_STYLE);
            record.exStyle = (DWORD)GetWindowLongA(dialog.window, GWL_EXSTYLE);
            record.closedBy = Press(dialog.window);
            closed.push_back(record);
            dialog.pressed = true;
            dialog.pressedAt = now;
        } else if (now - dialog.activatedAt >= giveUpMs) {
            GiveUp(dialog.window);
        } else if (now - dialog.pressedAt >= kPressAgainMs) {
            Press(dialog.window);
            dialog.pressedAt = now;
        }
        i++;
    }
    if (tracked.empty())
        StopTimer();
}

LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND window = (HWND)wParam;
        bool known = false;
        for (const TrackedDialog &dialog : tracked)
            known = known || dialog.window == window;
        if (IsDialogOfThisThread(window) && !known && !IsScanProgressWindow(window)) {
            tracked.push_back(TrackedDialog{window, GetTickCount(), 0, false});
            if (timer == 0)
                timer = SetTimer(NULL, 0, kTickMs, CloseTimer);
        }
    }
    return CallNextHookEx(cbtHook, code, wParam, lParam);
}

}  // namespace

bool IsDialogOfThisThread(HWND window)
{
    char className[64] = {0};
    GetClassNameA(window, className, sizeof className - 1);
    return GetWindowThreadProcessId(window, NULL) == GetCurrentThreadId() &&
           strcmp(className, "#32770") == 0;
}

bool IsScanProgressWindow(HWND window)
{
    return GetDlgItem(window, IDC_SCAN_FOLDER) != NULL && GetDlgItem(window, IDC_SCAN_COUNT) != NULL;
}

void SetAutoCloseModals(bool on, DWORD giveUpAfterMs)
{
    giveUpMs = giveUpAfterMs;
    if (on && cbtHook == NULL)
        cbtHook = SetWindowsHookExA(WH_CBT, CbtProc, NULL, GetCurrentThreadId());
    if (!on) {
        if (cbtHook != NULL)
            UnhookWindowsHookEx(cbtHook);
        cbtHook = NULL;
        StopTimer();
        tracked.clear();
    }
}

const std::vector<ModalRecord> &ClosedModals() { return closed; }
void ClearClosedModals() { closed.clear(); }

}  // namespace fmhost
