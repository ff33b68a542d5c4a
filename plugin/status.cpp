// Status texts: "%.03d (%s)" from a status code and the message of its magnitude.
#include "plugin/status.h"
#include <stdio.h>
#include <string.h>

static const char *const kStatusMessages[] = {
    "OK",
    "Incorrect option",
    "Directory not found",
    "Cannot iterate directory",
    "File not found",
    "Error launching file",
    "Cannot copy icon",
    "Cannot restore clipboard content",
};
enum { kStatusMessageCount = sizeof(kStatusMessages) / sizeof(kStatusMessages[0]) };

bool FormatStatusResult(int32_t code, char *out, size_t capacity)
{
    if (capacity == 0)
        return false;
    memset(out, 0, capacity);
    // The most negative value has no magnitude in 32 bits; test it before negating.
    if (code == INT32_MIN)
        return false;
    int32_t magnitude = code < 0 ? -code : code;
    if (magnitude >= kStatusMessageCount)
        return false;
    snprintf(out, capacity, "%.03d (%s)", (int)code, kStatusMessages[magnitude]);
    return true;
}
