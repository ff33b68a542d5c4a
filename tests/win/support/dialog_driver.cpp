// DialogDriver and the helpers that read and operate Wine's open-file dialog and folder browser.
#include "tests/win/support/dialog_driver.h"

#include <commctrl.h>
#include <string.h>

#include "host/emulator.h"

namespace {

DialogDriver *activeDriver = NULL;

bool IsDialogClass(HWND window)
{
    char className[64] = {0};
    GetClassNameA(window, className, sizeof className - 1);
    return strcmp(className, "#32770") == 0;
}

BOOL CALLBACK CloseDialogWindow(HWND window, LPARAM)
{
    if (IsDialogClass(window) && IsWindowVisible(window))
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}

std::string TreeItemText(HWND tree, HTREEITEM item)
{
    char text[512] = {0};
    TVITEMA entry;
    memset(&entry, 0, sizeof entry);
    entry.mask = TVIF_TEXT;
    entry.hItem = item;
    entry.pszText = text;
    entry.cchTextMax = sizeof text - 1;
    SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&entry);
    return text;
}

HTREEITEM FindTreeItem(HWND tree, HTREEITEM first, const std::string &text, int depth)
{
    for (HTREEITEM item = first; item != NULL;
         item = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)item)) {
        if (TreeItemText(tree, item) == text)
            return item;
        if (depth > 0) {
            SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)item);
            HTREEITEM child = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)item);
            HTREEITEM found = FindTreeItem(tree, child, text, depth - 1);
            if (found != NULL)
                return found;
        }
    }
    return NULL;
}

}  // namespace

DialogDriver::DialogDriver(std::vector<DialogStep> steps, DWORD timeoutMs, UINT tickMs)
    : steps_(std::move(steps)), timeoutMs_(timeoutMs), tickMs_(tickMs), threadId_(GetCurrentThreadId())
{
    activeDriver = this;
    hook_ = SetWindowsHookExA(WH_CBT, CbtProc, NULL, threadId_);
    finished_ = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (finished_ != NULL)
        watchdog_ = CreateThread(NULL, 0, Watchdog, this, 0, NULL);
}

DialogDriver::~DialogDriver()
{
    if (hook_ != NULL)
        UnhookWindowsHookEx(hook_);
    if (timer_ != 0)
        KillTimer(NULL, timer_);
    if (finished_ != NULL)
        SetEvent(finished_);
    if (watchdog_ != NULL) {
        WaitForSingleObject(watchdog_, INFINITE);
        CloseHandle(watchdog_);
    }
    if (finished_ != NULL)
        CloseHandle(finished_);
    activeDriver = NULL;
}

LRESULT CALLBACK DialogDriver::CbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    DialogDriver *driver = activeDriver;
    if (code == HCBT_ACTIVATE && driver != NULL && driver->dialog_ == NULL &&
        fmhost::IsDialogOfThisThread((HWND)wParam)) {
        driver->dialog_ = (HWND)wParam;
        driver->seenAt_ = GetTickCount();
        driver->timer_ = SetTimer(NULL, 0, driver->tickMs_, Tick);
    }
    return CallNextHookEx(driver != NULL ? driver->hook_ : NULL, code, wParam, lParam);
}

void CALLBACK DialogDriver::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    DialogDriver *driver = activeDriver;
    if (driver == NULL || driver->dialog_ == NULL)
        return;
    if (driver->stepsRun_ == 0 && driver->caption_.empty()) {
        char caption[1024] = {0};
        GetWindowTextA(driver->dialog_, caption, sizeof caption - 1);
        driver->caption_ = caption;
        driver->owner_ = GetWindow(driver->dialog_, GW_OWNER);
    }
    if (GetTickCount() - driver->seenAt_ > driver->timeoutMs_) {
        driver->timedOut_ = true;
        driver->CloseEverything();
        return;
    }
    if (!IsWindow(driver->dialog_) || driver->stepsRun_ >= (int)driver->steps_.size())
        return;
    // Counted first: a step that closes the dialog may not come back before the call returns.
    int step = driver->stepsRun_++;
    driver->steps_[step](driver->dialog_);
}

DWORD WINAPI DialogDriver::Watchdog(void *parameter)
{
    DialogDriver *driver = (DialogDriver *)parameter;
    // A backstop for a modal loop that no longer runs the timer: well after the driver's own
    // timeout, close whatever dialogs the test thread still shows.
    for (;;) {
        if (WaitForSingleObject(driver->finished_, 1000) != WAIT_TIMEOUT)
            return 0;
        if (driver->seenAt_ != 0 && GetTickCount() - driver->seenAt_ > driver->timeoutMs_ + 5000) {
            driver->timedOut_ = true;
            driver->CloseEverything();
        }
    }
}

void DialogDriver::CloseEverything()
{
    // Nested boxes (an error box over the dialog) first get their own Cancel, then the dialog.
    EnumThreadWindows(threadId_, CloseDialogWindow, 0);
    if (dialog_ != NULL && IsWindow(dialog_))
        PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

bool PressButton(HWND dialog, int buttonId)
{
    HWND button = GetDlgItem(dialog, buttonId);
    if (button == NULL || !IsWindowEnabled(button))
        return false;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), (LPARAM)button);
    return true;
}

std::string ControlText(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    if (control == NULL)
        return "<missing>";
    char text[4096] = {0};
    GetWindowTextA(control, text, sizeof text - 1);
    return text;
}

void TypeFileName(HWND dialog, const std::string &name)
{
    SetWindowTextA(GetDlgItem(dialog, kFileNameBox), name.c_str());
}

