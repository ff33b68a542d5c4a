// Fuzzes ReadToken over arbitrary lists and token buffer sizes, read byte by byte and as
// Shift-JIS: every read stays inside the text and every token inside its buffer.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <initializer_list>
#include "files/token.h"
#include "tests/native/shift_jis.h"

static const LeadBytes kShiftJis = ShiftJisLeadBytes();

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    size_t capacity = 1 + data[0] % 64;
    char *text = (char *)malloc(size);  // size - 1 bytes of text and a terminator
    memcpy(text, data + 1, size - 1);
    text[size - 1] = '\0';
    char *token = (char *)malloc(capacity);
    for (const LeadBytes *leads : {(const LeadBytes *)NULL, &kShiftJis}) {
        const char *position = text;
        size_t steps = 0;
        do {
            memset(token, 0, capacity);
            const char *next = ReadToken(position, token, capacity, leads);
            if (token[capacity - 1] != '\0')
                abort();  // the token must always end inside its buffer
            if (next != NULL && (next <= position || next > text + strlen(text)))
                abort();  // positions only move forward, within the text
            position = next;
        } while (position != NULL && ++steps <= size);
    }
    free(token);
    free(text);
    return 0;
}
