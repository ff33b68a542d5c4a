// Conversions between the plug-in's texts and UTF-16 for the wide Windows functions: the
// locale's code pages with the plug-in's own tables, the system's ANSI code page with
// Windows' conversion without best-fit mapping.
#include "encoding/wide_text.h"

#include <limits.h>
#include <string.h>

bool WindowsCodesToWide(const char *text, unsigned codePage, WCHAR *out, size_t capacity)
{
    if (out == NULL || capacity == 0)
        return false;
    out[0] = 0;
    if (codePage != 0)
        return SingleByteToUtf16(WindowsCodePageUpperHalf(codePage), text, out, capacity) >= 0;
    if (text[0] == '\0')
        return true;
    if (capacity > INT_MAX)
        capacity = INT_MAX;
    // -1 takes the terminator along: 0 means the text does not fit.
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, out, (int)capacity) == 0) {
        out[0] = 0;
        return false;
    }
    return true;
}

bool AnsiBytesToWide(const char *bytes, size_t count, WCHAR *out, size_t capacity)
{
    if (out == NULL || capacity == 0)
        return false;
    out[0] = 0;
    if (count == 0)
        return true;
    if (count > INT_MAX || capacity - 1 > INT_MAX)
        return false;
    int units = MultiByteToWideChar(CP_ACP, 0, bytes, (int)count, out, (int)(capacity - 1));
    if (units == 0) {
        out[0] = 0;
        return false;
    }
    out[units] = 0;
    return true;
}

// Code pages in which WideCharToMultiByte takes no best-fit flag and reports no default
// character: a system whose ANSI code page is UTF-8 or UTF-7.
static bool TakesNoDefaultCharacter(UINT codePage)
{
    return codePage == CP_UTF8 || codePage == CP_UTF7;
}

// Longest name, in units, that is converted and read back whole; longer ones go character
// by character.
enum { kWholeNameUnits = 260 };

// Converts units to the ANSI code page exactly: true, with *count bytes in out (room for
// capacity bytes), only when every character has a code of its own that reads back as the
// same units. Windows reports a character it replaced; reading the result back catches what
// it does not report (and the code pages in which it reports nothing).
static bool AnsiExactly(const WCHAR *units, int length, char *out, int capacity, int *count)
{
    WCHAR back[kWholeNameUnits];
    if (length <= 0 || length > kWholeNameUnits || capacity <= 0)
        return false;
    bool noDefault = TakesNoDefaultCharacter(GetACP());
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, noDefault ? 0 : WC_NO_BEST_FIT_CHARS, units, length,
                                    out, capacity, noDefault ? NULL : "?",
                                    noDefault ? NULL : &usedDefault);
    if (bytes <= 0 || usedDefault)
        return false;
    int backLength = MultiByteToWideChar(CP_ACP, 0, out, bytes, back, kWholeNameUnits);
    if (backLength != length || memcmp(back, units, (size_t)length * sizeof(WCHAR)) != 0)
        return false;
    *count = bytes;
    return true;
}

// True when every byte comes back to itself through the host's table (none given: true).
static bool BytesSurviveHostRoundTrip(const CodePageMaps *hostMaps, const char *bytes, int count)
{
    for (int i = 0; i < count; i++) {
        if (!SurvivesHostRoundTrip(hostMaps, (unsigned char)bytes[i]))
            return false;
    }
    return true;
}

// The system's ANSI code page: the name whole when it fits, else character by character,
// each that does not fit as kUnfitCharacter.
static NameFit WideNameToAnsi(const CodePageMaps *hostMaps, const WCHAR *name, size_t length,
                              char *out, size_t capacity, size_t *written)
{
    bool ascii = true;
    for (size_t i = 0; i < length && ascii; i++)
        ascii = name[i] != 0 && name[i] < 0x80;
    if (ascii) {
        if (length > capacity - 1)
            return kNameTooLong;
        for (size_t i = 0; i < length; i++)
            out[i] = (char)name[i];
        out[length] = '\0';
        *written = length;
        return kNameFits;
    }
    int count = 0;
    if (length <= kWholeNameUnits && capacity - 1 <= INT_MAX &&
        AnsiExactly(name, (int)length, out, (int)(capacity - 1), &count) &&
        BytesSurviveHostRoundTrip(hostMaps, out, count)) {
        out[count] = '\0';
        *written = (size_t)count;
        return kNameFits;
    }
    NameFit fit = kNameFits;
    size_t used = 0;
    for (size_t i = 0; i < length;) {
        int units = 1;
        if (IsHighSurrogate(name[i]) && i + 1 < length && IsLowSurrogate(name[i + 1]))
            units = 2;
        char bytes[8];
        int bytesCount = 0;
        if (name[i] == 0 || !AnsiExactly(name + i, units, bytes, sizeof bytes, &bytesCount) ||
            !BytesSurviveHostRoundTrip(hostMaps, bytes, bytesCount)) {
            bytes[0] = kUnfitCharacter;
            bytesCount = 1;
            fit = kNameDoesNotFit;
        }
        if ((size_t)bytesCount > capacity - 1 - used) {
            out[0] = '\0';
            return kNameTooLong;
        }
        memcpy(out + used, bytes, (size_t)bytesCount);
        used += (size_t)bytesCount;
        i += (size_t)units;
    }
    out[used] = '\0';
    *written = used;
    return fit;
}

NameFit WideNameToWindowsCodes(const PathCoding *coding, const WCHAR *name, size_t length,
                               char *out, size_t capacity, size_t *written)
{
    const CodePageMaps *hostMaps = HostMapsOf(coding);
    *written = 0;
    if (out == NULL || capacity == 0 || (name == NULL && length != 0))
        return kNameTooLong;
    out[0] = '\0';
    if (coding->codePage != 0)
        return Utf16ToSingleByte(WindowsCodePageUpperHalf(coding->codePage), hostMaps, name,
                                 length, out, capacity, written);
    return WideNameToAnsi(hostMaps, name, length, out, capacity, written);
}

const LeadBytes *AnsiLeadBytes(LeadBytes *leads)
{
    CPINFO information;
    memset(&information, 0, sizeof information);
    if (!GetCPInfo(CP_ACP, &information) || information.MaxCharSize != 2)
        return NULL;
    memset(leads, 0, sizeof *leads);
    // Ranges of lead bytes, first and last, up to a pair of zeros.
    for (int i = 0; i + 1 < MAX_LEADBYTES && information.LeadByte[i] != 0; i += 2) {
        for (unsigned code = information.LeadByte[i]; code <= information.LeadByte[i + 1]; code++)
            leads->isLead[code] = true;
    }
    return leads;
}

const LeadBytes *HostTextLeadBytes(LeadBytes *leads)
{
    return CurrentCodePageMaps() != NULL ? NULL : AnsiLeadBytes(leads);
}
