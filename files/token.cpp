// ReadToken: one item of a ';'-separated list, bounded by the caller's token buffer.
#include "files/token.h"

#include <string.h>

const char *ReadToken(const char *position, char *token, size_t capacity, const LeadBytes *leads)
{
    if (position == NULL || token == NULL || capacity == 0)
        return NULL;
    while (*position == ' ')
        position++;
    size_t length = 0;
    bool cut = false;
    while (position[length] != '\0' && position[length] != ';') {
        size_t size = CharacterSize(leads, position + length);
        // Characters past the buffer are dropped whole: the token is cut, never written past
        // it, and never ends in half a character.
        if (!cut && size <= capacity - 1 - length)
            memcpy(token + length, position + length, size);
        else
            cut = true;
        length += size;
    }
    const char *end = position + length;
    if (*end == ';' && end[1] != '\0')
        return end + 1;
    return NULL;
}
