// The folders that one walk of the scan has entered, by what they are rather than by the way
// that led there, so that no folder is walked twice, whatever links lead to it.
#ifndef TARVEL_FOLDER_TABLE_H
#define TARVEL_FOLDER_TABLE_H

#include <stddef.h>

#include "files/file_identity.h"

// What tells a folder from every other.
struct FolderKey {
    // Its volume serial and file index. Read through a folder handle: the file index of its
    // listing's "." entry, and the serial of the walk's start, which a link or a share's
    // server may have left unseen. Read by a search: the folder's own (IdentityOfPath).
    FileIdentity identity;
    // Its listing's fingerprint (FolderListing), or 0 when it was read by a search.
    unsigned long long fingerprint;
};

// A folder entered, as the table keeps it.
struct EnteredFolder {
    FolderKey key;
    // The walk's folder length at which it was walked, the shortest so far.
    unsigned short folderLength;
    // A folder below it was not read, its path being too long: a shorter way walks it again.
    bool cutShort;
    bool used;
};

// Empties the table for a walk that starts now. Returns false when it gets no memory.
bool BeginFolderTable(void);

// The folder entered before that key names too (SameFolder), or NULL when none is. The
// record stays valid until the next AddEnteredFolder.
EnteredFolder *FindEnteredFolder(const FolderKey *key);

// Notes the folder of key, which FindEnteredFolder does not know, as entered at folderLength.
// Returns false, noting nothing, when the table cannot grow.
bool AddEnteredFolder(const FolderKey *key, size_t folderLength);

// Lets the table's memory go at a walk's end.
void EndFolderTable(void);

#endif
