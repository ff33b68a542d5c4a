// Fuzzes MatchesExtensionFilter over arbitrary filters and names: no read outside the texts,
// and every answer agrees with a plain restatement of the rules; read as Shift-JIS, no read
// outside the texts either.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "files/extension_filter.h"
#include "tests/native/list_reference.h"
#include "tests/native/shift_jis.h"

static const LeadBytes kShiftJis = ShiftJisLeadBytes();

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input is "name\0filter"; without a zero byte the whole input is the filter.
    const uint8_t *zero = (const uint8_t *)memchr(data, 0, size);
    size_t nameLength = zero != NULL ? (size_t)(zero - data) : 0;
    size_t filterStart = zero != NULL ? nameLength + 1 : 0;
    // Exact-size copies, so AddressSanitizer sees any read past a terminator.
    char *name = (char *)malloc(nameLength + 1);
    memcpy(name, data, nameLength);
    name[nameLength] = '\0';
    size_t filterLength = size - filterStart;
    char *filter = (char *)malloc(filterLength + 1);
    memcpy(filter, data + filterStart, filterLength);
    filter[filterLength] = '\0';

    // A zero byte inside the filter ends it for both.
    if (MatchesExtensionFilter(name, filter, NULL) !=
        ReferenceMatchesExtensionFilter(name, filter, kExtensionTokenCapacity - 1))
        abort();
    MatchesExtensionFilter(name, filter, &kShiftJis);

    free(filter);
    free(name);
    return 0;
}
