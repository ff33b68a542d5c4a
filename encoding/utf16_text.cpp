// Single-byte Windows code pages to UTF-16 and back, with the plug-in's own tables and
// without best-fit mapping.
#include "encoding/utf16_text.h"

const uint16_t *WindowsCodePageUpperHalf(unsigned codePage)
{
    // The empty table's entry has code page 0 and no upper half.
    for (const LocaleEntry *entry = kLocaleEntries; entry->name[0] != '\0'; entry++) {
        if (entry->codePage == codePage)
            return entry->upperHalf;
    }
    return NULL;
}

long SingleByteToUtf16(const uint16_t *upperHalf, const char *text, Utf16Unit *out,
                       size_t capacity)
{
    if (out == NULL || capacity == 0)
        return -1;
    out[0] = 0;
    if (text == NULL || upperHalf == NULL)
        return text == NULL ? 0 : -1;
    const unsigned char *bytes = (const unsigned char *)text;
    size_t length = 0;
    for (; bytes[length] != '\0'; length++) {
        if (length == capacity - 1) {
            out[0] = 0;
            return -1;
        }
        unsigned char code = bytes[length];
        out[length] = (Utf16Unit)(code < 0x80 ? code : upperHalf[code - 0x80]);
    }
    out[length] = 0;
    return (long)length;
}

bool SurvivesHostRoundTrip(const CodePageMaps *maps, unsigned char code)
{
    if (maps == NULL)
        return true;
    return maps->hostToWindows[maps->windowsToHost[code]] == code;
}

// The code of unit in the code page, or -1 when it has none. Linear over the 128 codes of the
// upper half: names are mostly ASCII, and the walk is far cheaper than the file system's.
static int CodeOfUnit(const uint16_t *upperHalf, uint16_t unit)
{
    if (unit < 0x80)
        return unit;
    for (int i = 0; i < 128; i++) {
        if (upperHalf[i] == unit)
            return 0x80 + i;
    }
    return -1;
}

NameFit Utf16ToSingleByte(const uint16_t *upperHalf, const CodePageMaps *hostMaps,
                          const Utf16Unit *name, size_t length, char *out, size_t capacity,
                          size_t *written)
{
    if (written != NULL)
        *written = 0;
    if (out == NULL || capacity == 0)
        return kNameTooLong;
    out[0] = '\0';
    if (upperHalf == NULL || (name == NULL && length != 0))
        return kNameTooLong;
    NameFit fit = kNameFits;
    size_t used = 0;
    for (size_t i = 0; i < length; i++) {
        uint16_t unit = (uint16_t)name[i];
        int code = CodeOfUnit(upperHalf, unit);
        // The zero unit would end the text early: it is no character of a name.
        if (code <= 0 || !SurvivesHostRoundTrip(hostMaps, (unsigned char)code)) {
            code = kUnfitCharacter;
            fit = kNameDoesNotFit;
            if (IsHighSurrogate(unit) && i + 1 < length && IsLowSurrogate((uint16_t)name[i + 1]))
                i++;  // the pair is one character
        }
        if (used == capacity - 1) {
            out[0] = '\0';
            return kNameTooLong;
        }
        out[used++] = (char)code;
    }
    out[used] = '\0';
    if (written != NULL)
        *written = used;
    return fit;
}
