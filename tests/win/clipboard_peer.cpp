// A second program for the clipboard tests: another application that places text on the
// clipboard or holds the clipboard open, each with a window of its own (Wine lets a second
// opener through when the first opened with no window).
//
//   clipboard_peer settext <hex bytes>          places the bytes as CF_TEXT, then ends
//   clipboard_peer hold <ready event> <release event>
//                                               opens the clipboard, signals ready, waits for
//                                               release (60 s at most), closes it, ends
// Exit code 0 when everything worked, 1 otherwise.
#include <windows.h>
#include <string.h>
#include <string>

static HWND CreateOwnerWindow()
{
    return CreateWindowExA(0, "STATIC", "clipboard peer", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                           NULL, NULL);
}

// The clipboard may still be closing in the test process: try for a few seconds.
static bool OpenWithRetry(HWND owner)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        if (OpenClipboard(owner))
            return true;
        Sleep(30);
    }
    return false;
}

static int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

static int PlaceText(const char *hex)
{
    std::string text;
    size_t length = strlen(hex);
    for (size_t i = 0; i + 1 < length; i += 2) {
        int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return 1;
        text += (char)(high * 16 + low);
    }
    HWND owner = CreateOwnerWindow();
    if (owner == NULL || !OpenWithRetry(owner))
        return 1;
    int status = 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    char *data = block ? (char *)GlobalLock(block) : NULL;
    if (data != NULL) {
        memcpy(data, text.c_str(), text.size() + 1);
        GlobalUnlock(block);
        if (EmptyClipboard() && SetClipboardData(CF_TEXT, block) != NULL) {
            block = NULL;
            status = 0;
        }
    }
    if (block != NULL)
        GlobalFree(block);
    CloseClipboard();
    DestroyWindow(owner);
    return status;
}

static int Hold(const char *readyName, const char *releaseName)
{
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyName);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, releaseName);
    HWND owner = CreateOwnerWindow();
    int status = 1;
    if (ready != NULL && release != NULL && owner != NULL && OpenWithRetry(owner)) {
        SetEvent(ready);
        if (WaitForSingleObject(release, 60000) == WAIT_OBJECT_0)
            status = 0;
        CloseClipboard();
    }
    if (owner != NULL)
        DestroyWindow(owner);
    if (ready != NULL)
        CloseHandle(ready);
    if (release != NULL)
        CloseHandle(release);
    return status;
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "settext") == 0)
        return PlaceText(argv[2]);
    if (argc == 4 && strcmp(argv[1], "hold") == 0)
        return Hold(argv[2], argv[3]);
    return 1;
}
