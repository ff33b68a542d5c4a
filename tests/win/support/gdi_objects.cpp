// ProcessGdiObjects: this process's GDI handle table, read through its environment block.
#include <windows.h>
#include <winternl.h>
#include <stdint.h>

#include "tests/win/support/gdi_objects.h"

namespace {

// The GDI objects this process holds, counted in its GDI handle table. GetGuiResources is a
// stub in Wine that always answers 0; the table is real: Wine 8 keeps one per process and
// points the process environment block at it (GdiSharedHandleTable, offset 0x94 in a 32-bit
// block). Under WoW64 (Wine 10 in a 64-bit prefix) only the 64-bit block points at it (offset
// 0xF8), and the 32-bit thread block says where the 64-bit one is (WowTebOffset, 0xFDC), whose
// block pointer is at 0x60. Its entries have 64-bit fields even in a 32-bit process; type 0
// marks a free one. -1 when there is no table.
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

// The table of a WoW64 process, from its 64-bit environment block; NULL when it has none or
// the table lies where 32-bit code cannot reach.
const GdiHandleEntry *Wow64GdiHandleTable()
{
    struct {
        NTSTATUS exitStatus;
        const BYTE *teb;
        void *clientId[2];
        ULONG_PTR affinity;
        LONG priority, basePriority;
    } thread;
    typedef NTSTATUS(WINAPI * QueryThread)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    QueryThread query = (QueryThread)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread");
    if (query == NULL || query(GetCurrentThread(), 0 /* ThreadBasicInformation */, &thread, sizeof thread, NULL) != 0)
        return NULL;
    const BYTE *teb = thread.teb;
    const int32_t wowTebOffset = *(const int32_t *)(teb + 0xFDC);
    if (wowTebOffset == 0)
        return NULL;
    const uint64_t peb64 = *(const uint64_t *)(teb + wowTebOffset + 0x60);
    const uint64_t table = peb64 != 0 && peb64 < 0xFFFFFFFFull ? *(const uint64_t *)(uintptr_t)(peb64 + 0xF8) : 0;
    return table < 0xFFFFFFFFull ? (const GdiHandleEntry *)(uintptr_t)table : NULL;
}

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
        table = Wow64GdiHandleTable();
    if (table == NULL)
        return -1;
    int count = 0;
    for (size_t i = 0; i < kGdiHandleTableEntries; i++)
        count += table[i].type != 0;
    return count;
}

