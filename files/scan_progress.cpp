// The scan's progress window and the message dispatch that keeps the host's windows alive
// during a long scan.
#include "scan_progress.h"

#include <stdio.h>
#include <string.h>

#include "plugin/host_window.h"
#include "plugin/plugin_state.h"
#include "resources/resource_ids.h"

enum {
    kShowAfterMs = 1000,   // a scan that ends sooner shows nothing
    kDispatchEveryMs = 100,
    kUpdateEveryMs = 250,
    kShownAtLeastMs = 500, // a window that has appeared stays this long, so as not to flicker
    kLingerPollMs = 10
};

static DWORD scanStarted;
static DWORD lastDispatch;
static DWORD lastUpdate;
static DWORD windowShown;    // when the progress window appeared
static HWND progressWindow;
static HWND disabledOwner;   // the host window this scan disabled, to enable again
static bool windowTried;     // shown once, or failed to show: not tried again
static bool cancelled;
static bool quitPending;
static WPARAM quitCode;

static INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)dialog;
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        // Cancel is the default button, so Enter on it and Esc both arrive as IDCANCEL.
        if (LOWORD(wParam) == IDCANCEL)
            cancelled = true;
        return TRUE;
    case WM_CLOSE:
        cancelled = true;  // the window stays until the walk has stopped
        return TRUE;
    default:
        return FALSE;
    }
}

static void ShowProgressWindow(void)
{
    windowTried = true;
    HWND owner = FindHostWindow();
    progressWindow = CreateDialogParamW((HINSTANCE)pluginState.moduleInstance,
                                        MAKEINTRESOURCEW(IDD_SCAN_PROGRESS), owner,
                                        ProgressDialogProc, 0);
    if (progressWindow == NULL)
        return;  // the scan goes on without it
    if (owner != NULL && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        disabledOwner = owner;
    }
    ShowWindow(progressWindow, SW_SHOW);
    windowShown = GetTickCount();
}

static void UpdateProgressWindow(const WCHAR *folder, unsigned long filesFound)
{
    char count[64];
    snprintf(count, sizeof count, filesFound == 1 ? "%lu file found" : "%lu files found",
             filesFound);
    SetDlgItemTextW(progressWindow, IDC_SCAN_FOLDER, folder);
    SetDlgItemTextA(progressWindow, IDC_SCAN_COUNT, count);
}

// Keyboard, mouse and non-client mouse messages, by number (the headers' limits vary with
// the Windows version they are set up for).
static bool IsUserInput(UINT message)
{
    return (message >= 0x00A0 && message <= 0x00AD) || (message >= 0x0100 && message <= 0x0109) ||
           (message >= 0x0200 && message <= 0x020E);
}

// The message numbers outside IsUserInput, in ranges that PeekMessage can filter by.
static const UINT kNonInputRanges[][2] = {
    {0x0000, 0x009F}, {0x00AE, 0x00FF}, {0x010A, 0x01FF}, {0x020F, 0xFFFFFFFF}};

// Messages dispatched in one go at most: a window that keeps posting to itself must not keep
// the walk from going on.
enum { kMessagesPerDispatch = 200 };

// Takes the next message to dispatch into *message. Before the window shows, keystrokes and
// clicks stay queued for the host, as for a host that is busy; while it shows, everything is
// taken, and input meant for the host's (disabled) windows is dropped by the caller, as under
// any modal dialog.
static bool TakeWaitingMessage(MSG *message)
{
    if (progressWindow != NULL)
        return PeekMessageW(message, NULL, 0, 0, PM_REMOVE) != FALSE;
    for (size_t i = 0; i < sizeof kNonInputRanges / sizeof kNonInputRanges[0]; i++) {
        if (PeekMessageW(message, NULL, kNonInputRanges[i][0], kNonInputRanges[i][1],
                         PM_REMOVE | PM_QS_PAINT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE))
            return true;
    }
    return false;
}

static void DispatchWaitingMessages(void)
{
    MSG message;
    for (int taken = 0; taken < kMessagesPerDispatch && TakeWaitingMessage(&message); taken++) {
        if (message.message == WM_QUIT) {
            // The host is quitting: stop, and leave the quit for its own loop.
            quitPending = true;
            quitCode = message.wParam;
            cancelled = true;
            return;
        }
        if (progressWindow != NULL) {
            if (IsDialogMessageW(progressWindow, &message))
                continue;
            if (IsUserInput(message.message))
                continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void BeginScanProgress(void)
{
    scanStarted = GetTickCount();
    lastDispatch = scanStarted;
    lastUpdate = scanStarted;
    progressWindow = NULL;
    disabledOwner = NULL;
    windowTried = false;
    cancelled = false;
    quitPending = false;
}

bool ScanProgressTick(const WCHAR *folder, unsigned long filesFound)
{
    DWORD now = GetTickCount();
    if (now - lastDispatch < kDispatchEveryMs)
        return !cancelled;
    lastDispatch = now;
    if (!windowTried && now - scanStarted >= kShowAfterMs) {
        ShowProgressWindow();
        if (progressWindow != NULL) {
            UpdateProgressWindow(folder, filesFound);
            lastUpdate = now;
        }
    } else if (progressWindow != NULL && now - lastUpdate >= kUpdateEveryMs) {
        UpdateProgressWindow(folder, filesFound);
        lastUpdate = now;
    }
    DispatchWaitingMessages();
    return !cancelled;
}

// Keeps a progress window that has appeared up, and the host's queue moving, until it has
// shown for kShownAtLeastMs: a scan that ends just after the window appears must not make it
// flicker. Cancel, closing the window and a quit end the wait; the scan's answer stays.
static void KeepWindowShownLongEnough(void)
{
    while (progressWindow != NULL && !cancelled &&
           GetTickCount() - windowShown < kShownAtLeastMs) {
        DispatchWaitingMessages();
        Sleep(kLingerPollMs);
    }
}

void EndScanProgress(void)
{
    KeepWindowShownLongEnough();
    // The owner first, so that Windows gives the activation back to it and not to another
    // program's window.
    if (disabledOwner != NULL)
        EnableWindow(disabledOwner, TRUE);
    if (progressWindow != NULL)
        DestroyWindow(progressWindow);
    disabledOwner = NULL;
    progressWindow = NULL;
    if (quitPending)
        PostQuitMessage((int)quitCode);
    quitPending = false;
}
