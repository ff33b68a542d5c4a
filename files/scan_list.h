// The list of paths that the folder scan found, on a private heap, and the iterator over it.
//
// The list is one contiguous block. Each folder's path is kept once, before the names of the
// files found in it (see ScanListState), so that the list takes about what the names take,
// not what the whole paths would. No Windows file name contains a zero byte, so every path,
// ';' and all, comes back whole.
#ifndef TARVEL_SCAN_LIST_H
#define TARVEL_SCAN_LIST_H

#include <stddef.h>

// Appends the path made of prefix (prefixLength bytes: the folder's path with the separator
// that goes before a name; the walk decides it, since a byte 0x5C may end a double-byte
// character) and name (nameLength bytes), as one entry. Neither may be empty or hold a zero
// byte, and together they must be shorter than kTextUnits bytes, the buffer a path is
// taken into. The walk knows both lengths, so that they need not be measured again for every
// file, and gives the names of one folder one after another: the folder's path goes into the
// list only when it differs from the last one.
// The first entry creates the private heap and the list's block; later ones grow the block
// with HeapReAlloc when the entry does not fit: doubling it, and by half once it is large (see
// kGrowByHalfFrom), so that appending costs amortised constant time and the block stays within
// about twice its contents. When the grown block cannot be had, the growth halves again and
// again, down to what the entry needs.
// Returns false, with the list as it was, when the entry is empty or too long, the heap cannot
// be created, or the block cannot be allocated or grown even by the entry. Does not move the
// iterator.
bool AppendScanEntry(const char *prefix, size_t prefixLength, const char *name, size_t nameLength);

// Puts the iterator on the list's first entry; with no list (or an empty one) it is on none.
void StartScanIteration(void);

// Copies the path under the iterator into out (capacity bytes, terminator included) and moves
// the iterator to the next entry, or to none after the last. A path that needs more than
// capacity - 1 bytes comes out as the empty text, never a part of it (with capacity
// kTextUnits, none does). Returns false, out untouched, when the iterator is on none:
// before any scan, after a scan that found nothing, after the last entry, and after
// ReleaseScanList.
bool TakeNextScanEntry(char *out, size_t capacity);

// Destroys the heap and forgets the list and the iterator. The folder scan calls it before a
// scan and at shutdown.
void ReleaseScanList(void);

#endif
