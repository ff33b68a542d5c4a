// NameReadsBackAsItself, its shortcut for plain names, and MaskRewrittenCharacters: the
// characters of a name that Windows' path parsing would rewrite, split on or expand.
#include "files/exact_name.h"

#include "files/device_name.h"

// Characters that a Windows path cannot carry inside a name: separators, the drive and
// stream mark, wildcards, and the rest of the reserved set.
static bool IsReservedCharacter(Utf16Unit unit)
{
    if (unit < 0x20)
        return true;
    switch (unit) {
    case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return true;
    default:
        return false;
    }
}

static bool IsTrimmedAtEnd(Utf16Unit unit) { return unit == '.' || unit == ' '; }

bool NameReadsBackAsItself(const Utf16Unit *name, size_t length)
{
    if (name == NULL || length == 0 || IsTrimmedAtEnd(name[length - 1]))
        return false;
    for (size_t i = 0; i < length; i++) {
        if (IsReservedCharacter(name[i]))
            return false;
    }
    return DeviceNameBaseLength(name, length) == 0;
}

bool PlainNameToCodes(const Utf16Unit *name, char *out, size_t capacity, size_t *length)
{
    if (capacity == 0)
        return false;
    size_t i = 0;
    for (; name[i] != 0; i++) {
        Utf16Unit unit = name[i];
        if (unit >= 0x80 || IsReservedCharacter(unit) || i == capacity - 1)
            return false;
        out[i] = (char)unit;
    }
    if (i == 0 || IsTrimmedAtEnd(name[i - 1]) || DeviceNameBaseLength(name, i) != 0)
        return false;
    out[i] = '\0';
    *length = i;
    return true;
}

void MaskRewrittenCharacters(Utf16Unit *name, size_t length)
{
    if (name == NULL || length == 0)
        return;
    // Decided on the name as found, before any character is replaced.
    size_t deviceBase = DeviceNameBaseLength(name, length);
    for (size_t i = 0; i < length; i++) {
        if (IsReservedCharacter(name[i]))
            name[i] = kUnfitCharacter;
    }
    for (size_t end = length; end > 0 && IsTrimmedAtEnd(name[end - 1]); end--)
        name[end - 1] = kUnfitCharacter;
    if (deviceBase > 0)
        name[deviceBase - 1] = kUnfitCharacter;
}
