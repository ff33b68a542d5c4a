// PathExists: does a file or folder of this name exist on a disk?
#include <windows.h>

#include "files/path_exists.h"

bool PathExists(const WCHAR *path)
{
    return path != NULL && path[0] != 0 && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}
