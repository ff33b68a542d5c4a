// fmhost's dialog watch (see dialog_watch.h): import hooks around the plug-in's dialog
// functions, which note a function that returned while no dialog appeared, and a CBT hook
// on the host's thread, which notes every dialog that appears and closes. The waiting notice
// comes from a thread timer, which fires inside the dialog's own modal loop.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "host/dialog_watch.h"
#include "host/emulator.h"

namespace fmhost {

namespace {

const DWORD kWaitingNoticeMs = 3000;
const UINT kTickMs = 250;

struct OpenDialog {
    HWND window;
    DWORD activatedAt;
    bool announced;
};

bool announceWaiting = false;
HHOOK cbtHook = NULL;
UINT_PTR timer = 0;
std::vector<OpenDialog> openDialogs;
unsigned appeared = 0;  // dialogs that have appeared since the watch started
Sightings sightings = {{}, {}, 0};

std::string Caption(HWND window)
{
    wchar_t text[512] = {0};
    GetWindowTextW(window, text, (int)(sizeof text / sizeof text[0]) - 1);
    char utf8[2048] = {0};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, (int)sizeof utf8 - 1, NULL, NULL);
    return utf8;
}

void CALLBACK WaitingTick(HWND, UINT, UINT_PTR, DWORD)
{
    DWORD now = GetTickCount();
    for (OpenDialog &dialog : openDialogs) {
        if (dialog.announced || now - dialog.activatedAt < kWaitingNoticeMs)
            continue;
        dialog.announced = true;
        fflush(stdout);
        fprintf(stderr, "fmhost: waiting for dialog '%s' (close it, or run with --auto-close)\n",
                Caption(dialog.window).c_str());
        fflush(stderr);
    }
}

void StopTimer()
{
    if (timer != 0)
        KillTimer(NULL, timer);
    timer = 0;
}

LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = (HWND)wParam;
    if (code == HCBT_ACTIVATE) {
        bool known = false;
        for (const OpenDialog &dialog : openDialogs)
            known = known || dialog.window == window;
        if (!known && IsDialogOfThisThread(window) && !IsScanProgressWindow(window)) {
            openDialogs.push_back(OpenDialog{window, GetTickCount(), false});
            appeared++;
            if (announceWaiting && timer == 0)
                timer = SetTimer(NULL, 0, kTickMs, WaitingTick);
        }
    } else if (code == HCBT_DESTROYWND) {
        for (size_t i = 0; i < openDialogs.size(); i++) {
            if (openDialogs[i].window == window) {
                sightings.closedDialogs.push_back(Caption(window));
                openDialogs.erase(openDialogs.begin() + (long)i);
                break;
            }
        }
        if (openDialogs.empty())
            StopTimer();
    }
    return CallNextHookEx(cbtHook, code, wParam, lParam);
}

void NoteIfUnshown(unsigned appearedBefore, const char *function)
{
    if (appeared == appearedBefore)
        sightings.unshownDialogs.push_back(function);
}

// The real functions behind the hooked imports, and the wrappers that stand in for them.
int(WINAPI *realMessageBoxA)(HWND, LPCSTR, LPCSTR, UINT);
int(WINAPI *realMessageBoxW)(HWND, LPCWSTR, LPCWSTR, UINT);
INT_PTR(WINAPI *realDialogBoxParamA)(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM);
INT_PTR(WINAPI *realDialogBoxParamW)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
BOOL(WINAPI *realGetOpenFileNameA)(LPOPENFILENAMEA);
BOOL(WINAPI *realGetOpenFileNameW)(LPOPENFILENAMEW);
LPITEMIDLIST(WINAPI *realSHBrowseForFolderA)(LPBROWSEINFOA);
LPITEMIDLIST(WINAPI *realSHBrowseForFolderW)(LPBROWSEINFOW);
BOOL(WINAPI *realMessageBeep)(UINT);

int WINAPI WatchedMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    unsigned before = appeared;
    int answer = realMessageBoxA(owner, text, caption, type);
    NoteIfUnshown(before, "MessageBoxA");
    return answer;
}

int WINAPI WatchedMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    unsigned before = appeared;
    int answer = realMessageBoxW(owner, text, caption, type);
    NoteIfUnshown(before, "MessageBoxW");
    return answer;
}

