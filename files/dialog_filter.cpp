// The dialog's file-type list: its test when a script stores it, and its double-zero form.
#include "files/dialog_filter.h"
#include <string.h>

#include "files/token.h"

static const char kDefaultDescription[] = "All Files";
static const char kDefaultPattern[] = "*.*";

bool IsDialogFilterAccepted(const char *list, const LeadBytes *leads)
{
    char description[kFilterTokenCapacity];
    char pattern[kFilterTokenCapacity];
    const char *position = list;
    for (;;) {
        memset(description, 0, sizeof description);
        position = ReadToken(position, description, sizeof description, leads);
        if (description[0] == '\0')
            return true;
        memset(pattern, 0, sizeof pattern);
        position = ReadToken(position, pattern, sizeof pattern, leads);
        if (pattern[0] == '\0')
            return false;
    }
}

// Appends description and pattern, each with its terminator, at filter + *used, when both
// fit before the last byte of the buffer (kept for the closing zero). Returns false, writing
// nothing, when they do not.
static bool AppendPair(char *filter, size_t capacity, size_t *used, const char *description,
                       const char *pattern)
{
    size_t descriptionSize = strlen(description) + 1;
    size_t patternSize = strlen(pattern) + 1;
    if (descriptionSize + patternSize > capacity - 1 - *used)
        return false;
    memcpy(filter + *used, description, descriptionSize);
    *used += descriptionSize;
    memcpy(filter + *used, pattern, patternSize);
    *used += patternSize;
    return true;
}

size_t BuildDialogFilter(const char *list, char *filter, size_t capacity, const LeadBytes *leads)
{
    if (filter == NULL || capacity == 0)
        return 0;
    memset(filter, 0, capacity);
    size_t used = 0;
    if (list == NULL || list[0] == '\0')
        return AppendPair(filter, capacity, &used, kDefaultDescription, kDefaultPattern) ? 1 : 0;

    char description[kFilterTokenCapacity];
    char pattern[kFilterTokenCapacity];
    size_t pairs = 0;
    const char *position = list;
    for (;;) {
        memset(description, 0, sizeof description);
        position = ReadToken(position, description, sizeof description, leads);
        // A description that ends the list has no pattern: it is dropped.
        if (description[0] == '\0' || position == NULL)
            break;
        memset(pattern, 0, sizeof pattern);
        position = ReadToken(position, pattern, sizeof pattern, leads);
        // A stored list always has a pattern here; an empty one would end the dialog's list
        // early, so the pair is left out rather than written half.
        if (pattern[0] == '\0')
            break;
        if (!AppendPair(filter, capacity, &used, description, pattern))
            break;
        pairs++;
    }
    return pairs;
}
