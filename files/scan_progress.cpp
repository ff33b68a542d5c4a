// The scan's progress window and the message dispatch that keeps the host's windows alive
// during a long scan.
#include "files/scan_progress.h"

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

// One scan's watch, from BeginScanProgress to EndScanProgress. A nested call never reaches
// it: the host may call the plug-in from inside the dispatch here, but no scan starts then
// (the scan functions do nothing while a walk runs), and nothing else reads or changes it.
struct ScanProgressState {
    bool scanning;  // from BeginScanProgress to EndScanProgress
    const WCHAR *folder;  // the walk's, as it changes
    const unsigned long *filesFound;
    DWORD scanStarted;
    DWORD lastDispatch;
    DWORD lastUpdate;
    DWORD windowShown;   // when the progress window appeared
    HWND progressWindow;
    HWND disabledOwner;  // the host window this scan disabled, to enable again
    bool windowTried;    // shown once, or failed to show: not tried again
    bool cancelled;
    bool quitPending;
    WPARAM quitCode;
};
static ScanProgressState scanProgress;

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
            scanProgress.cancelled = true;
        return TRUE;
    case WM_CLOSE:
        scanProgress.cancelled = true;  // the window stays until the walk has stopped
        return TRUE;
    default:
        return FALSE;
    }
}

// Moves the window (not shown yet) so that its centre stands over the centre of owner, the
// host's window, and keeps it whole on the monitor that holds most of owner. A minimised owner
// has no place of its own on the screen: the window goes to the middle of the monitor owner
// was on. With no owner, DS_CENTER has put it in the middle of the screen.
static void CentreOverOwner(HWND window, HWND owner)
{
    RECT placed, over;
    MONITORINFO monitor;
    memset(&monitor, 0, sizeof monitor);
    monitor.cbSize = sizeof monitor;
    if (owner == NULL || !GetWindowRect(window, &placed) ||
        !GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT *area = &monitor.rcWork;
    if (IsIconic(owner) || !GetWindowRect(owner, &over))
        over = *area;
    LONG width = placed.right - placed.left, height = placed.bottom - placed.top;
    LONG left = over.left + (over.right - over.left - width) / 2;
    LONG top = over.top + (over.bottom - over.top - height) / 2;
    left = left + width > area->right ? area->right - width : left;
    top = top + height > area->bottom ? area->bottom - height : top;
    left = left < area->left ? area->left : left;
    top = top < area->top ? area->top : top;
    SetWindowPos(window, NULL, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

static void ShowProgressWindow(void)
{
    scanProgress.windowTried = true;
    HWND owner = FindHostWindow();
    scanProgress.progressWindow =
        CreateDialogParamW((HINSTANCE)pluginState.moduleInstance,
                           MAKEINTRESOURCEW(IDD_SCAN_PROGRESS), owner, ProgressDialogProc, 0);
    if (scanProgress.progressWindow == NULL)
        return;  // the scan goes on without it
    if (owner != NULL && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        scanProgress.disabledOwner = owner;
    }
    CentreOverOwner(scanProgress.progressWindow, owner);
    ShowWindow(scanProgress.progressWindow, SW_SHOW);
    scanProgress.windowShown = GetTickCount();
}

static void UpdateProgressWindow(const WCHAR *folder, unsigned long filesFound)
{
    char count[64];
    snprintf(count, sizeof count, filesFound == 1 ? "%lu file found" : "%lu files found",
             filesFound);
    SetDlgItemTextW(scanProgress.progressWindow, IDC_SCAN_FOLDER, folder);
    SetDlgItemTextA(scanProgress.progressWindow, IDC_SCAN_COUNT, count);
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
    if (scanProgress.progressWindow != NULL)
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
            scanProgress.quitPending = true;
            scanProgress.quitCode = message.wParam;
            scanProgress.cancelled = true;
            return;
        }
        if (scanProgress.progressWindow != NULL) {
            if (IsDialogMessageW(scanProgress.progressWindow, &message))
                continue;
            if (IsUserInput(message.message))
                continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void BeginScanProgress(const WCHAR *folder, const unsigned long *filesFound)
{
    scanProgress.scanning = true;
    scanProgress.folder = folder;
    scanProgress.filesFound = filesFound;
    scanProgress.scanStarted = GetTickCount();
    scanProgress.lastDispatch = scanProgress.scanStarted;
    scanProgress.lastUpdate = scanProgress.scanStarted;
    scanProgress.progressWindow = NULL;
    scanProgress.disabledOwner = NULL;
    scanProgress.windowTried = false;
    scanProgress.cancelled = false;
    scanProgress.quitPending = false;
}

bool ScanProgressTick(void)
{
    if (!scanProgress.scanning)
        return true;
    if (scanProgress.cancelled)
        return false;  // the walk is on its way out: nothing more to wait for
    DWORD now = GetTickCount();
    if (now - scanProgress.lastDispatch < kDispatchEveryMs)
        return !scanProgress.cancelled;
    scanProgress.lastDispatch = now;
    if (!scanProgress.windowTried && now - scanProgress.scanStarted >= kShowAfterMs) {
        ShowProgressWindow();
        if (scanProgress.progressWindow != NULL) {
            UpdateProgressWindow(scanProgress.folder, *scanProgress.filesFound);
            scanProgress.lastUpdate = now;
        }
    } else if (scanProgress.progressWindow != NULL &&
               now - scanProgress.lastUpdate >= kUpdateEveryMs) {
        UpdateProgressWindow(scanProgress.folder, *scanProgress.filesFound);
        scanProgress.lastUpdate = now;
    }
    DispatchWaitingMessages();
    return !scanProgress.cancelled;
}

// Keeps a progress window that has appeared up, and the host's queue moving, until it has
// shown for kShownAtLeastMs: a scan that ends just after the window appears must not make it
// flicker. Cancel, closing the window and a quit end the wait; the scan's answer stays.
static void KeepWindowShownLongEnough(void)
{
    while (scanProgress.progressWindow != NULL && !scanProgress.cancelled &&
           GetTickCount() - scanProgress.windowShown < kShownAtLeastMs) {
        DispatchWaitingMessages();
        Sleep(kLingerPollMs);
    }
}

void EndScanProgress(void)
{
    KeepWindowShownLongEnough();
    // The owner first, so that Windows gives the activation back to it and not to another
    // program's window.
    if (scanProgress.disabledOwner != NULL)
        EnableWindow(scanProgress.disabledOwner, TRUE);
    if (scanProgress.progressWindow != NULL)
        DestroyWindow(scanProgress.progressWindow);
    scanProgress.disabledOwner = NULL;
    scanProgress.progressWindow = NULL;
    if (scanProgress.quitPending)
        PostQuitMessage((int)scanProgress.quitCode);
    scanProgress.quitPending = false;
    scanProgress.scanning = false;
}
