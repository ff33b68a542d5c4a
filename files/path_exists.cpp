// PathExists: does a file or folder of this name exist on a disk?
#include <windows.h>

#include "files/device_name.h"
#include "files/path_exists.h"

bool PathExists(const WCHAR *path)
{
    // Windows answers for a device as for a file (attributes 0x20): the name decides first.
    if (path == NULL || path[0] == 0 || IsDeviceName(path))
        return false;
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}
