// A file or folder itself, whatever name leads to it: its volume and its file index, read
// through an open handle.
#ifndef TARVEL_FILE_IDENTITY_H
#define TARVEL_FILE_IDENTITY_H

#include <windows.h>

struct FileIdentity {
    DWORD volume, indexHigh, indexLow;
};

// The identity of the file or folder at path (zero-terminated; a folder may end in a
// separator). It is opened for no access, sharing everything, so that no lock of another
// program's stands in the way and nothing is read. false when it cannot be opened or asked.
bool IdentityOfPath(const WCHAR *path, FileIdentity *identity);

bool SameIdentity(const FileIdentity *a, const FileIdentity *b);

#endif
