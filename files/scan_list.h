// The list of paths that the folder scan found, on a private heap, and the iterator over it.
//
// The list is one contiguous text: each entry is a full path followed by a zero byte, and an
// empty entry (one more zero byte) follows the last. No Windows file name contains a zero
// byte, so every path, ';' and all, comes back whole.
#ifndef TARVEL_SCAN_LIST_H
#define TARVEL_SCAN_LIST_H

#include <stddef.h>

// Appends prefix (prefixLength bytes: the folder's path with the separator that goes before a
// name; the walk decides it, since a byte 0x5C may end a double-byte character) and name
// (nameLength bytes), as one entry. Neither may hold a zero byte. The walk knows both lengths,
// so that they need not be measured again for every file.
// The first entry creates the private heap and the list's block; later ones grow the block
// with HeapReAlloc when the entry does not fit: doubling it, and by half once it is large (see
// kGrowByHalfFrom), so that appending costs amortised constant time and the block stays within
// about twice the text.
// When the grown block cannot be had, the growth halves again and again, down to what the
// entry needs.
// Returns false, with the list as it was, when the heap cannot be created or the block cannot
// be allocated or grown even by the entry. Does not move the iterator.
bool AppendScanEntry(const char *prefix, size_t prefixLength, const char *name, size_t nameLength);

// Puts the iterator on the list's first entry; with no list (or an empty one) it is on none.
void StartScanIteration(void);

// Returns the entry under the iterator and moves the iterator to the next entry, or to none
// after the last. The entry is zero-terminated and may be changed in place by the caller (it
// is handed out only once) as long as its length stays. Returns NULL when the iterator is on
// none: before any scan, after a scan that found nothing, after the last entry, and after
// ReleaseScanList.
char *TakeNextScanEntry(void);

// Destroys the heap and forgets the list and the iterator. The folder scan calls it before a
// scan and at shutdown.
void ReleaseScanList(void);

#endif