std::vector<std::string> FileTypeNames(HWND dialog)
{
    std::vector<std::string> names;
    HWND list = GetDlgItem(dialog, kFileTypeList);
    if (list == NULL)
        return names;
    LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, (WPARAM)i, 0);
        std::string name(length > 0 ? (size_t)length + 1 : 1, '\0');
        SendMessageA(list, CB_GETLBTEXT, (WPARAM)i, (LPARAM)&name[0]);
        name.resize(strlen(name.c_str()));
        names.push_back(name);
    }
    return names;
}

int SelectedFileType(HWND dialog)
{
    return (int)SendDlgItemMessageA(dialog, kFileTypeList, CB_GETCURSEL, 0, 0);
}

LPITEMIDLIST ItemListOfPath(const std::string &path)
{
    WCHAR wide[MAX_PATH * 2] = {0};
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2 - 1) == 0)
        return NULL;
    IShellFolder *desktop = NULL;
    if (FAILED(SHGetDesktopFolder(&desktop)))
        return NULL;
    LPITEMIDLIST list = NULL;
    if (FAILED(desktop->ParseDisplayName(NULL, NULL, wide, NULL, &list, NULL)))
        list = NULL;
    desktop->Release();
    return list;
}

// The name a shell folder gives one of its items (item: a list of that one item), as the
// browser's tree shows it; empty when it has none.
static std::wstring ShownName(IShellFolder *folder, LPCITEMIDLIST item)
{
    STRRET name;
    memset(&name, 0, sizeof name);
    if (FAILED(folder->GetDisplayNameOf(item, SHGDN_NORMAL, &name)))
        return std::wstring();
    std::wstring text;
    if (name.uType == STRRET_WSTR && name.pOleStr != NULL) {
        text = name.pOleStr;
        CoTaskMemFree(name.pOleStr);
    } else {
        const char *ansi = name.uType == STRRET_CSTR ? name.cStr : (const char *)item + name.uOffset;
        WCHAR wide[MAX_PATH] = {0};
        MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, MAX_PATH - 1);
        text = wide;
    }
    return text;
}

// The child of parent whose text is name, expanding parent first; NULL when none is.
static HTREEITEM ChildNamed(HWND tree, HTREEITEM parent, const std::wstring &name)
{
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)parent);
    for (HTREEITEM item = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)parent);
         item != NULL; item = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)item)) {
        WCHAR text[MAX_PATH] = {0};
        TVITEMW entry;
        memset(&entry, 0, sizeof entry);
        entry.mask = TVIF_TEXT;
        entry.hItem = item;
        entry.pszText = text;
        entry.cchTextMax = MAX_PATH - 1;
        if (SendMessageW(tree, TVM_GETITEMW, 0, (LPARAM)&entry) && name == text)
            return item;
    }
    return NULL;
}

bool SelectFolderPath(HWND dialog, const std::wstring &path)
{
    // Down the tree by the names it shows, as a user clicks through it. Not by the browser's
    // own BFFM_SETSELECTION: Wine's browser compares each level's item with the path's item
    // list byte for byte, folder times included, and the times of a folder read or changed
    // since the tree listed it no longer match (the temporary folder, where every test
    // program makes its scratch folders, changes all the time).
    HWND tree = GetDlgItem(dialog, kBrowserTree);
    HTREEITEM item = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);  // the desktop
    LPITEMIDLIST list = NULL;
    IShellFolder *folder = NULL;
    if (tree == NULL || item == NULL || FAILED(SHParseDisplayName(path.c_str(), NULL, &list, 0, NULL)) ||
        list == NULL || FAILED(SHGetDesktopFolder(&folder))) {
        if (list != NULL)
            CoTaskMemFree(list);
        return false;
    }
    for (const BYTE *element = (const BYTE *)list; item != NULL && ((LPCITEMIDLIST)element)->mkid.cb != 0;) {
        USHORT size = ((LPCITEMIDLIST)element)->mkid.cb;
        std::vector<BYTE> single(element, element + size);
        single.resize(size + sizeof(USHORT), 0);  // the terminator of a one-item list
        LPCITEMIDLIST one = (LPCITEMIDLIST)single.data();
        item = ChildNamed(tree, item, ShownName(folder, one));
        IShellFolder *inner = NULL;
        element += size;
        if (((LPCITEMIDLIST)element)->mkid.cb != 0 &&
            FAILED(folder->BindToObject(one, NULL, IID_IShellFolder, (void **)&inner)))
            item = NULL;
        folder->Release();
        folder = inner;
    }
    if (folder != NULL)
        folder->Release();
    CoTaskMemFree(list);
    if (item == NULL)
        return false;
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)item);
    return (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) == item;
}

bool SelectChildFolder(HWND dialog, const std::wstring &shownName)
{
    HWND tree = GetDlgItem(dialog, kBrowserTree);
    HTREEITEM selected = tree == NULL ? NULL : (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    HTREEITEM item = selected == NULL ? NULL : ChildNamed(tree, selected, shownName);
    if (item == NULL)
        return false;
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)item);
    return (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) == item;
}

bool SelectFolderPath(HWND dialog, const std::string &path)
{
    WCHAR wide[MAX_PATH * 2] = {0};
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2 - 1) == 0)
        return false;
    return SelectFolderPath(dialog, std::wstring(wide));
}

bool SelectTreeItem(HWND dialog, const std::string &text)
{
    HWND tree = GetDlgItem(dialog, kBrowserTree);
    if (tree == NULL)
        return false;
    HTREEITEM root = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    HTREEITEM item = FindTreeItem(tree, root, text, 3);
    if (item == NULL)
        return false;
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)item);
    return true;
}
