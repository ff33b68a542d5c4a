// MatchesExtensionFilter: the folder scan's file-name test against the stored extension list.
#include "extension_filter.h"
#include <string.h>

#include "plugin/portable.h"
#include "token.h"

bool MatchesExtensionFilter(const char *name, const char *filter)
{
    if (name == NULL || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return false;
    if (filter == NULL || filter[0] == '\0')
        return true;
    size_t nameLength = strlen(name);
    char token[kExtensionTokenCapacity];
    const char *position = filter;
    for (;;) {
        memset(token, 0, sizeof token);
        // ReadToken cuts an overlong token at sizeof token - 1, so the zero fill ends it.
        position = ReadToken(position, token, sizeof token);
        if (token[0] == '\0')
            return false;
        if (strcmp(token, "*.*") == 0)
            return true;
        const char *extension = strchr(token, '.');
        if (extension == NULL)
            return false;
        size_t extensionLength = strlen(extension);
        if (nameLength >= extensionLength &&
            _strnicmp(name + nameLength - extensionLength, extension, extensionLength) == 0)
            return true;
        // After the list's last token ReadToken gives NULL, and the next read an empty token.
    }
}
