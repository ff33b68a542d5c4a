// The scan list: found paths in one block of a private heap, appended to and walked once.
// Discarding the list, however long it has grown, is one HeapDestroy.
#include "files/scan_list.h"

#include <windows.h>
#include <stdint.h>
#include <string.h>

enum { kScanListInitialSize = 260 };
// Block size from which the list grows by half rather than doubling. A growth that moves the
// block holds the old block and the new one at once: three times the text when doubling, two
// and a half when growing by half. Below this, that is little beside a 2 GB address space,
// and doubling copies the text half as often; above it, memory counts for more than time.
static const size_t kGrowByHalfFrom = (size_t)32 << 20;

// The list and its iterator. A nested call never touches them: the scan functions do nothing
// while a walk runs, and a shutdown then waits for the walk's end (see folder_scan.cpp).
struct ScanListState {
    HANDLE heap;      // holds block and nothing else
    char *block;      // the list; NULL exactly when heap is NULL
    size_t length;    // bytes of the entries, without the final empty entry
    size_t capacity;  // bytes of the block
    char *position;   // the next entry to hand out, or NULL
};
static ScanListState scanList;

// The block size that holds needed bytes, grown from capacity (not 0) by doubling, and by
// half from kGrowByHalfFrom on. 0 when no size_t can hold it.
static size_t GrownCapacity(size_t capacity, size_t needed)
{
    size_t grown = capacity;
    while (grown < needed) {
        size_t step = grown < kGrowByHalfFrom ? grown : grown / 2;
        if (step > SIZE_MAX - grown)
            return 0;
        grown += step;
    }
    return grown;
}

// Moves the block to size bytes. Returns false, leaving it where and as it was, on failure.
static bool ResizeScanList(size_t size)
{
    char *block = (char *)HeapReAlloc(scanList.heap, 0, scanList.block, size);
    if (block == NULL)
        return false;
    if (scanList.position != NULL)
        scanList.position = block + (scanList.position - scanList.block);
    scanList.block = block;
    scanList.capacity = size;
    return true;
}

// Makes the block hold at least needed bytes, creating the heap and the block first when
// there are none. Returns false, leaving heap, block and contents as they were, on failure.
// The block grows geometrically (GrownCapacity), so that appending costs amortised constant
// time. In a 32-bit process a free stretch of that size is often missing while the memory is
// there in pieces, so when the growth fails its step halves, down to what the entry needs,
// before giving up.
static bool ReserveScanList(size_t needed)
{
    if (scanList.block == NULL) {
        HANDLE heap = HeapCreate(0, 0, 0);
        if (heap == NULL)
            return false;
        size_t size = needed < kScanListInitialSize ? (size_t)kScanListInitialSize : needed;
        char *block = (char *)HeapAlloc(heap, HEAP_ZERO_MEMORY, size);
        if (block == NULL) {
            HeapDestroy(heap);
            return false;
        }
        scanList.heap = heap;
        scanList.block = block;
        scanList.capacity = size;
        scanList.length = 0;
        return true;
    }
    if (needed <= scanList.capacity)
        return true;
    size_t grown = GrownCapacity(scanList.capacity, needed);
    if (grown != 0 && ResizeScanList(grown))
        return true;
    size_t step = grown != 0 ? (grown - scanList.capacity) / 2 : scanList.capacity / 2;
    for (; scanList.capacity + step > needed; step /= 2) {
        if (step <= SIZE_MAX - scanList.capacity && ResizeScanList(scanList.capacity + step))
            return true;
    }
    return ResizeScanList(needed);
}

bool AppendScanEntry(const char *prefix, size_t prefixLength, const char *name, size_t nameLength)
{
    if (nameLength > SIZE_MAX - prefixLength)
        return false;
    size_t entryLength = prefixLength + nameLength;
    // The entry, its zero byte, and the empty entry that ends the list.
    if (entryLength > SIZE_MAX - 2 - scanList.length)
        return false;
    if (!ReserveScanList(scanList.length + entryLength + 2))
        return false;
    char *end = scanList.block + scanList.length;
    memcpy(end, prefix, prefixLength);
    memcpy(end + prefixLength, name, nameLength);
    end[entryLength] = '\0';
    end[entryLength + 1] = '\0';
    scanList.length += entryLength + 1;
    return true;
}

void StartScanIteration(void)
{
    bool empty = scanList.block == NULL || scanList.block[0] == '\0';
    scanList.position = empty ? NULL : scanList.block;
}

char *TakeNextScanEntry(void)
{
    char *entry = scanList.position;
    if (entry == NULL)
        return NULL;
    char *next = entry + strlen(entry) + 1;
    scanList.position = (next < scanList.block + scanList.length && next[0] != '\0') ? next : NULL;
    return entry;
}

void ReleaseScanList(void)
{
    // Destroying the heap frees the list with it; nothing may point into it afterwards, since
    // the host can shut the plug-in down and start it again within one session.
    if (scanList.heap != NULL)
        HeapDestroy(scanList.heap);
    scanList.heap = NULL;
    scanList.block = NULL;
    scanList.length = 0;
    scanList.capacity = 0;
    scanList.position = NULL;
}
