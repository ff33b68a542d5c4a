// Tarv-ChooseFolder: the shell's folder browser, with a callback that lets OK confirm only
// items that have a file-system path. Neither the title nor the chosen path goes through the
// code-page table: both are in the system's ANSI code page, and a name that code page cannot
// hold, or that Windows would not read back as itself, comes back by its proven short name,
// or masked so that the path names no folder.
#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <shlobj.h>
#include <string.h>

#include "encoding/wide_text.h"
#include "files/exact_path.h"
#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/host_window.h"

static const char kDefaultBrowserTitle[] = "Select folder";

// The browser's callback (lpfn). On BFFM_SELCHANGED (messageParameter: the new selection's
// item identifier list) enables OK exactly when the selection has a file-system path;
// every other message, BFFM_INITIALIZED included, is ignored. Always returns 0.
static int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM messageParameter,
                                   LPARAM callerData)
{
    (void)callerData;
    if (message != BFFM_SELCHANGED)
        return 0;
    WCHAR browseSelection[MAX_PATH];  // the selection's file-system path; empty for a virtual item
    memset(browseSelection, 0, sizeof browseSelection);
    if (!SHGetPathFromIDListW((LPCITEMIDLIST)messageParameter, browseSelection))
        memset(browseSelection, 0, sizeof browseSelection);  // no path, whatever it left there
    SendMessageA(browser, BFFM_ENABLEOK, 0, browseSelection[0] != 0 ? 1 : 0);
    return 0;
}

// Parameter: the text above the folder tree ("Select folder" when empty). Shows the browser,
// owned by the host's main window when there is one, and writes the chosen folder's path
// (a drive's root keeps its trailing backslash; an item without a path gives the empty
// text). After a cancel nothing is written: the result handle stays as the host passed it.
// OLE and COM are initialised for the browser and uninitialised after it, each exactly when
// its initialisation succeeded, so the host thread's counts stay where they were.
void TarvChooseFolder(HostHandle parameter, HostHandle result)
{
    char title[kTextCapacity];
    WCHAR wideTitle[kTextCapacity];
    WCHAR widePath[MAX_PATH];
    char path[kTextCapacity];
    WCHAR displayName[MAX_PATH];
    BROWSEINFOW browser;

    if (ReadTextParameter(parameter, title, sizeof title) == 0)
        memcpy(title, kDefaultBrowserTitle, sizeof kDefaultBrowserTitle);
    WindowsCodesToWide(title, 0, wideTitle, kTextCapacity);  // one unit per byte at most
    memset(widePath, 0, sizeof widePath);
    memset(path, 0, sizeof path);
    memset(displayName, 0, sizeof displayName);
    memset(&browser, 0, sizeof browser);
    browser.hwndOwner = FindHostWindow();
    browser.pidlRoot = NULL;
    browser.pszDisplayName = displayName;
    browser.lpszTitle = wideTitle;
    browser.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    browser.lpfn = BrowseCallback;
    browser.lParam = 0;

    HRESULT oleInitialized = OleInitialize(NULL);
    HRESULT comInitialized = CoInitialize(NULL);
    LPITEMIDLIST chosen = SHBrowseForFolderW(&browser);
    bool confirmed = chosen != NULL;
    // A virtual item after all, or (beyond any folder the browser can show) a path too long
    // for the host's text: the empty text.
    if (confirmed && !(SHGetPathFromIDListW(chosen, widePath) &&
                       WidePathToExactCodes(widePath, kNamesAsFound, 0, NULL, path,
                                            sizeof path)))
        memset(path, 0, sizeof path);

    if (chosen != NULL)
        CoTaskMemFree(chosen);
    if (SUCCEEDED(comInitialized))
        CoUninitialize();
    if (SUCCEEDED(oleInitialized))
        OleUninitialize();

    if (confirmed)
        WriteTextResult(result, path);
}
