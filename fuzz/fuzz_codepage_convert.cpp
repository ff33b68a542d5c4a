// Fuzzes the two conversions with each built-in table over arbitrary texts: the first byte
// selects the table, the rest is the text. Every byte must become what the row-by-row text
// walk makes of it, the length must stay, and nothing past the terminator may be touched.
//
// Then the way a path takes through the wide Windows functions and back: host codes to
// Windows codes to UTF-16 in the locale's code page, and back to host codes without best-fit
// mapping. What comes back must name the same file when the host sends it again (each
// character converts to the same Windows code), or hold the unfit character where one did not
// fit. The same bytes read as UTF-16 units, a name as a file system might hold it, must come
// out as exact codes or the unfit character, never as anything else.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "encoding/codepage.h"
#include "encoding/utf16_text.h"
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

// A host text to UTF-16 and back, as Tarv-OpenFile reads a path and Tarv-GetNextFilePath
// returns one.
static void CheckRoundTripThroughUtf16(const uint8_t *bytes, size_t length, unsigned codePage)
{
    const uint16_t *upperHalf = WindowsCodePageUpperHalf(codePage);
    const CodePageMaps *maps = CurrentCodePageMaps();
    if (upperHalf == NULL || maps == NULL)
        abort();
    char host[64];
    size_t hostLength = length < sizeof host - 1 ? length : sizeof host - 1;
    memcpy(host, bytes, hostLength);
    host[hostLength] = '\0';
    hostLength = strlen(host);
    char windows[64];
    memcpy(windows, host, hostLength + 1);
    ConvertHostToWindows(windows);
    Utf16Unit wide[64];
    if (SingleByteToUtf16(upperHalf, windows, wide, 64) != (long)hostLength)
        abort();
    char back[64];
    size_t written = 0;
    NameFit fit = Utf16ToSingleByte(upperHalf, maps, wide, hostLength, back, sizeof back, &written);
    if (fit == kNameTooLong || written != hostLength)
        abort();
    ConvertWindowsToHost(back);
    bool anyUnfit = false;
    for (size_t i = 0; i < hostLength; i++) {
        unsigned char returned = (unsigned char)back[i];
        if (returned == kUnfitCharacter && windows[i] != kUnfitCharacter) {
            anyUnfit = true;
            continue;
        }
        // Sent again, the returned code reaches the same Windows code: the same name.
        if (maps->hostToWindows[returned] != (unsigned char)windows[i])
            abort();
    }
    if (anyUnfit != (fit == kNameDoesNotFit))
        abort();
}

// Arbitrary UTF-16 units, as a name on disk may hold them, to the code page's codes.
static void CheckNameFromUtf16(const uint8_t *bytes, size_t length, unsigned codePage)
{
    const uint16_t *upperHalf = WindowsCodePageUpperHalf(codePage);
    Utf16Unit name[32];
    size_t units = length / 2 < 32 ? length / 2 : 32;
    for (size_t i = 0; i < units; i++)
        name[i] = (Utf16Unit)(bytes[2 * i] | bytes[2 * i + 1] << 8);
    char out[40];
    memset(out, 0x55, sizeof out);
    size_t written = 0;
    NameFit fit = Utf16ToSingleByte(upperHalf, CurrentCodePageMaps(), name, units, out,
                                    sizeof out, &written);
    if (fit == kNameTooLong || written > units || out[written] != '\0')
        abort();
    // Walk input and output together: each character is its exact code or one unfit character.
    size_t in = 0;
    bool anyUnfit = false;
    for (size_t o = 0; o < written; o++) {
        if (in >= units)
            abort();
        unsigned char code = (unsigned char)out[o];
        uint16_t unit = (uint16_t)name[in];
        uint16_t character = code < 0x80 ? code : upperHalf[code - 0x80];
        if (code == kUnfitCharacter && unit != kUnfitCharacter) {
            anyUnfit = true;
            bool pair = unit >= 0xD800 && unit <= 0xDBFF && in + 1 < units &&
                        (uint16_t)name[in + 1] >= 0xDC00 && (uint16_t)name[in + 1] <= 0xDFFF;
            in += pair ? 2 : 1;
            continue;
        }
        if (character != unit || code == 0 ||
            !SurvivesHostRoundTrip(CurrentCodePageMaps(), code))
            abort();
        in++;
    }
    if (in != units || anyUnfit != (fit == kNameDoesNotFit))
        abort();
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

    unsigned codePage = kLocaleEntries[locale].codePage;
    if (codePage != 0) {
        CheckRoundTripThroughUtf16(data + 1, length, codePage);
        CheckNameFromUtf16(data + 1, length, codePage);
    }
    return 0;
}
