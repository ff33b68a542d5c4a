// Fuzzes the two conversions with each built-in table over arbitrary texts: the first byte
// selects the table, the rest is the text. Every byte must become what the row-by-row text
// walk makes of it, the length must stay, and nothing past the terminator may be touched.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "encoding/codepage.h"
#include "tests/native/codepage_reference.h"

enum { kLocaleCount = 4 };

// The text walk's answer for every byte, per table and direction; computed once.
static unsigned char referenceMaps[kLocaleCount][2][256];

static void ComputeReferenceMaps(void)
{
    for (int locale = 0; locale < kLocaleCount; locale++) {
        for (int code = 0; code < 256; code++) {
            referenceMaps[locale][0][code] =
                ReferenceConvertByte(kLocaleEntries[locale].table, (unsigned char)code, true);
            referenceMaps[locale][1][code] =
                ReferenceConvertByte(kLocaleEntries[locale].table, (unsigned char)code, false);
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool referenceReady = false;
    if (!referenceReady) {
        ComputeReferenceMaps();
        referenceReady = true;
    }
    if (size < 1)
        return 0;
    int locale = data[0] % kLocaleCount;
    if (!SelectLocale(kLocaleEntries[locale].name))
        abort();

    // The text, its terminator, and one sentinel byte after it.
    size_t length = size - 1;
    char *text = (char *)malloc(length + 2);
    memcpy(text, data + 1, length);
    text[length] = '\0';
    text[length + 1] = (char)0xD8;
    size_t textLength = strlen(text);

    char *original = (char *)malloc(length + 1);
    memcpy(original, text, length + 1);
    ConvertHostToWindows(text);
    for (size_t i = 0; i < textLength; i++) {
        if ((unsigned char)text[i] != referenceMaps[locale][0][(unsigned char)original[i]])
            abort();
    }
    memcpy(original, text, length + 1);
    ConvertWindowsToHost(text);
    for (size_t i = 0; i < textLength; i++) {
        if ((unsigned char)text[i] != referenceMaps[locale][1][(unsigned char)original[i]])
            abort();
    }
    // Past the text's own terminator nothing changes.
    if (memcmp(text + textLength, original + textLength, length + 1 - textLength) != 0 ||
        text[length + 1] != (char)0xD8)
        abort();
    free(original);
    free(text);
    return 0;
}
