// Tarv-ChooseFolder: the shell's folder browser, with a callback that lets OK confirm only
// items that have a file-system path. Neither the title nor the chosen path goes through the
// code-page table: both are in the system's ANSI code page, and a name that code page cannot
// hold, or that Windows would not read back as itself, comes back by its proven short name,
// or masked so that the path names no folder.
#include <windows.h>
#include <shlobj.h>
#include <string.h>

#include "encoding/wide_text.h"
#include "files/exact_path.h"
#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/host_window.h"
#include "plugin/shell_apartment.h"

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

// The shell joins the names of the chosen item's folders into its path with '\', so a name
// that holds '\' or '/' (a Unix name under Wine: "x\y" beside a folder x holding y) is read
// back as several names, and the path leads to another folder. Checks the path (from
// SHGetPathFromIDListW, MAX_PATH units) level by level of chosen, whose path at each level
// must be its parent's path and one name more, and writes '?' over every separator inside a
// name, so that the path names no folder. Returns false when a level's path does not follow
// from its parent's (or the check cannot be made): the path is then not the item's own.
static bool MaskSeparatorsInsideNames(LPITEMIDLIST chosen, WCHAR *path)
{
    // The list is ours until it is freed: it is cut after each level in turn, to ask for that
    // level's path, and put back.
    BYTE *levels = (BYTE *)chosen;
    size_t size = 0;
    while (((const SHITEMID *)(levels + size))->cb != 0)
        size += ((const SHITEMID *)(levels + size))->cb;
    WCHAR shellPath[MAX_PATH], parentPath[MAX_PATH], levelPath[MAX_PATH];
    memcpy(shellPath, path, sizeof shellPath);
    memset(parentPath, 0, sizeof parentPath);
    // The empty list at the list's end is the desktop, the parent of the first level.
    bool parentKnown = SHGetPathFromIDListW((LPCITEMIDLIST)(levels + size), parentPath) != 0;
    bool proven = true;
    size_t pathLength = wcslen(shellPath);
    for (size_t end = 0, level = 0; proven && end < size; level++) {
        end += ((const SHITEMID *)(levels + end))->cb;
        USHORT next = 0;
        memcpy(&next, levels + end, sizeof next);
        memset(levels + end, 0, sizeof next);
        memset(levelPath, 0, sizeof levelPath);
        bool levelKnown = SHGetPathFromIDListW((LPCITEMIDLIST)levels, levelPath) != 0;
        memcpy(levels + end, &next, sizeof next);
        if (parentKnown && levelKnown) {
            size_t parentLength = wcslen(parentPath), levelLength = wcslen(levelPath);
            size_t nameStart = parentLength;
            if (nameStart > 0 && !IsPathSeparator(parentPath[nameStart - 1]))
                nameStart++;
            bool followsParent = nameStart > 0 && levelLength > nameStart &&
                                 levelLength <= pathLength &&
                                 memcmp(levelPath, parentPath, parentLength * sizeof(WCHAR)) == 0 &&
                                 IsPathSeparator(levelPath[nameStart - 1]) &&
                                 memcmp(levelPath, shellPath, levelLength * sizeof(WCHAR)) == 0;
            if (followsParent) {
                for (size_t i = nameStart; i < levelLength; i++)
                    if (IsPathSeparator(path[i]))
                        path[i] = L'?';
            } else if (level > 0) {
                proven = false;  // only the desktop's own items may have a path of their own
            }
        }
        memcpy(parentPath, levelPath, sizeof parentPath);
        parentKnown = levelKnown;
    }
    return proven;
}

// Parameter: the text above the folder tree ("Select folder" when empty). Shows the browser,
// owned by the host's main window when there is one, and writes the chosen folder's path
// (a drive's root keeps its trailing backslash; an item without a path gives the empty
// text). After a cancel nothing is written: the result handle stays as the host passed it.
// COM and OLE are set up for the browser and taken down after it (EnterShellApartment), so
// the host thread's counts stay where they were.
void TarvChooseFolder(HostHandle parameter, HostHandle result)
{
    char title[kTextUnits];
    WCHAR wideTitle[kTextUnits];
    WCHAR widePath[MAX_PATH];
    char path[kTextUnits];
    WCHAR displayName[MAX_PATH];
    BROWSEINFOW browser;

    if (ReadTextParameter(parameter, title, sizeof title) == 0)
        memcpy(title, kDefaultBrowserTitle, sizeof kDefaultBrowserTitle);
    WindowsCodesToWide(title, 0, wideTitle, kTextUnits);  // one unit per byte at most
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

    ShellApartment apartment = EnterShellApartment();
    LPITEMIDLIST chosen = SHBrowseForFolderW(&browser);
    bool confirmed = chosen != NULL;
    // A virtual item after all, a path that is not the item's own, or (beyond any folder the
    // browser can show) a path too long for the host's text: the empty text.
    if (confirmed && !(SHGetPathFromIDListW(chosen, widePath) &&
                       MaskSeparatorsInsideNames(chosen, widePath) &&
                       WidePathToExactCodes(widePath, kNamesAsFound, &kAnsiPathCoding, path,
                                            sizeof path)))
        memset(path, 0, sizeof path);

    if (chosen != NULL)
        CoTaskMemFree(chosen);
    LeaveShellApartment(apartment);

    if (confirmed)
        WriteTextResult(result, path);
}
