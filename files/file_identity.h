// A file or folder itself, whatever name leads to it: its volume and its file index, read
// through an open handle, and where the volume has no serial, its final path too.
#ifndef TARVEL_FILE_IDENTITY_H
#define TARVEL_FILE_IDENTITY_H

#include <windows.h>

struct FileIdentity {
    DWORD volume, indexHigh, indexLow;
    // For a volume without a serial (0): a hash of the file's final path, links resolved, or
    // 0 when Windows gives none. Wine gives serial 0 to every file system it cannot read one
    // from (tmpfs, /dev/pts, ...), and their file indexes are inode numbers, which repeat
    // from one file system to the next. Always 0 on a volume with a serial.
    DWORD finalPathHashHigh, finalPathHashLow;
};

// The identity of the file or folder at path (zero-terminated; a folder may end in a
// separator). It is opened for no access, sharing everything, so that no lock of another
// program's stands in the way and nothing is read. false when it cannot be opened or asked,
// or the user cancelled a scan: during one, the progress watch looks at the clock before the
// open, the question and the close (ScanProgressTick), each of which can wait on a server.
bool IdentityOfPath(const WCHAR *path, FileIdentity *identity);

// The identity of the file or folder that file (a handle open for any access) is, as
// IdentityOfPath gives it; the clock is looked at before the question.
bool IdentityOfOpenFile(HANDLE file, FileIdentity *identity);

// True when a and b are proven to be one file: the same volume serial and file index, and,
// for a volume without a serial, the same final path as well. Without a serial and without a
// final path (GetFinalPathNameByHandleW came with Windows Vista) nothing is proven.
bool SameIdentity(const FileIdentity *a, const FileIdentity *b);

#endif
