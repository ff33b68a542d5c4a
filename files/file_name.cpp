// FileNameOfPath: the file name of a path, after the last backslash character.
#include "files/file_name.h"

const char *FileNameOfPath(const char *path, const LeadBytes *leads)
{
    if (path == NULL)
        return NULL;
    // Forward, character by character: only then is a byte 0x5C known to be a backslash.
    // A backslash at index 0 leaves the whole path as the name.
    const char *name = path;
    for (size_t i = 0; path[i] != '\0'; i += CharacterSize(leads, path + i)) {
        if (i > 0 && path[i] == '\\')
            name = path + i + 1;
    }
    return name;
}
