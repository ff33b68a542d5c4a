// The table of folders a walk has entered: open addressing over pages of its own, which
// Windows hands out zero-filled, doubled when three quarters are taken.
#include "files/folder_table.h"

#include <windows.h>
#include <stdint.h>
#include <string.h>

// Slots of a walk's first table: 40 KB, enough for some 700 folders before it first grows.
enum { kFirstFolderSlots = 1024 };

struct FolderTableState {
    EnteredFolder *slots;  // NULL between walks
    size_t slotCount;      // a power of two
    size_t used;
};
static FolderTableState folderTable;

// True when a and b name one folder. Read through a handle, the volume may not be the
// folder's own: a link, or a share's server, may have crossed onto another volume unseen (a
// Windows server does at a volume mounted in a shared folder, whose root has the file index
// of every other volume's root), so the folder's listing must look the same as well. Read by
// a search, the identities are the folders' own, compared as files are (SameIdentity).
static bool SameFolder(const FolderKey *a, const FolderKey *b)
{
    if (a->fingerprint == 0 || b->fingerprint == 0)
        return a->fingerprint == b->fingerprint && SameIdentity(&a->identity, &b->identity);
    return a->identity.volume == b->identity.volume &&
           a->identity.indexHigh == b->identity.indexHigh &&
           a->identity.indexLow == b->identity.indexLow && a->fingerprint == b->fingerprint;
}

// The first slot to look at for key, of slotCount (a power of two): from the volume and the
// file index alone, which every key that SameFolder matches shares.
static size_t FirstSlot(const FolderKey *key, size_t slotCount)
{
    uint32_t hash = key->identity.indexLow * 2654435761u;
    hash ^= key->identity.indexHigh * 40503u + key->identity.volume;
    return (hash ^ (hash >> 15)) & (slotCount - 1);
}

static EnteredFolder *NewSlots(size_t slotCount)
{
    if (slotCount > SIZE_MAX / sizeof(EnteredFolder))
        return NULL;
    return (EnteredFolder *)VirtualAlloc(NULL, slotCount * sizeof(EnteredFolder),
                                         MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

bool BeginFolderTable(void)
{
    EndFolderTable();
    folderTable.slots = NewSlots(kFirstFolderSlots);
    folderTable.slotCount = folderTable.slots != NULL ? (size_t)kFirstFolderSlots : 0;
    return folderTable.slots != NULL;
}

EnteredFolder *FindEnteredFolder(const FolderKey *key)
{
    if (folderTable.slots == NULL)
        return NULL;
    size_t mask = folderTable.slotCount - 1;
    for (size_t slot = FirstSlot(key, folderTable.slotCount);; slot = (slot + 1) & mask) {
        EnteredFolder *folder = &folderTable.slots[slot];
        if (!folder->used)
            return NULL;
        if (SameFolder(&folder->key, key))
            return folder;
    }
}

// Puts folder into the first free slot from its own in slots (slotCount of them).
static void PlaceFolder(EnteredFolder *slots, size_t slotCount, const EnteredFolder *folder)
{
    size_t slot = FirstSlot(&folder->key, slotCount);
    while (slots[slot].used)
        slot = (slot + 1) & (slotCount - 1);
    slots[slot] = *folder;
}

// Doubles the table; false, leaving it as it was, when no memory is had.
static bool GrowFolderTable(void)
{
    if (folderTable.slotCount > SIZE_MAX / 2)
        return false;
    size_t slotCount = folderTable.slotCount * 2;
    EnteredFolder *slots = NewSlots(slotCount);
    if (slots == NULL)
        return false;
    for (size_t i = 0; i < folderTable.slotCount; i++) {
        if (folderTable.slots[i].used)
            PlaceFolder(slots, slotCount, &folderTable.slots[i]);
    }
    VirtualFree(folderTable.slots, 0, MEM_RELEASE);
    folderTable.slots = slots;
    folderTable.slotCount = slotCount;
    return true;
}

bool AddEnteredFolder(const FolderKey *key, size_t folderLength)
{
    // Three quarters at most, so that every search meets a free slot soon.
    if (folderTable.slots == NULL ||
        ((folderTable.used + 1) * 4 > folderTable.slotCount * 3 && !GrowFolderTable()))
        return false;
    EnteredFolder folder;
    memset(&folder, 0, sizeof folder);
    folder.key = *key;
    folder.folderLength = (unsigned short)folderLength;
    folder.used = true;
    PlaceFolder(folderTable.slots, folderTable.slotCount, &folder);
    folderTable.used++;
    return true;
}

void EndFolderTable(void)
{
    if (folderTable.slots != NULL)
        VirtualFree(folderTable.slots, 0, MEM_RELEASE);
    memset(&folderTable, 0, sizeof folderTable);
}
