// The scan list: found paths in one block of a private heap, appended to and walked once.
// Discarding the list, however long it has grown, is one HeapDestroy.
//
// Built with TARVEL_SCAN_FIXED_GROWTH, the block grows by a fixed 260 bytes per entry (the
// old scheme, copied again and again); only the scan benchmark builds it that way, to compare.
#include <windows.h>
#include <stdint.h>
#include <string.h>

#include "plugin/handlers.h"
#include "scan_list.h"

enum { kScanListInitialSize = 260 };

static HANDLE scanHeap = NULL;      // holds ScanList and nothing else
static char *ScanList = NULL;       // the block; NULL exactly when scanHeap is NULL
static size_t scanListLength = 0;   // bytes of the entries, without the final empty entry
static size_t scanListCapacity = 0; // bytes of the block
static char *scanPosition = NULL;   // the next entry to hand out, or NULL

// The block size that holds needed bytes, grown from capacity by doubling. 0 when no size_t
// can hold it.
static size_t DoubledCapacity(size_t capacity, size_t needed)
{
#ifdef TARVEL_SCAN_FIXED_GROWTH
    size_t grown = capacity + kScanListInitialSize;
    return grown < needed ? needed : grown;
#else
    size_t grown = capacity;
    while (grown < needed) {
        if (grown > SIZE_MAX / 2)
            return 0;
        grown *= 2;
    }
    return grown;
#endif
}

// Moves the block to size bytes. Returns false, leaving it where and as it was, on failure.
static bool ResizeScanList(size_t size)
{
    char *block = (char *)HeapReAlloc(scanHeap, 0, ScanList, size);
    if (block == NULL)
        return false;
    if (scanPosition != NULL)
        scanPosition = block + (scanPosition - ScanList);
    ScanList = block;
    scanListCapacity = size;
    return true;
}

// Makes the block hold at least needed bytes, creating the heap and the block first when
// there are none. Returns false, leaving heap, block and contents as they were, on failure.
// The block doubles, so that appending costs amortised constant time. In a 32-bit process a
// free stretch of twice the size is often missing while the memory is there in pieces, so when
// doubling fails the growth step halves, down to what the entry needs, before giving up.
static bool ReserveScanList(size_t needed)
{
    if (ScanList == NULL) {
        HANDLE heap = HeapCreate(0, 0, 0);
        if (heap == NULL)
            return false;
        size_t size = needed < kScanListInitialSize ? (size_t)kScanListInitialSize : needed;
        char *block = (char *)HeapAlloc(heap, HEAP_ZERO_MEMORY, size);
        if (block == NULL) {
            HeapDestroy(heap);
            return false;
        }
        scanHeap = heap;
        ScanList = block;
        scanListCapacity = size;
        scanListLength = 0;
        return true;
    }
#ifndef TARVEL_SCAN_FIXED_GROWTH
    if (needed <= scanListCapacity)
        return true;
#endif
    size_t doubled = DoubledCapacity(scanListCapacity, needed);
    if (doubled != 0 && ResizeScanList(doubled))
        return true;
    size_t step = doubled != 0 ? (doubled - scanListCapacity) / 2 : scanListCapacity / 2;
    for (; scanListCapacity + step > needed; step /= 2) {
        if (step <= SIZE_MAX - scanListCapacity && ResizeScanList(scanListCapacity + step))
            return true;
    }
    return ResizeScanList(needed);
}

bool AppendScanEntry(const char *prefix, const char *name)
{
    size_t prefixLength = strlen(prefix);
    size_t nameLength = strlen(name);
    size_t entryLength = prefixLength + nameLength;
    // The entry, its zero byte, and the empty entry that ends the list.
    if (entryLength > SIZE_MAX - 2 - scanListLength)
        return false;
    if (!ReserveScanList(scanListLength + entryLength + 2))
        return false;
    char *end = ScanList + scanListLength;
    memcpy(end, prefix, prefixLength);
    memcpy(end + prefixLength, name, nameLength);
    end[entryLength] = '\0';
    end[entryLength + 1] = '\0';
    scanListLength += entryLength + 1;
    return true;
}

void StartScanIteration(void)
{
    scanPosition = (ScanList != NULL && ScanList[0] != '\0') ? ScanList : NULL;
}

char *TakeNextScanEntry(void)
{
    char *entry = scanPosition;
    if (entry == NULL)
        return NULL;
    char *next = entry + strlen(entry) + 1;
    scanPosition = (next < ScanList + scanListLength && next[0] != '\0') ? next : NULL;
    return entry;
}

void ReleaseScanList(void)
{
    // Destroying the heap frees the list with it; nothing may point into it afterwards, since
    // the host can shut the plug-in down and start it again within one session.
    if (scanHeap != NULL)
        HeapDestroy(scanHeap);
    scanHeap = NULL;
    ScanList = NULL;
    scanListLength = 0;
    scanListCapacity = 0;
    scanPosition = NULL;
}
