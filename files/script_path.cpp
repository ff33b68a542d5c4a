// ScriptPathToWide: the one gate for the paths that Tarv-SetInitialFolder, Tarv-OpenFile, the
// icon copies and Tarv-SetFolder take from a script.
#include "files/script_path.h"

#include <string.h>

#include "encoding/wide_text.h"
#include "files/device_name.h"
#include "files/exact_path.h"
#include "plugin/host_text.h"

// True when the path (length units) and the full path that Windows makes of it both fit in
// most units. GetFullPathNameW answers with the length it wrote, or with the room it needs,
// terminator included, when that is more than it was given.
static bool FitsWhole(const WCHAR *path, size_t length, size_t most)
{
    if (length > most)
        return false;
    WCHAR full[MAX_PATH + 1];
    DWORD fullLength = GetFullPathNameW(path, MAX_PATH + 1, full, NULL);
    return fullLength != 0 && fullLength <= most;
}

// True when units (length of them) read back in the code page as the very bytes of text.
static bool ReadsBackAsItself(const char *text, unsigned codePage, const CodePageMaps *hostMaps,
                              const WCHAR *units, size_t length)
{
    char back[kTextUnits];
    size_t backLength = 0;
    return WideNameToWindowsCodes(codePage, hostMaps, units, length, back, sizeof back,
                                  &backLength) == kNameFits &&
           backLength == strlen(text) && memcmp(back, text, backLength) == 0;
}

// True when the path holds a character that a search or the shell reads as a wildcard; the
// '?' of a "\\?\" prefix is none.
static bool HasWildcard(const WCHAR *path)
{
    if (IsPathSeparator(path[0]) && IsPathSeparator(path[1]) && path[2] == L'?' &&
        IsPathSeparator(path[3]))
        path += 4;
    for (; *path != 0; path++) {
        if (*path == L'*' || *path == L'?')
            return true;
    }
    return false;
}

// Win32 reads '/' as '\' in every path but one that begins "\\?\", which it takes as it
// stands; the shell parses a path itself, and under Wine finds no file or folder at a '/'.
// So the shell gets the path as Win32 reads it.
static void UseBackslashes(WCHAR *path)
{
    if (path[0] == L'\\' && path[1] == L'\\' && path[2] == L'?' && path[3] == L'\\')
        return;
    for (; *path != 0; path++) {
        if (*path == L'/')
            *path = L'\\';
    }
}

bool ScriptPathToWide(const char *path, unsigned codePage, const CodePageMaps *hostMaps,
                      PathUse use, WCHAR *out, size_t capacity)
{
    if (!WindowsCodesToWide(path, codePage, out, capacity))
        return false;
    size_t length = wcslen(out);
    bool admitted = length > 0 && ReadsBackAsItself(path, codePage, hostMaps, out, length) &&
                    !HasWildcard(out) && !IsDeviceName(out);
    if (admitted && use == kPathForShell)
        admitted = FitsWhole(out, length, kShellPathUnits);
    else if (admitted && use == kPathForDialogFolder)
        admitted = FitsWhole(out, length, kDialogFolderUnits);
    if (!admitted)
        out[0] = 0;
    else if (use == kPathForShell)
        UseBackslashes(out);
    return admitted;
}
