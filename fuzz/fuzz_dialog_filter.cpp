// Fuzzes the dialog's file-type list over arbitrary stored lists and buffer sizes: the test
// and the builder read only inside the list, the builder writes only inside its buffer and
// always leaves the closing zero there, and every string it writes is a token of the list
// (no ';', no leading blank, cut to the token buffer).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "files/dialog_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose the buffer's size: small ones reach the "does not fit" paths.
    size_t capacity = 1 + (((size_t)data[0] << 8 | data[1]) % 5000);
    size_t listLength = size - 2;
    char *list = (char *)malloc(listLength + 1);
    memcpy(list, data + 2, listLength);
    list[listLength] = '\0';
    char *filter = (char *)malloc(capacity);
    IsDialogFilterAccepted(list, NULL);
    size_t pairs = BuildDialogFilter(list, filter, capacity, NULL);
    bool defaultPair = list[0] == '\0';
    // Walk the double-zero list: every string ends inside the buffer, an empty one closes it.
    size_t at = 0, strings = 0;
    while (at < capacity && filter[at] != '\0') {
        const char *string = filter + at;
        const char *end = (const char *)memchr(string, '\0', capacity - at);
        if (end == NULL)
            abort();
        size_t length = (size_t)(end - string);
        if (!defaultPair && (length > kFilterTokenCapacity - 1 || string[0] == ' ' ||
                             memchr(string, ';', length) != NULL || strstr(list, string) == NULL))
            abort();
        at += length + 1;
        strings++;
    }
    if (at >= capacity || strings != 2 * pairs)
        abort();
    // With room for the whole list, no list gives more pairs than it has ';'-separated halves.
    if (capacity >= (size_t)DIALOG_FILTER_CAPACITY(listLength) && !defaultPair &&
        at > listLength + 1)
        abort();
    free(filter);
    free(list);
    return 0;
}
