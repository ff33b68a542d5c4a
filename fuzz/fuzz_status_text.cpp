// Fuzzes the status-text formatter over every 32-bit code and small buffers.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "plugin/status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    int32_t code;
    memcpy(&code, data, sizeof code);
    size_t capacity = data[4];
    char *out = (char *)malloc(capacity + 1);
    out[capacity] = 'S';
    bool formatted = FormatStatusResult(code, out, capacity);
    if (out[capacity] != 'S')
        abort();
    if (formatted && (code <= -8 || code >= 8))
        abort();
    if (formatted && strlen(out) >= capacity)
        abort();
    free(out);
    return 0;
}
