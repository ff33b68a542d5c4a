// IdentityOfPath: a file's volume and file index, for the walk's linked folders and the proof
// of short names; for a volume without a serial, a hash of its final path as well.
#include "files/file_identity.h"

#include <string.h>

#include "files/scan_progress.h"

typedef DWORD(WINAPI *FinalPathNameFunction)(HANDLE, LPWSTR, DWORD, DWORD);

// Room for a final path, in units: links resolved, it can be longer than the path opened.
enum { kFinalPathCapacity = 1024 };

// Hashes the final path of file (FNV-1a over its units, 64 bits) into identity. Leaves the
// hash 0 when the system lacks GetFinalPathNameByHandleW (looked up here, since Windows 2000
// and XP lack it) or gives no path that fits.
static void HashFinalPath(HANDLE file, FileIdentity *identity)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FinalPathNameFunction finalPathName =
        kernel != NULL ? (FinalPathNameFunction)(void (*)(void))GetProcAddress(
                             kernel, "GetFinalPathNameByHandleW")
                       : NULL;
    WCHAR path[kFinalPathCapacity];
    DWORD length = finalPathName != NULL ? finalPathName(file, path, kFinalPathCapacity, 0) : 0;
    if (length == 0 || length >= kFinalPathCapacity)
        return;
    unsigned long long hash = 14695981039346656037ull;
    for (DWORD i = 0; i < length; i++) {
        hash ^= path[i];
        hash *= 1099511628211ull;
    }
    hash |= 1;  // never 0, which stands for no hash
    identity->finalPathHashHigh = (DWORD)(hash >> 32);
    identity->finalPathHashLow = (DWORD)hash;
}

bool IdentityOfOpenFile(HANDLE file, FileIdentity *identity)
{
    BY_HANDLE_FILE_INFORMATION information;
    memset(&information, 0, sizeof information);
    if (!ScanProgressTick() || !GetFileInformationByHandle(file, &information))
        return false;
    memset(identity, 0, sizeof *identity);
    identity->volume = information.dwVolumeSerialNumber;
    identity->indexHigh = information.nFileIndexHigh;
    identity->indexLow = information.nFileIndexLow;
    if (identity->volume == 0)
        HashFinalPath(file, identity);
    return true;
}

bool IdentityOfPath(const WCHAR *path, FileIdentity *identity)
{
    if (!ScanProgressTick())
        return false;
    HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool known = IdentityOfOpenFile(file, identity);
    ScanProgressTick();
    CloseHandle(file);
    return known;
}

bool SameIdentity(const FileIdentity *a, const FileIdentity *b)
{
    if (a->volume != b->volume || a->indexHigh != b->indexHigh || a->indexLow != b->indexLow)
        return false;
    return a->volume != 0 ||
           (a->finalPathHashLow != 0 && a->finalPathHashHigh == b->finalPathHashHigh &&
            a->finalPathHashLow == b->finalPathHashLow);
}
