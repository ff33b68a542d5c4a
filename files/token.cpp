// ReadToken: one item of a ';'-separated list, bounded by the caller's token buffer.
#include "token.h"

const char *ReadToken(const char *position, char *token, size_t capacity)
{
    if (position == NULL || token == NULL || capacity == 0)
        return NULL;
    while (*position == ' ')
        position++;
    size_t length = 0;
    while (position[length] != '\0' && position[length] != ';') {
        // Characters past the buffer are dropped: the token is cut, never written past it.
        if (length < capacity - 1)
            token[length] = position[length];
        length++;
    }
    const char *end = position + length;
    if (*end == ';' && end[1] != '\0')
        return end + 1;
    return NULL;
}