INT_PTR WINAPI WatchedDialogBoxParamA(HINSTANCE module, LPCSTR name, HWND owner, DLGPROC procedure,
                                      LPARAM parameter)
{
    unsigned before = appeared;
    INT_PTR answer = realDialogBoxParamA(module, name, owner, procedure, parameter);
    NoteIfUnshown(before, "DialogBoxParamA");
    return answer;
}

INT_PTR WINAPI WatchedDialogBoxParamW(HINSTANCE module, LPCWSTR name, HWND owner, DLGPROC procedure,
                                      LPARAM parameter)
{
    unsigned before = appeared;
    INT_PTR answer = realDialogBoxParamW(module, name, owner, procedure, parameter);
    NoteIfUnshown(before, "DialogBoxParamW");
    return answer;
}

BOOL WINAPI WatchedGetOpenFileNameA(LPOPENFILENAMEA dialog)
{
    unsigned before = appeared;
    BOOL answer = realGetOpenFileNameA(dialog);
    NoteIfUnshown(before, "GetOpenFileNameA");
    return answer;
}

BOOL WINAPI WatchedGetOpenFileNameW(LPOPENFILENAMEW dialog)
{
    unsigned before = appeared;
    BOOL answer = realGetOpenFileNameW(dialog);
    NoteIfUnshown(before, "GetOpenFileNameW");
    return answer;
}

LPITEMIDLIST WINAPI WatchedSHBrowseForFolderA(LPBROWSEINFOA browser)
{
    unsigned before = appeared;
    LPITEMIDLIST answer = realSHBrowseForFolderA(browser);
    NoteIfUnshown(before, "SHBrowseForFolderA");
    return answer;
}

LPITEMIDLIST WINAPI WatchedSHBrowseForFolderW(LPBROWSEINFOW browser)
{
    unsigned before = appeared;
    LPITEMIDLIST answer = realSHBrowseForFolderW(browser);
    NoteIfUnshown(before, "SHBrowseForFolderW");
    return answer;
}

BOOL WINAPI WatchedMessageBeep(UINT type)
{
    sightings.beeps++;
    return realMessageBeep(type);
}

// Points the plug-in's import at the wrapper and keeps the real function; not imported: no hook.
template <typename Function> void Watch(const char *dll, const char *name, Function wrapper, Function *real)
{
    *real = HookImportAs(dll, name, wrapper);
}

}  // namespace

void StartDialogWatch(bool announce)
{
    announceWaiting = announce;
    Watch("user32.dll", "MessageBeep", WatchedMessageBeep, &realMessageBeep);
    if (cbtHook == NULL)
        cbtHook = SetWindowsHookExW(WH_CBT, CbtProc, NULL, GetCurrentThreadId());
    if (cbtHook == NULL) {
        // Without the hook no dialog would count as shown: report none rather than all.
        fprintf(stderr, "fmhost: cannot watch the plug-in's dialogs (error %lu): they are not reported\n",
                (unsigned long)GetLastError());
        return;
    }
    Watch("user32.dll", "MessageBoxA", WatchedMessageBoxA, &realMessageBoxA);
    Watch("user32.dll", "MessageBoxW", WatchedMessageBoxW, &realMessageBoxW);
    Watch("user32.dll", "DialogBoxParamA", WatchedDialogBoxParamA, &realDialogBoxParamA);
    Watch("user32.dll", "DialogBoxParamW", WatchedDialogBoxParamW, &realDialogBoxParamW);
    Watch("comdlg32.dll", "GetOpenFileNameA", WatchedGetOpenFileNameA, &realGetOpenFileNameA);
    Watch("comdlg32.dll", "GetOpenFileNameW", WatchedGetOpenFileNameW, &realGetOpenFileNameW);
    Watch("shell32.dll", "SHBrowseForFolderA", WatchedSHBrowseForFolderA, &realSHBrowseForFolderA);
    Watch("shell32.dll", "SHBrowseForFolderW", WatchedSHBrowseForFolderW, &realSHBrowseForFolderW);
}

const Sightings &SightingsSinceReset() { return sightings; }

void ResetSightings() { sightings = Sightings{{}, {}, 0}; }

}  // namespace fmhost
