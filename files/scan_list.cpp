// The scan list: found paths in one block of a private heap, each folder's path kept once
// before the names found in it, appended to and walked once. Discarding the list, however
// long it has grown, is one HeapDestroy.
#include "files/scan_list.h"

#include <windows.h>
#include <stdint.h>
#include <string.h>

#include "plugin/host_text.h"

enum { kScanListInitialSize = 260 };
// Block size from which the list grows by half rather than doubling. A growth that moves the
// block holds the old block and the new one at once: three times the list's contents when
// doubling, two and a half when growing by half. Below this, that is little beside a 2 GB
// address space, and doubling copies the list half as often; above it, memory counts for
// more than time.
static const size_t kGrowByHalfFrom = (size_t)32 << 20;

// The list and its iterator. A nested call never touches them: the scan functions do nothing
// while a walk runs, and a shutdown then waits for the walk's end (see folder_scan.cpp).
//
// The block holds records, each ended by a zero byte: a name record is the name of a file
// found; a folder record is an empty record and then the path (with its final separator) of
// the folder whose names follow. An empty record with an empty path after it ends the list.
// No name and no folder path is empty or holds a zero byte, so the records read back
// unambiguously; a path is kept once for a run of names, not in front of each of them.
// Offsets rather than pointers, since a growth may move the block.
struct ScanListState {
    HANDLE heap;          // holds block and nothing else
    char *block;          // the records; NULL exactly when heap is NULL
    size_t length;        // bytes of the records, without the two zero bytes that end the list
    size_t capacity;      // bytes of the block
    size_t folder;        // the path of the last folder record (0: none yet), and its length
    size_t folderLength;
    size_t position;      // the next record to read, or kNoPosition
    size_t readFolder;    // the path of the folder the iterator is reading (0: none yet)
};
static ScanListState scanList;
static const size_t kNoPosition = SIZE_MAX;

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
        scanList.folder = 0;
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
    if (prefixLength == 0 || nameLength == 0 || prefixLength >= kTextUnits ||
        nameLength > kTextUnits - 1 - prefixLength)
        return false;
    bool sameFolder = scanList.folder != 0 && scanList.folderLength == prefixLength &&
                      memcmp(scanList.block + scanList.folder, prefix, prefixLength) == 0;
    // A folder record when the folder changes, the name record, and the list's two end bytes.
    size_t records = (sameFolder ? 0 : 1 + prefixLength + 1) + nameLength + 1;
    if (records > SIZE_MAX - 2 - scanList.length || !ReserveScanList(scanList.length + records + 2))
        return false;
    char *end = scanList.block + scanList.length;
    if (!sameFolder) {
        *end++ = '\0';
        memcpy(end, prefix, prefixLength);
        scanList.folder = (size_t)(end - scanList.block);
        scanList.folderLength = prefixLength;
        end += prefixLength;
        *end++ = '\0';
    }
    memcpy(end, name, nameLength);
    end[nameLength] = '\0';
    end[nameLength + 1] = '\0';
    end[nameLength + 2] = '\0';
    scanList.length += records;
    return true;
}

void StartScanIteration(void)
{
    scanList.position = scanList.block != NULL ? 0 : kNoPosition;
    scanList.readFolder = 0;
}

bool TakeNextScanEntry(char *out, size_t capacity)
{
    if (capacity == 0 || scanList.block == NULL || scanList.position == kNoPosition)
        return false;
    const char *record = scanList.block + scanList.position;
    while (record[0] == '\0') {
        if (record[1] == '\0') {
            scanList.position = kNoPosition;
            return false;
        }
        scanList.readFolder = (size_t)(record + 1 - scanList.block);
        record += 1 + strlen(record + 1) + 1;
    }
    const char *folder = scanList.block + scanList.readFolder;
    size_t folderLength = strlen(folder), nameLength = strlen(record);
    scanList.position = (size_t)(record + nameLength + 1 - scanList.block);
    out[0] = '\0';
    if (folderLength + nameLength <= capacity - 1) {
        memcpy(out, folder, folderLength);
        memcpy(out + folderLength, record, nameLength + 1);
    }
    return true;
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
    scanList.folder = 0;
    scanList.position = kNoPosition;
    scanList.readFolder = 0;
}
