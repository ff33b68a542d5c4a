// A folder's entries for the scan's walk, read through a handle to the folder, which also
// tells which folder it is; where Windows lacks that (Windows 2000 and XP), through a search.
#ifndef TARVEL_FOLDER_LISTING_H
#define TARVEL_FOLDER_LISTING_H

#include <windows.h>
#include <stddef.h>

// Bytes of a listing's buffer: some 150 entries of ordinary names. Wine reads a tree of folders
// of 100 files through a 4 KB buffer in some 1.1 times a search's thread time, through this one
// in some 0.95 times (scripts/bench-scan.sh), and a share answers each read in one round trip.
enum { kListingBufferBytes = 16384 };

// One folder's listing, from OpenFolderListing to CloseFolderListing. Plain data in the walk's
// state: one per level of the walk, whose entries wait while a subfolder is walked.
struct FolderListing {
    HANDLE handle;        // the folder, or the search; INVALID_HANDLE_VALUE when closed
    bool bySearch;        // read by FindFirstFileW and FindNextFileW (no handle listing)
    bool searchPending;   // bySearch: the search's first entry, in buffer, is still to come
    size_t next;          // the offset in buffer of the next record; kNoListedRecord: none
    // Known from the first buffer only (0 when the folder is read by a search): the file index
    // of its "." entry, the folder's own (0 when there was none), and a fingerprint of the
    // entries in it, names and file indexes (never 0). Two listings of one folder that has not
    // changed have the same fingerprint.
    ULONGLONG ownIndex;
    unsigned long long fingerprint;
    union {
        BYTE bytes[kListingBufferBytes];
        ULONGLONG alignment;
    } buffer;
};
static const size_t kNoListedRecord = (size_t)-1;

// Looks up, for the walk that starts now, how folders can be read: through a folder handle
// where Windows has GetFileInformationByHandleEx (Windows Vista and later), by a search
// otherwise. Call once at a walk's start.
void BeginFolderListings(void);

// Opens the folder (zero-terminated path ending in a separator, length units, with room for
// three more and a terminator; left as it was) and reads its first entries. Before each call
// that can wait on a disk or a server the progress watch looks at the clock
// (ScanProgressTick). Returns false, the listing closed, when the folder cannot be read or
// the user cancelled.
bool OpenFolderListing(WCHAR *folder, size_t length, FolderListing *listing);

// The listing's next entry into entry: its name, short name and attributes (nothing else of
// it is set), "." and ".." included. A look at the clock comes before each further read.
// Returns false at the end, when the folder cannot be read further or the user cancelled.
bool NextListedEntry(FolderListing *listing, WIN32_FIND_DATAW *entry);

// Closes the listing, after a look at the clock; nothing when it is closed already.
void CloseFolderListing(FolderListing *listing);

#endif
