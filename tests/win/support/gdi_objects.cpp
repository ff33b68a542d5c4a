// ProcessGdiObjects: this process's GDI handle table, read through its environment block.
#include <windows.h>
#include <winternl.h>
#include <stdint.h>

#include "tests/win/support/gdi_objects.h"

namespace {

// The GDI objects this process holds, counted in its GDI handle table. GetGuiResources is a
// stub in Wine that always answers 0; the table is real: Wine 8 keeps one per process and
// points the process environment block at it (GdiSharedHandleTable, offset 0x94 in a 32-bit
// block). Its entries have 64-bit fields even in a 32-bit process; type 0 marks a free one.
// -1 when there is no table.
struct GdiHandleEntry {
    uint64_t object;
    uint32_t owner;
    uint16_t unique;
    uint8_t type;
    uint8_t flags;
    uint64_t userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24, "Wine's GDI_HANDLE_ENTRY is 24 bytes");
const size_t kGdiHandleTableEntries = 0x10000;

}  // namespace

int ProcessGdiObjects()
{
    typedef NTSTATUS(WINAPI * QueryProcess)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    QueryProcess query = (QueryProcess)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                                               "NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic;
    if (query == NULL || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, NULL) != 0)
        return -1;
    const BYTE *peb = (const BYTE *)basic.PebBaseAddress;
    const GdiHandleEntry *table = *(const GdiHandleEntry *const *)(peb + 0x94);
    if (table == NULL)
        return -1;
    int count = 0;
    for (size_t i = 0; i < kGdiHandleTableEntries; i++)
        count += table[i].type != 0;
    return count;
}

