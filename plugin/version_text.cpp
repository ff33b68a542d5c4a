// BuildVersionText reads the module's file version from its own version resource, in memory:
// no file name is involved, so the folder the module sits in cannot spoil it, whatever
// characters its name holds; TarvVersion answers "tarvel v" and that text.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/plugin_state.h"
#include "plugin/version_text.h"

// A VS_VERSIONINFO block starts with three WORDs (its length, its value's length, its type)
// and the key L"VS_VERSION_INFO" with its terminator, 38 bytes, padded to a 32-bit boundary;
// its value, the VS_FIXEDFILEINFO, follows there.
static const WCHAR kVersionInfoKey[] = L"VS_VERSION_INFO";
enum { kKeyOffset = 6, kFixedInfoOffset = 40 };

void BuildVersionText(HINSTANCE module, char *text, size_t capacity)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    if (found == NULL)
        return;
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == NULL)
        return;
    const BYTE *block = (const BYTE *)LockResource(loaded);
    if (block == NULL || size < kFixedInfoOffset + sizeof(VS_FIXEDFILEINFO))
        return;
    WORD valueLength = 0;
    memcpy(&valueLength, block + 2, sizeof valueLength);
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, block + kFixedInfoOffset, sizeof fixed);
    if (memcmp(block + kKeyOffset, kVersionInfoKey, sizeof kVersionInfoKey) != 0 ||
        valueLength < sizeof(VS_FIXEDFILEINFO) || fixed.dwSignature != VS_FFI_SIGNATURE)
        return;
    snprintf(text, capacity, "%u.%u.%u.%u", (unsigned)HIWORD(fixed.dwFileVersionMS),
             (unsigned)LOWORD(fixed.dwFileVersionMS), (unsigned)HIWORD(fixed.dwFileVersionLS),
             (unsigned)LOWORD(fixed.dwFileVersionLS));
}

void TarvVersion(HostHandle parameter, HostHandle result)
{
    (void)parameter;  // not read, not even locked: any parameter gives the same answer
    char text[256];
    memset(text, 0, sizeof text);
    snprintf(text, sizeof text, "tarvel v%s", pluginState.versionText);
    WriteTextResult(result, text);
}
