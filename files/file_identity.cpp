// IdentityOfPath: a file's volume and file index, for the walk's linked folders and the proof
// of short names.
#include "files/file_identity.h"

#include <string.h>

bool IdentityOfPath(const WCHAR *path, FileIdentity *identity)
{
    HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    memset(&information, 0, sizeof information);
    bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    if (known) {
        identity->volume = information.dwVolumeSerialNumber;
        identity->indexHigh = information.nFileIndexHigh;
        identity->indexLow = information.nFileIndexLow;
    }
    return known;
}

bool SameIdentity(const FileIdentity *a, const FileIdentity *b)
{
    return a->volume == b->volume && a->indexHigh == b->indexHigh && a->indexLow == b->indexLow;
}
