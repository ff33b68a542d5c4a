// ScriptPathToWide: the one gate for the paths that Tarv-SetInitialFolder, Tarv-OpenFile, the
// icon copies and Tarv-SetFolder take from a script.
#include "files/script_path.h"

#include <string.h>

#include "encoding/wide_text.h"
#include "files/device_name.h"
#include "files/exact_path.h"
#include "plugin/host_text.h"

// Capacity of a resolved path, terminator included: no use takes a longer one.
enum { kResolvedCapacity = kShellPathUnits + 1 };

// The most units of a resolved path that the use takes.
static size_t MostUnitsFor(PathUse use)
{
    return use == kPathForDialogFolder ? kDialogFolderUnits : kShellPathUnits;
}

// True when units (length of them) read back in coding as the very bytes of text.
static bool ReadsBackAsItself(const char *text, const PathCoding *coding, const WCHAR *units,
                              size_t length)
{
    char back[kTextUnits];
    size_t backLength = 0;
    return WideNameToWindowsCodes(coding, units, length, back, sizeof back, &backLength) ==
               kNameFits &&
           backLength == strlen(text) && memcmp(back, text, backLength) == 0;
}

// True for nothing but blanks, or nothing at all: no file, though Windows drops the blanks
// and reads what is left (the current folder, for the shell an icon of its own).
static bool IsBlank(const WCHAR *path)
{
    while (*path == L' ')
        path++;
    return *path == 0;
}

// True for a path that begins "\\?\", backslashes only: Win32 takes the rest as it stands.
static bool IsVerbatimPath(const WCHAR *path)
{
    return path[0] == L'\\' && path[1] == L'\\' && path[2] == L'?' && path[3] == L'\\';
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

// True when a name of the "\\?\" path ends in '.' or a blank, which Win32 keeps there and the
// shell drops.
static bool HasNameEndingInDotOrBlank(const WCHAR *path)
{
    for (path += 4; *path != 0; path++) {
        if ((*path == L'.' || *path == L' ') && (path[1] == 0 || IsPathSeparator(path[1])))
            return true;
    }
    return false;
}

// Resolves path as Win32 does into resolved (kResolvedCapacity units) and returns its length;
// 0 when it cannot be resolved, needs more than most units, or does not resolve to itself
// again. GetFullPathNameW answers with the length it wrote, or with the room it needs,
// terminator included, when it was given less.
static size_t ResolvePath(const WCHAR *path, size_t most, WCHAR *resolved)
{
    size_t length = 0;
    if (IsVerbatimPath(path)) {
        length = wcslen(path);
        if (length > most)
            return 0;
        memcpy(resolved, path, (length + 1) * sizeof(WCHAR));
    } else {
        length = GetFullPathNameW(path, (DWORD)(most + 1), resolved, NULL);
        if (length == 0 || length > most)
            return 0;
        WCHAR again[kResolvedCapacity];
        if (GetFullPathNameW(resolved, kResolvedCapacity, again, NULL) != length ||
            memcmp(again, resolved, length * sizeof(WCHAR)) != 0)
            return 0;
    }
    return IsVerbatimPath(resolved) && HasNameEndingInDotOrBlank(resolved) ? 0 : length;
}

bool ScriptPathToWide(const char *path, const PathCoding *coding, PathUse use, WCHAR *out,
                      size_t capacity)
{
    WCHAR resolved[kResolvedCapacity];
    size_t length = 0;
    bool admitted = WindowsCodesToWide(path, coding->codePage, out, capacity) && !IsBlank(out) &&
                    ReadsBackAsItself(path, coding, out, wcslen(out)) &&
                    !HasWildcard(out) && !IsDeviceName(out) &&
                    (length = ResolvePath(out, MostUnitsFor(use), resolved)) != 0 &&
                    length < capacity && !HasWildcard(resolved) && !IsDeviceName(resolved);
    if (admitted)
        memcpy(out, resolved, (length + 1) * sizeof(WCHAR));
    else if (capacity > 0)
        out[0] = 0;
    return admitted;
}
