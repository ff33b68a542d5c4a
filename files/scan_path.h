// Paths of the folder scan: a folder path joined with a name, bounded by a fixed buffer.
#ifndef TARVEL_SCAN_PATH_H
#define TARVEL_SCAN_PATH_H

#include <stddef.h>

// Capacity of the scan's search-pattern and subfolder-path buffers, terminator included:
// the ANSI file functions reach no longer path.
enum { kScanPathCapacity = 260 };

// True when path ends with a backslash (so no separator goes between it and a name).
bool EndsWithBackslash(const char *path);

// Writes folder, then "\" unless folder already ends with one, then name, into out
// (capacity bytes, terminator included). Returns true when the whole path fits in
// capacity - 1 characters. Otherwise returns false and leaves out an empty text: a cut path
// would name another file or folder. capacity 0 or a NULL argument also gives false.
bool JoinScanPath(const char *folder, const char *name, char *out, size_t capacity);

#endif
