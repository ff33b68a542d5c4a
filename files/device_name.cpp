// IsDeviceName: the reserved device names and the device namespace, recognised by name alone
// so that nothing ever opens them.
#include "files/device_name.h"

#include <stddef.h>

static bool IsSeparator(Utf16Unit unit) { return unit == '\\' || unit == '/'; }

static Utf16Unit AsciiUpper(Utf16Unit unit)
{
    return (unit >= 'a' && unit <= 'z') ? (Utf16Unit)(unit - 'a' + 'A') : unit;
}

// True when the units [name, name + length) equal word (ASCII capitals) without regard to case.
static bool EqualsWord(const Utf16Unit *name, size_t length, const char *word)
{
    size_t i = 0;
    for (; i < length && word[i] != '\0'; i++) {
        if (AsciiUpper(name[i]) != (Utf16Unit)word[i])
            return false;
    }
    return i == length && word[i] == '\0';
}

static bool IsPortDigit(Utf16Unit unit)
{
    return (unit >= '1' && unit <= '9') || unit == 0x00B9 || unit == 0x00B2 || unit == 0x00B3;
}

size_t DeviceNameBaseLength(const Utf16Unit *name, size_t length)
{
    size_t base = 0;
    while (base < length && name[base] != '.' && name[base] != ':')
        base++;
    while (base > 0 && name[base - 1] == ' ')
        base--;
    static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (size_t i = 0; i < sizeof kDevices / sizeof kDevices[0]; i++) {
        if (EqualsWord(name, base, kDevices[i]))
            return base;
    }
    bool port = base == 4 && (EqualsWord(name, 3, "COM") || EqualsWord(name, 3, "LPT")) &&
                IsPortDigit(name[3]);
    return port ? base : 0;
}

// True when a name between separators in path (either slash) is "." or "..", or, when Win32
// reads the path (resolved: true), any name of dots and blanks alone, which it may trim to one
// of them ("... ", ".. ").
static bool HasDotName(const Utf16Unit *path, bool resolved)
{
    const Utf16Unit *name = path;
    for (;;) {
        size_t length = 0, dots = 0, blanks = 0;
        for (; name[length] != 0 && !IsSeparator(name[length]); length++) {
            dots += name[length] == '.';
            blanks += name[length] == ' ';
        }
        if (dots > 0 && dots + blanks == length && (resolved || (length <= 2 && blanks == 0)))
            return true;
        if (name[length] == 0)
            return false;
        name += length + 1;
    }
}

// True for "\??\", and for "\\.\" and "\\?\" (either slash) not followed by a drive or "UNC\",
// or with a "." or ".." name anywhere after them. Win32 resolves ".." in a "\\.\" path past
// the drive: "\\.\C:\..\GLOBALROOT\Device\Null" is "\\.\GLOBALROOT\Device\Null", the object
// manager again. In a "\\?\" path nothing is resolved: the dots go on as they stand.
static bool IsInDeviceNamespace(const Utf16Unit *path)
{
    if (IsSeparator(path[0]) && path[1] == '?' && path[2] == '?' && IsSeparator(path[3]))
        return true;
    if (!IsSeparator(path[0]) || !IsSeparator(path[1]) || (path[2] != '.' && path[2] != '?') ||
        !IsSeparator(path[3]))
        return false;
    const Utf16Unit *rest = path + 4;
    if (HasDotName(rest, path[2] == '.'))
        return true;
    Utf16Unit drive = AsciiUpper(rest[0]);
    if (drive >= 'A' && drive <= 'Z' && rest[1] == ':' && IsSeparator(rest[2]))
        return false;
    return !(EqualsWord(rest, 3, "UNC") && IsSeparator(rest[3]));
}

bool IsDeviceName(const Utf16Unit *path)
{
    if (path == NULL || path[0] == 0)
        return false;
    if (IsInDeviceNamespace(path))
        return true;
    size_t end = 0;
    while (path[end] != 0)
        end++;
    while (end > 0 && IsSeparator(path[end - 1]))
        end--;
    size_t start = end;
    while (start > 0 && !IsSeparator(path[start - 1]))
        start--;
    // A drive in front of the name: "C:NUL".
    if (start == 0 && end >= 2 && path[1] == ':')
        start = 2;
    return DeviceNameBaseLength(path + start, end - start) != 0;
}
