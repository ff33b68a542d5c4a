// BuildVersionText reads the module's file version from its version resource;
// TarvVersion answers "tarvel v" and that text.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "handlers.h"
#include "host_text.h"
#include "plugin_state.h"
#include "version_text.h"

void BuildVersionText(HINSTANCE module, char *text, size_t capacity)
{
    char path[1024];
    memset(path, 0, sizeof path);
    DWORD pathLength = GetModuleFileNameA(module, path, sizeof path);
    if (pathLength == 0 || pathLength >= sizeof path)
        return;
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &unused);
    if (size == 0)
        return;
    // A heap of its own, so that one HeapDestroy frees whatever was allocated from it.
    HANDLE heap = HeapCreate(0, 0, 0);
    if (heap == NULL)
        return;
    void *block = HeapAlloc(heap, HEAP_ZERO_MEMORY, size);
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT fixedSize = 0;
    if (block != NULL && GetFileVersionInfoA(path, 0, size, block) &&
        VerQueryValueA(block, "\\", (void **)&fixed, &fixedSize) && fixed != NULL &&
        fixedSize >= sizeof(VS_FIXEDFILEINFO)) {
        snprintf(text, capacity, "%u.%u.%u.%u", (unsigned)HIWORD(fixed->dwFileVersionMS),
                 (unsigned)LOWORD(fixed->dwFileVersionMS), (unsigned)HIWORD(fixed->dwFileVersionLS),
                 (unsigned)LOWORD(fixed->dwFileVersionLS));
    }
    HeapDestroy(heap);
}

void TarvVersion(HostHandle parameter, HostHandle result)
{
    (void)parameter;  // not read, not even locked: any parameter gives the same answer
    char text[256];
    memset(text, 0, sizeof text);
    snprintf(text, sizeof text, "tarvel v%s", pluginState.versionText);
    WriteTextResult(result, text);
}
