// PathExists: does a file or folder of this name exist?
#include <windows.h>

#include "path_exists.h"

bool PathExists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
