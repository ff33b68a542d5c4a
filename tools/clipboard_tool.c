/* clipboard_tool: the demonstration's stand-in for another program that uses the clipboard.
 * "clipboard_tool set TEXT" copies a text; "clipboard_tool show" tells what the clipboard
 * holds (a text, a picture and its size, something else, or nothing). Exit status 1 when the
 * clipboard could not be used. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    int opened = 0;
    for (int attempt = 0; owner != NULL && !opened && attempt < 100; attempt++)
        if (!(opened = OpenClipboard(owner)))
            Sleep(20);
    if (!opened)
        return 1;
    int status = 0;
    if (argc == 3 && strcmp(argv[1], "set") == 0) {
        size_t size = strlen(argv[2]) + 1;
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
        char *data = block != NULL ? (char *)GlobalLock(block) : NULL;
        if (data != NULL) {
            memcpy(data, argv[2], size);
            GlobalUnlock(block);
        }
        if (data == NULL || !EmptyClipboard() || SetClipboardData(CF_TEXT, block) == NULL) {
            if (block != NULL)
                GlobalFree(block);
            status = 1;
        }
    } else if (argc == 2 && strcmp(argv[1], "show") == 0) {
        HANDLE text = GetClipboardData(CF_TEXT);
        HBITMAP picture = (HBITMAP)GetClipboardData(CF_BITMAP);
        const char *characters = text != NULL ? (const char *)GlobalLock(text) : NULL;
        BITMAP size;
        if (characters != NULL) {
            printf("the text \"%.*s\"\n", (int)strnlen(characters, GlobalSize(text)), characters);
            GlobalUnlock(text);
        } else if (picture != NULL && GetObjectA(picture, sizeof size, &size) != 0) {
            printf("a picture of %ld by %ld pixels\n", (long)size.bmWidth, (long)size.bmHeight);
        } else {
            printf("%s\n", CountClipboardFormats() == 0 ? "nothing" : "something else");
        }
    } else {
        status = 2;
    }
    CloseClipboard();
    DestroyWindow(owner);
    return status;
}
