// FileNameOfPath: the file name of a path, found by searching back for the last backslash.
#include "file_name.h"
#include <string.h>

const char *FileNameOfPath(const char *path)
{
    if (path == NULL)
        return NULL;
    // Searching stops before index 0: a backslash there leaves the whole path as the name.
    for (size_t i = strlen(path); i > 1; i--) {
        if (path[i - 1] == '\\')
            return path + i;
    }
    return path;
}
