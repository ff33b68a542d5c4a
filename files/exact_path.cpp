// WidePathToExactCodes: a path chosen in a dialog, in the plug-in's codes, with the short name
// of every folder or file whose own name the code page cannot hold.
#include "exact_path.h"

#include <string.h>

#include "encoding/wide_text.h"
#include "plugin/host_text.h"

static bool IsPathSeparator(WCHAR unit) { return unit == L'\\' || unit == L'/'; }

// The path up to a name and the short path Windows gives for it. No call that takes them
// dispatches messages, so no other call of the plug-in can come between.
static WCHAR longPrefix[kTextCapacity];
static WCHAR shortPrefix[kTextCapacity];

// Puts the short name of the name that ends at path[end] into shortName (capacity units).
// Returns false when Windows gives none, or gives the long name itself (a volume that keeps
// no short names).
static bool ShortNameOf(const WCHAR *path, size_t start, size_t end, WCHAR *shortName,
                        size_t capacity)
{
    if (end > kTextCapacity - 1)
        return false;
    memcpy(longPrefix, path, end * sizeof(WCHAR));
    longPrefix[end] = 0;
    memset(shortPrefix, 0, sizeof shortPrefix);
    DWORD length = GetShortPathNameW(longPrefix, shortPrefix, kTextCapacity);
    if (length == 0 || length >= kTextCapacity)
        return false;
    while (length > 0 && IsPathSeparator(shortPrefix[length - 1]))
        length--;
    size_t nameStart = length;
    while (nameStart > 0 && !IsPathSeparator(shortPrefix[nameStart - 1]))
        nameStart--;
    size_t nameLength = length - nameStart;
    if (nameLength == 0 || nameLength > capacity - 1)
        return false;
    if (nameLength == end - start &&
        memcmp(shortPrefix + nameStart, path + start, nameLength * sizeof(WCHAR)) == 0)
        return false;
    memcpy(shortName, shortPrefix + nameStart, nameLength * sizeof(WCHAR));
    shortName[nameLength] = 0;
    return true;
}

bool WidePathToExactCodes(const WCHAR *path, unsigned codePage, const CodePageMaps *hostMaps,
                          char *out, size_t capacity)
{
    if (out == NULL || capacity == 0)
        return false;
    memset(out, 0, capacity);
    size_t used = 0;
    for (size_t i = 0; path[i] != 0;) {
        if (IsPathSeparator(path[i])) {
            if (used == capacity - 1)
                goto tooLong;
            out[used++] = (char)path[i++];
            continue;
        }
        size_t start = i;
        while (path[i] != 0 && !IsPathSeparator(path[i]))
            i++;
        size_t written = 0;
        NameFit fit = WideNameToWindowsCodes(codePage, hostMaps, path + start, i - start,
                                             out + used, capacity - used, &written);
        if (fit == kNameTooLong)
            goto tooLong;
        if (fit == kNameDoesNotFit) {
            WCHAR shortName[MAX_PATH];
            char shortCodes[MAX_PATH];
            size_t shortWritten = 0;
            if (ShortNameOf(path, start, i, shortName, MAX_PATH) &&
                WideNameToWindowsCodes(codePage, hostMaps, shortName, wcslen(shortName),
                                       shortCodes, sizeof shortCodes, &shortWritten) == kNameFits) {
                if (shortWritten > capacity - 1 - used)
                    goto tooLong;
                memcpy(out + used, shortCodes, shortWritten + 1);
                written = shortWritten;
            }
        }
        used += written;
    }
    out[used] = '\0';
    return true;

tooLong:
    memset(out, 0, capacity);
    return false;
}
