// JoinScanPath: folder, separator and name in one bounded buffer, or nothing at all.
#include "scan_path.h"
#include <string.h>

bool EndsWithBackslash(const char *path)
{
    size_t length = strlen(path);
    return length > 0 && path[length - 1] == '\\';
}

bool JoinScanPath(const char *folder, const char *name, char *out, size_t capacity)
{
    if (folder == NULL || name == NULL || out == NULL || capacity == 0)
        return false;
    out[0] = '\0';
    size_t folderLength = strlen(folder);
    size_t separatorLength = EndsWithBackslash(folder) ? 0 : 1;
    size_t nameLength = strlen(name);
    // Compared piece by piece so that no sum can wrap around.
    if (folderLength > capacity - 1 || separatorLength > capacity - 1 - folderLength ||
        nameLength > capacity - 1 - folderLength - separatorLength)
        return false;
    memcpy(out, folder, folderLength);
    if (separatorLength != 0)
        out[folderLength] = '\\';
    memcpy(out + folderLength + separatorLength, name, nameLength);
    out[folderLength + separatorLength + nameLength] = '\0';
    return true;
}
