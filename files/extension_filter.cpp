// MatchesExtensionFilter: the folder scan's file-name test against the stored extension list.
#include "files/extension_filter.h"
#include <string.h>

#include "files/token.h"

static char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c; }

// The first '.' character of text, or NULL.
static const char *FirstDot(const char *text, const LeadBytes *leads)
{
    for (; *text != '\0'; text += CharacterSize(leads, text)) {
        if (*text == '.')
            return text;
    }
    return NULL;
}

// True when name (nameLength bytes) ends in extension (extensionLength bytes) character for
// character: the extension starts where a character of the name starts, single-byte letters
// match in either case, and two-byte characters match only themselves.
static bool EndsWithExtension(const char *name, size_t nameLength, const char *extension,
                              size_t extensionLength, const LeadBytes *leads)
{
    if (nameLength < extensionLength)
        return false;
    size_t start = nameLength - extensionLength;
    if (leads != NULL) {
        size_t boundary = 0;
        while (boundary < start)
            boundary += CharacterSize(leads, name + boundary);
        if (boundary != start)
            return false;
    }
    const char *ours = name + start;
    while (*extension != '\0') {
        size_t size = CharacterSize(leads, extension);
        if (CharacterSize(leads, ours) != size)
            return false;
        if (size == 1 ? AsciiLower(*ours) != AsciiLower(*extension)
                      : memcmp(ours, extension, size) != 0)
            return false;
        ours += size;
        extension += size;
    }
    return true;
}

bool MatchesExtensionFilter(const char *name, const char *filter, const LeadBytes *leads)
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
        position = ReadToken(position, token, sizeof token, leads);
        if (token[0] == '\0')
            return false;
        if (strcmp(token, "*.*") == 0)
            return true;
        const char *extension = FirstDot(token, leads);
        if (extension == NULL)
            return false;
        if (EndsWithExtension(name, nameLength, extension, strlen(extension), leads))
            return true;
        // After the list's last token ReadToken gives NULL, and the next read an empty token.
    }
}
